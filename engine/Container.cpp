#include "engine/Container.h"

#include <botan/auto_rng.h>
#include <botan/hash.h>
#include <botan/kdf.h>
#include <botan/mac.h>
#include <botan/mem_ops.h>
#include <botan/pwdhash.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>

#include "engine/Ciphers.h"
#include "engine/Compression.h"
#include "engine/Errors.h"
#include "engine/FileJob.h"
#include "engine/Files.h"
#include "engine/Progress.h"
#include "engine/Streams.h"
#include "engine/Worker.h"

namespace engine::detail {

namespace {

// Distinctive in every form: a byte above 0x7F in Binary, "j1FSVkMa" in
// Base64, "8f515256431a" in Hex.
const std::string kMagic(
    "\x8F"
    "QRVC\x1A",
    6);
constexpr uint8_t kFormatVersion = 1;
constexpr size_t kFixedHeaderSize = 15;
constexpr size_t kBlockSize = 16;
constexpr size_t kTagSize = 32;
constexpr size_t kLengthSize = 8;
constexpr size_t kTrailerSize = kLengthSize + kTagSize;
constexpr size_t kSecretSize = 32;
constexpr size_t kSaltSize = 16;
constexpr size_t kMinSaltSize = 16;
constexpr size_t kMaxSaltSize = 64;
constexpr uint8_t kKdfPbkdf2 = 1;
constexpr uint8_t kCompressionNone = 0;
constexpr uint8_t kCompressionZlib = 1;
// zlib's own default level, for the public -1.
constexpr int kZlibDefaultLevel = 6;

// Buffers handed between the two threads; a multiple of the cipher block and of 3.
// Measured against 96 and 768 KiB: a buffer that stays in the core's cache
// costs the system less time to read and write.
constexpr size_t kPipeChunk = kChunkSize;
// Buffers of compressed data read at a time, so that the position moves
// smoothly while a little data expands to a lot; whole cipher blocks.
constexpr size_t kCompressedChunk = 48 * 1024;

// Buffers no larger than the data needs: texts are often tiny.
size_t bufferFor(uint64_t dataSize, size_t largest) {
    const uint64_t rounded = (std::max<uint64_t>(dataSize, 1) + 47) / 48 * 48;
    return static_cast<size_t>(std::min<uint64_t>(rounded, largest));
}

const char kCipherKeyLabel[] = "Quorval container 1 cipher key";
const char kMacKeyLabel[] = "Quorval container 1 MAC key";

void putBigEndian(Bytes& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

uint64_t getBigEndian(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | in[i];
    return value;
}

struct Header {
    KeySourceKind keySource = KeySourceKind::Password;
    DataCipher cipher;
    uint8_t compressionMethod = kCompressionNone;
    int8_t compressionLevel = 0;
    Bytes iv;
    Bytes keyBlock;
};

Bytes serializeHeader(const Header& header) {
    Bytes out(kMagic.begin(), kMagic.end());
    out.push_back(kFormatVersion);
    out.push_back(static_cast<uint8_t>(header.keySource));
    out.push_back(static_cast<uint8_t>(header.cipher.algorithm));
    out.push_back(static_cast<uint8_t>(header.cipher.keyBits / 8));
    out.push_back(static_cast<uint8_t>(header.cipher.mode));
    out.push_back(static_cast<uint8_t>(header.cipher.padding));
    out.push_back(header.compressionMethod);
    out.push_back(static_cast<uint8_t>(header.compressionLevel));
    out.push_back(static_cast<uint8_t>(header.iv.size()));
    out.insert(out.end(), header.iv.begin(), header.iv.end());
    putBigEndian(out, header.keyBlock.size(), 2);
    out.insert(out.end(), header.keyBlock.begin(), header.keyBlock.end());
    return out;
}

std::string describeCipher(CipherAlgorithm algorithm, uint32_t keyBits) {
    return std::string(algorithmName(algorithm)) + " with a " + std::to_string(keyBits) + "-bit key";
}

// --- Keys -------------------------------------------------------------------------

struct DataKeys {
    SecretBytes cipherKey;
    SecretBytes macKey;
};

DataKeys deriveDataKeys(const SecretBytes& secret, size_t cipherKeyLength) {
    auto hkdf = Botan::KDF::create_or_throw("HKDF(SHA-256)");
    auto expand = [&](size_t length, const char* label) {
        const auto key = hkdf->derive_key(length, secret.data(), secret.size(), nullptr, 0,
                                          reinterpret_cast<const uint8_t*>(label), std::strlen(label));
        return SecretBytes(key.begin(), key.end());
    };
    return DataKeys{expand(cipherKeyLength, kCipherKeyLabel), expand(32, kMacKeyLabel)};
}

std::unique_ptr<Botan::MessageAuthenticationCode> newMac(const SecretBytes& key) {
    auto mac = Botan::MessageAuthenticationCode::create_or_throw("HMAC(SHA-256)");
    mac->set_key(key.data(), key.size());
    return mac;
}

Bytes ivFromText(const std::string& text) {
    auto sha256 = Botan::HashFunction::create_or_throw("SHA-256");
    const auto digest = sha256->process(text);
    return Bytes(digest.begin(), digest.begin() + kBlockSize);
}

size_t paddingLength(PaddingScheme padding, uint64_t dataLength) {
    const size_t rest = static_cast<size_t>(dataLength % kBlockSize);
    if (padding == PaddingScheme::Zero) return rest == 0 ? 0 : kBlockSize - rest;
    return kBlockSize - rest;
}

void writePadding(PaddingScheme padding, uint8_t* at, size_t count) {
    std::memset(at, 0, count);
    if (padding == PaddingScheme::Pkcs7) std::memset(at, static_cast<int>(count), count);
    if (padding == PaddingScheme::X923 && count > 0) at[count - 1] = static_cast<uint8_t>(count);
}

bool paddingIsValid(PaddingScheme padding, const uint8_t* at, size_t count) {
    uint8_t expected[kBlockSize];
    writePadding(padding, expected, count);
    return std::memcmp(at, expected, count) == 0;
}

// --- Reading a container in any form -------------------------------------------------

// The decoded bytes of a container source, counting raw bytes as progress.
class DecodedSource {
public:
    DecodedSource(ByteSource& raw, Encoding form, Progress& progress)
        : m_raw(raw), m_form(form), m_progress(progress), m_decoder(form) {}

    size_t read(uint8_t* out, size_t length) {
        if (m_form == Encoding::Binary) {
            const size_t n = m_raw.read(out, length);
            m_progress.advance(n);
            return n;
        }
        size_t done = 0;
        while (done < length) {
            if (m_offset == m_pending.size() && !refill()) break;
            const size_t n = std::min(length - done, m_pending.size() - m_offset);
            std::memcpy(out + done, m_pending.data() + m_offset, n);
            m_offset += n;
            done += n;
        }
        return done;
    }

    // Exactly `length` bytes, or the data is truncated.
    void readExact(uint8_t* out, size_t length) {
        if (read(out, length) != length) throw truncatedError();
    }

    Bytes readExact(size_t length) {
        Bytes out(length);
        readExact(out.data(), length);
        return out;
    }

private:
    bool refill() {
        m_pending.clear();
        m_offset = 0;
        if (m_ended) return false;
        m_rawBuffer.resize(bufferFor(m_raw.size(), kChunkSize));
        const size_t n = m_raw.read(reinterpret_cast<uint8_t*>(&m_rawBuffer[0]), m_rawBuffer.size());
        m_progress.advance(n);
        if (n == 0) {
            m_ended = true;
            try {
                m_decoder.finish(m_pending);
            } catch (const EngineError& e) {
                // An unfinished group or digit pair at the very end: the text was cut short.
                if (e.kind() == ErrorKind::InvalidInput) throw truncatedError();
                throw;
            }
        } else {
            m_decoder.update(m_rawBuffer.data(), n, m_pending);
        }
        return true;
    }

    ByteSource& m_raw;
    Encoding m_form;
    Progress& m_progress;
    StreamDecoder m_decoder;
    std::string m_rawBuffer;
    std::string m_pending;
    size_t m_offset = 0;
    bool m_ended = false;
};

Encoding detectForm(ByteSource& raw) {
    Bytes start(bufferFor(raw.size(), kFormLookAhead));
    const size_t n = raw.read(start.data(), start.size());
    raw.rewind();
    const auto form = detectByPrefix(start.data(), n, kMagic);
    if (!form) throw notOurDataError();
    return *form;
}

Header readHeader(DecodedSource& in, Bytes& raw) {
    raw = in.readExact(kFixedHeaderSize);
    if (std::memcmp(raw.data(), kMagic.data(), kMagic.size()) != 0) throw notOurDataError();
    if (raw[6] != kFormatVersion)
        throw EngineError(ErrorKind::NotOurData, "This data was written in container format " +
                                                     std::to_string(raw[6]) +
                                                     ", which this version of the program cannot read.");
    Header header;
    const uint8_t keySource = raw[7], algorithm = raw[8], keyBytes = raw[9], mode = raw[10],
                  padding = raw[11];
    const uint8_t method = raw[12];
    const auto level = static_cast<int8_t>(raw[13]);
    const uint8_t ivLength = raw[14];
    const bool valid = (keySource == 1 || keySource == 2) && algorithm <= 1 &&
                       (keyBytes == 16 || keyBytes == 24 || keyBytes == 32) && mode <= 1 && padding <= 2 &&
                       method <= 1 && level >= -1 && level <= 9 &&
                       (method == kCompressionNone) == (level == 0) &&
                       ivLength == (mode == 1 ? kBlockSize : 0);
    if (!valid) throw damagedError();
    header.keySource = static_cast<KeySourceKind>(keySource);
    header.cipher = DataCipher{static_cast<CipherAlgorithm>(algorithm), keyBytes * 8u,
                               static_cast<BlockMode>(mode), static_cast<PaddingScheme>(padding)};
    header.compressionMethod = method;
    header.compressionLevel = level;
    header.iv = in.readExact(ivLength);
    const Bytes blockLength = in.readExact(2);
    const size_t keyBlockLength = static_cast<size_t>(getBigEndian(blockLength.data(), 2));
    if (keyBlockLength == 0 || keyBlockLength > kMaxKeyBlock) throw damagedError();
    header.keyBlock = in.readExact(keyBlockLength);
    raw.insert(raw.end(), header.iv.begin(), header.iv.end());
    raw.insert(raw.end(), blockLength.begin(), blockLength.end());
    raw.insert(raw.end(), header.keyBlock.begin(), header.keyBlock.end());
    return header;
}

const char* keySourceWords(KeySourceKind kind) {
    return kind == KeySourceKind::Password ? "a password" : "an RSA public key";
}

void checkKeySource(KeySourceKind recorded, KeySourceKind opener) {
    if (recorded == opener) return;
    throw EngineError(ErrorKind::WrongSettings,
                      std::string("This data was encrypted with ") + keySourceWords(recorded) +
                          (recorded == KeySourceKind::Rsa ? "; decrypt it with the matching RSA private key."
                                                          : "; decrypt it with that password."));
}

void checkRules(const Header& header, const OpenRules& rules) {
    if (!rules.algorithm) return;
    if (*rules.algorithm == header.cipher.algorithm && rules.keyBits == header.cipher.keyBits) return;
    throw EngineError(ErrorKind::WrongSettings,
                      "This data was encrypted with " +
                          describeCipher(header.cipher.algorithm, header.cipher.keyBits) + ": choose " +
                          algorithmName(header.cipher.algorithm) + " and " +
                          std::to_string(header.cipher.keyBits) + " bits to decrypt it.");
}

void checkTag(const uint8_t* computed, const uint8_t* recorded) {
    if (!Botan::constant_time_compare(computed, recorded, kTagSize)) throw damagedError();
}

// --- Sealing ------------------------------------------------------------------------

void sealStream(ByteSource& plain, ByteSink& out, const SealSettings& settings, KeySealer& key,
                Progress& progress, bool threaded) {
    const DataCipher& cipher = settings.cipher;
    if (cipher.keyBits != 128 && cipher.keyBits != 192 && cipher.keyBits != 256)
        throw EngineError(ErrorKind::InvalidInput, "Key length must be 128, 192 or 256 bits.");
    if (settings.compression < -1 || settings.compression > 9)
        throw EngineError(ErrorKind::InvalidInput, "Compression level must be between -1 and 9.");

    Header header;
    header.keySource = key.kind();
    header.cipher = cipher;
    header.compressionMethod = settings.compression == 0 ? kCompressionNone : kCompressionZlib;
    header.compressionLevel = static_cast<int8_t>(settings.compression);
    SecretBytes secret;
    key.makeKeyBlock(header.keyBlock, secret);
    if (header.keyBlock.empty() || header.keyBlock.size() > kMaxKeyBlock || secret.size() < 16)
        throw EngineError(ErrorKind::Internal, "The key source made an unusable key block.");
    if (cipher.mode == BlockMode::Cbc) {
        if (settings.ivText.empty()) {
            Botan::AutoSeeded_RNG rng;
            header.iv.resize(kBlockSize);
            rng.randomize(header.iv.data(), header.iv.size());
        } else {
            header.iv = ivFromText(settings.ivText);
        }
    }
    const DataKeys keys = deriveDataKeys(secret, cipher.keyBits / 8);

    const Bytes headerBytes = serializeHeader(header);
    auto mac = newMac(keys.macKey);
    mac->update(headerBytes);
    const auto headerTag = mac->final();
    mac->update(headerBytes);
    mac->update(headerTag);

    EncodingSink encoded(out, settings.output);
    encoded.write(headerBytes.data(), headerBytes.size());
    encoded.write(headerTag.data(), headerTag.size());

    BlockCrypter crypter(cipher, keys.cipherKey.data(), keys.cipherKey.size(), header.iv.data(), true);
    // Two buffers: one is encrypted while the worker authenticates and writes the other.
    // Declared before the worker, which may still read one while unwinding.
    const size_t chunk = bufferFor(plain.size(), kPipeChunk);
    std::array<Bytes, 2> buffers{Bytes(chunk + kBlockSize), Bytes(chunk + kBlockSize)};
    Bytes lengthField;
    Worker worker(threaded);
    auto authenticateAndWrite = [&](const uint8_t* data, size_t length) {
        worker.submit([&mac, &encoded, data, length] {
            mac->update(data, length);
            encoded.write(data, length);
        });
    };
    int current = 0;
    size_t fill = 0;
    uint64_t dataLength = 0;
    auto flush = [&] {
        crypter.process(buffers[current].data(), buffers[current].data(), fill);
        authenticateAndWrite(buffers[current].data(), fill);
        current ^= 1;
        fill = 0;
    };
    auto append = [&](const uint8_t* data, size_t length) {
        while (length > 0) {
            const size_t n = std::min(length, chunk - fill);
            std::memcpy(buffers[current].data() + fill, data, n);
            fill += n;
            dataLength += n;
            data += n;
            length -= n;
            if (fill == chunk) flush();
        }
    };

    std::unique_ptr<Deflater> deflater;
    if (header.compressionMethod == kCompressionZlib)
        deflater = std::make_unique<Deflater>(
            settings.compression < 0 ? kZlibDefaultLevel : settings.compression, append);

    SecretBytes packed;
    for (;;) {
        if (!deflater) {
            const size_t n = plain.read(buffers[current].data() + fill, chunk - fill);
            if (n == 0) break;
            progress.advance(n);
            fill += n;
            dataLength += n;
            if (fill == chunk) flush();
        } else {
            packed.resize(std::min(chunk, kChunkSize));
            const size_t n = plain.read(packed.data(), packed.size());
            if (n == 0) break;
            progress.advance(n);
            deflater->write(packed.data(), n);
        }
    }
    if (deflater) deflater->finish();

    const size_t padding = paddingLength(cipher.padding, dataLength);
    writePadding(cipher.padding, buffers[current].data() + fill, padding);
    fill += padding;
    if (fill > 0) flush();

    putBigEndian(lengthField, dataLength, kLengthSize);
    authenticateAndWrite(lengthField.data(), lengthField.size());
    worker.wait();
    const auto tag = mac->final();
    encoded.write(tag.data(), tag.size());
    encoded.finish();
}

// --- Opening ------------------------------------------------------------------------

// Writes the data through, or decompresses the one zlib stream it must be.
class Unpacker {
public:
    // `progress`, when given, is polled after every step of decompression.
    Unpacker(ByteSink& out, bool compressed, Progress* progress = nullptr) : m_out(out) {
        if (compressed) m_inflater = std::make_unique<Inflater>(out, progress);
    }

    void write(const uint8_t* data, size_t length) {
        if (m_inflater) return m_inflater->write(data, length);
        m_out.write(data, length);
    }

    void finish() {
        if (m_inflater) m_inflater->finish();
    }

    size_t steps() const { return m_inflater ? m_inflater->steps() : 0; }

private:
    ByteSink& m_out;
    std::unique_ptr<Inflater> m_inflater;
};

void openStream(ByteSource& raw, ByteSink& out, KeyOpener& key, const OpenRules& rules, Progress& progress,
                bool threaded) {
    const Encoding form = detectForm(raw);
    DecodedSource in(raw, form, progress);

    // The header, the key, and the header tag, which tells a wrong key at once.
    Bytes headerBytes;
    const Header header = readHeader(in, headerBytes);
    checkKeySource(header.keySource, key.kind());
    const DataKeys keys = [&] {
        const SecretBytes secret = key.openKeyBlock(header.keyBlock.data(), header.keyBlock.size());
        return deriveDataKeys(secret, header.cipher.keyBits / 8);
    }();
    const Bytes headerTag = in.readExact(kTagSize);
    auto mac = newMac(keys.macKey);
    mac->update(headerBytes);
    checkTag(mac->final().data(), headerTag.data());
    checkRules(header, rules);
    mac->update(headerBytes);
    mac->update(headerTag);

    // One pass: the cipher text is authenticated and decrypted as it is read. Nothing
    // counts until the tag has matched: a file's output stays unnamed until the caller
    // commits it, and the last block waits here until the data length says how much of
    // it is data.
    const bool compressed = header.compressionMethod == kCompressionZlib;
    // Decompression polls progress, which only this thread may do: it stays here then.
    Unpacker unpacker(out, compressed, compressed ? &progress : nullptr);
    // A text over its limit is reported only once the tag has shown the data is whole.
    std::exception_ptr overLimit;
    auto deliver = [&](const uint8_t* data, size_t length) {
        if (overLimit || length == 0) return;
        try {
            unpacker.write(data, length);
        } catch (const EngineError& e) {
            if (e.kind() != ErrorKind::TooLarge) throw;
            overLimit = std::current_exception();
        }
    };
    uint8_t lastBlock[kBlockSize];
    size_t lastHeld = 0;
    // `room` is kBlockSize bytes for the block held back last time, then `length`
    // decrypted bytes.
    auto deliverDecrypted = [&](uint8_t* room, size_t length) {
        std::memcpy(room + kBlockSize - lastHeld, lastBlock, lastHeld);
        deliver(room + kBlockSize - lastHeld, lastHeld + length - kBlockSize);
        std::memcpy(lastBlock, room + length, kBlockSize);
        lastHeld = kBlockSize;
    };
    // A slow cipher's buffers are decrypted in two parts at once: CBC decryption of a
    // block needs only the cipher block before it, which a fresh start takes as its IV.
    using Block = std::array<uint8_t, kBlockSize>;
    const bool splitting = threaded && !compressed && header.cipher.algorithm == CipherAlgorithm::Twofish;
    const SecretBytes& cipherKey = keys.cipherKey;
    BlockCrypter front(header.cipher, cipherKey.data(), cipherKey.size(), header.iv.data(), false);
    BlockCrypter back(header.cipher, cipherKey.data(), cipherKey.size(), header.iv.data(), false);
    auto decryptPart = [](BlockCrypter& crypter, const Block& iv, const uint8_t* in, uint8_t* out,
                          size_t length) {
        if (length == 0) return;
        crypter.restart(iv.data());
        crypter.process(in, out, length);
    };
    Block chain{};
    std::copy(header.iv.begin(), header.iv.end(), chain.begin());

    // Each buffer of cipher text starts with room for the bytes held back from the
    // previous read: the trailer is only known once the source has ended, and the
    // cipher text goes on in whole blocks.
    constexpr size_t kHeldRoom = kTrailerSize + kBlockSize;
    const size_t chunk = bufferFor(raw.size(), compressed ? kCompressedChunk : kPipeChunk);
    std::array<Bytes, 2> sealed{Bytes(kHeldRoom + chunk), Bytes(kHeldRoom + chunk)};
    std::array<Bytes, 2> plain{Bytes(kBlockSize + chunk), Bytes(kBlockSize + chunk)};
    uint8_t held[kHeldRoom];
    size_t heldLength = 0;
    uint64_t cipherLength = 0;
    uint8_t* pendingRoom = nullptr;
    size_t pendingLength = 0;
    {
        // Plain data: this thread reads and authenticates a buffer (and decrypts its second
        // half when splitting) while the worker writes the buffer before and decrypts the
        // rest. Compressed data: the worker only authenticates.
        Worker worker(threaded);
        for (int current = 0;;) {
            uint8_t* buffer = sealed[current].data();
            const size_t n = in.read(buffer + kHeldRoom, chunk);
            if (n == 0) break;
            uint8_t* start = buffer + kHeldRoom - heldLength;
            std::memcpy(start, held, heldLength);
            const size_t total = heldLength + n;
            const size_t body = total > kTrailerSize ? (total - kTrailerSize) / kBlockSize * kBlockSize : 0;
            heldLength = total - body;
            std::memcpy(held, start + body, heldLength);
            cipherLength += body;
            if (body == 0) continue;

            uint8_t* room = plain[current].data();
            const size_t split = splitting ? body / 2 / kBlockSize * kBlockSize : body;
            const Block frontIv = chain;
            Block backIv = chain;
            if (split > 0) std::copy(start + split - kBlockSize, start + split, backIv.begin());
            std::copy(start + body - kBlockSize, start + body, chain.begin());
            if (compressed) {
                worker.submit([&mac, start, body] { mac->update(start, body); });
                decryptPart(front, frontIv, start, room + kBlockSize, body);
                deliverDecrypted(room, body);
            } else {
                worker.submit(
                    [&, previous = pendingRoom, previousLength = pendingLength, frontIv, start, room, split] {
                        if (previous) deliverDecrypted(previous, previousLength);
                        decryptPart(front, frontIv, start, room + kBlockSize, split);
                    });
                mac->update(start, body);
                decryptPart(back, backIv, start + split, room + kBlockSize + split, body - split);
                pendingRoom = room;
                pendingLength = body;
            }
            current ^= 1;
        }
        worker.wait();
    }
    if (pendingRoom) deliverDecrypted(pendingRoom, pendingLength);
    // Anything but a whole number of blocks and the trailer is cut short.
    if (heldLength != kTrailerSize) throw truncatedError();
    const uint8_t* trailer = held;
    mac->update(trailer, kLengthSize);
    checkTag(mac->final().data(), trailer + kLengthSize);

    const uint64_t dataLength = getBigEndian(trailer, kLengthSize);
    if (dataLength > cipherLength ||
        cipherLength - dataLength != paddingLength(header.cipher.padding, dataLength))
        throw damagedError();
    if (lastHeld > 0) {
        const size_t usable = static_cast<size_t>(dataLength - (cipherLength - kBlockSize));
        if (!paddingIsValid(header.cipher.padding, lastBlock + usable, kBlockSize - usable))
            throw damagedError();
        deliver(lastBlock, usable);
    }
    if (overLimit) std::rethrow_exception(overLimit);
    unpacker.finish();
}

std::string limitMessage() {
    return "The decrypted text would be larger than " + std::to_string(kMaxTextResult >> 20) +
           " MiB; decrypt it as a file instead.";
}

}  // namespace

const char* algorithmName(CipherAlgorithm algorithm) {
    return algorithm == CipherAlgorithm::Aes ? "AES" : "Twofish";
}

SealSettings rsaSealSettings(int16_t compression, Encoding output) {
    SealSettings settings;
    settings.cipher = DataCipher{CipherAlgorithm::Aes, 256, BlockMode::Cbc, PaddingScheme::Pkcs7};
    settings.compression = compression;
    settings.output = output;
    return settings;
}

Bytes cryptBlocks(const DataCipher& cipher, const Bytes& key, const Bytes& iv, bool encrypt,
                  const Bytes& data) {
    if (data.size() % kBlockSize != 0)
        throw EngineError(ErrorKind::InvalidInput, "Data must be a whole number of blocks.");
    if (cipher.mode == BlockMode::Cbc && iv.size() != kBlockSize)
        throw EngineError(ErrorKind::InvalidInput, "CBC needs a 16-byte IV.");
    Bytes out(data.size());
    BlockCrypter crypter(cipher, key.data(), key.size(), iv.data(), encrypt);
    crypter.process(data.data(), out.data(), data.size());
    return out;
}

Bytes zlibCompress(const Bytes& data, int level) {
    try {
        Bytes out;
        Deflater deflater(level, [&](const uint8_t* packed, size_t length) {
            out.insert(out.end(), packed, packed + length);
        });
        deflater.write(data.data(), data.size());
        deflater.finish();
        return out;
    } catch (...) {
        rethrowAsEngineError("Compression failed");
    }
}

Bytes zlibDecompress(const Bytes& stream, const std::vector<size_t>& pieces, size_t* steps) {
    try {
        class BytesSink : public ByteSink {
        public:
            explicit BytesSink(Bytes& out) : m_out(out) {}
            void write(const uint8_t* data, size_t length) override {
                m_out.insert(m_out.end(), data, data + length);
            }

        private:
            Bytes& m_out;
        };
        Bytes result;
        BytesSink sink(result);
        Unpacker unpacker(sink, true);
        size_t offset = 0;
        for (size_t piece : pieces) {
            const size_t n = std::min(piece, stream.size() - offset);
            unpacker.write(stream.data() + offset, n);
            offset += n;
        }
        if (offset < stream.size()) unpacker.write(stream.data() + offset, stream.size() - offset);
        if (steps) *steps = unpacker.steps();
        unpacker.finish();
        return result;
    } catch (...) {
        rethrowAsEngineError("Decompression failed");
    }
}

// --- Password key source ---------------------------------------------------------

PasswordKeySealer::PasswordKeySealer(const std::string& password, uint32_t iterations)
    : m_password(password), m_iterations(iterations == 0 ? kDefaultPbkdf2Iterations : iterations) {
    if (m_iterations > kMaxPbkdf2Iterations)
        throw EngineError(ErrorKind::InvalidInput, "The key-derivation cost is above the limit.");
}

PasswordKeySealer::~PasswordKeySealer() { scrubMemory(&m_password[0], m_password.size()); }

void PasswordKeySealer::makeKeyBlock(Bytes& block, SecretBytes& secret) {
    Botan::AutoSeeded_RNG rng;
    Bytes salt(kSaltSize);
    rng.randomize(salt.data(), salt.size());
    block.clear();
    block.push_back(kKdfPbkdf2);
    putBigEndian(block, m_iterations, 4);
    block.push_back(static_cast<uint8_t>(salt.size()));
    block.insert(block.end(), salt.begin(), salt.end());
    secret.assign(kSecretSize, 0);
    Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
        ->from_params(m_iterations)
        ->derive_key(secret.data(), secret.size(), m_password.data(), m_password.size(), salt.data(),
                     salt.size());
}

PasswordKeyOpener::PasswordKeyOpener(const std::string& password) : m_password(password) {}

PasswordKeyOpener::~PasswordKeyOpener() { scrubMemory(&m_password[0], m_password.size()); }

SecretBytes PasswordKeyOpener::openKeyBlock(const uint8_t* block, size_t length) {
    if (length < 1) throw damagedError();
    if (block[0] != kKdfPbkdf2)
        throw EngineError(ErrorKind::NotOurData,
                          "This data uses a key derivation this program does not support.");
    if (length < 5) throw damagedError();
    const uint64_t iterations = getBigEndian(block + 1, 4);
    if (iterations == 0) throw damagedError();
    if (iterations > kMaxPbkdf2Iterations)
        throw EngineError(ErrorKind::NotOurData,
                          "This data asks for a key-derivation cost above the limit this program accepts.");
    constexpr size_t kSaltAt = 5;
    if (length < kSaltAt + 1) throw damagedError();
    const size_t saltLength = block[kSaltAt];
    if (saltLength < kMinSaltSize || saltLength > kMaxSaltSize || length != kSaltAt + 1 + saltLength)
        throw damagedError();
    return deriveSecret(m_password, block + kSaltAt + 1, saltLength, static_cast<uint32_t>(iterations));
}

SecretBytes PasswordKeyOpener::deriveSecret(const std::string& password, const uint8_t* salt, size_t saltLength,
                                            uint32_t iterations) {
    SecretBytes secret(kSecretSize);
    Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
        ->from_params(iterations)
        ->derive_key(secret.data(), secret.size(), password.data(), password.size(), salt, saltLength);
    return secret;
}

// --- Entry points ---------------------------------------------------------------------

std::string sealText(const EngineContext& context, int32_t hashCode, const std::string& plain,
                     SealSettings settings, KeySealer& key) {
    // What is encrypted as a text must decrypt as a text, whose result is held to the same limit.
    if (plain.size() > kMaxTextResult)
        throw EngineError(ErrorKind::TooLarge, "The text is larger than " + std::to_string(kMaxTextResult >> 20) +
                                                   " MiB, the most a decrypted text can hold; encrypt it as a "
                                                   "file instead.");
    try {
        Progress progress(context.hub, hashCode, plain.size());
        progress.begin();
        MemorySource source(plain);
        std::string result;
        StringSink sink(result, UINT64_MAX);
        sealStream(source, sink, settings, key, progress, plain.size() >= kThreadedFrom);
        progress.finish();
        return result;
    } catch (...) {
        rethrowAsEngineError("Encryption failed");
    }
}

std::string openText(const EngineContext& context, int32_t hashCode, const std::string& container,
                     KeyOpener& key, OpenRules rules) {
    try {
        Progress progress(context.hub, hashCode, container.size());
        progress.begin();
        MemorySource source(container);
        std::string result;
        StringSink sink(result, kMaxTextResult, limitMessage());
        openStream(source, sink, key, rules, progress, container.size() >= kThreadedFrom);
        progress.finish();
        return result;
    } catch (...) {
        rethrowAsEngineError("Decryption failed");
    }
}

void sealFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, SealSettings settings, KeySealer& key) {
    fileToFile(context, hashCode, sourcePath, targetPath,
               [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                   FileSource source(input);
                   FileSink sink(output);
                   sealStream(source, sink, settings, key, progress, true);
               });
}

void openFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, KeyOpener& key, OpenRules rules) {
    fileToFile(context, hashCode, sourcePath, targetPath,
               [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                   FileSource source(input);
                   FileSink sink(output);
                   openStream(source, sink, key, rules, progress, true);
               });
}

}  // namespace engine::detail
