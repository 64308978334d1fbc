// SPDX-License-Identifier: Apache-2.0
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
#include "engine/Relay.h"
#include "engine/Streams.h"

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

// The decoded bytes of a container source, read as PieceReader reads any
// source: raw bytes count as progress.
class DecodedSource {
public:
    DecodedSource(ByteSource& raw, Encoding form, Progress& progress)
        : m_raw(raw, bufferFor(raw.size(), kChunkSize), progress), m_form(form), m_decoder(form) {}

    size_t read(uint8_t* out, size_t length) {
        size_t done = 0;
        while (done < length) {
            if (m_offset == m_pending.size && !refill()) break;
            const size_t n = std::min(length - done, m_pending.size - m_offset);
            std::memcpy(out + done, m_pending.data + m_offset, n);
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

    // Once the tag has matched: the source must not have changed meanwhile.
    void finish() const { m_raw.finish(); }

private:
    // The next piece: lent by the source as it is in Binary, else decoded.
    bool refill() {
        m_pending = {};
        m_offset = 0;
        if (m_ended) return false;
        const ByteView piece = m_raw.next();
        if (m_form == Encoding::Binary) {
            m_ended = !piece;
            m_pending = piece;
            return !m_ended;
        }
        m_decoded.clear();
        if (!piece) {
            m_ended = true;
            try {
                m_decoder.finish(m_decoded);
            } catch (const EngineError& e) {
                // An unfinished group or digit pair at the very end: the text was cut short.
                if (e.kind() == ErrorKind::InvalidInput) throw truncatedError();
                throw;
            }
        } else {
            m_decoder.update(reinterpret_cast<const char*>(piece.data), piece.size, m_decoded);
        }
        m_pending = {reinterpret_cast<const uint8_t*>(m_decoded.data()), m_decoded.size()};
        return true;
    }

    PieceReader m_raw;
    Encoding m_form;
    StreamDecoder m_decoder;
    std::string m_decoded;
    ByteView m_pending;
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
    // Versions count from 1: a 0 was never written by any version.
    if (raw[6] == 0) throw notOurDataError();
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

// Data on its way into the container: filled, padded and encrypted by the
// calling thread, then authenticated and written by the writing stage.
struct SealChunk {
    Buffer bytes;
    size_t length = 0;
};

// The writing stage of sealing: everything after the header tag passes
// through it, into the MAC and out in the container's form.
struct SealWriter {
    std::unique_ptr<Botan::MessageAuthenticationCode> mac;
    EncodingSink encoded;

    void operator()(SealChunk& chunk) { write(chunk.bytes.data(), chunk.length); }
    void write(const uint8_t* data, size_t length) {
        mac->update(data, length);
        encoded.write(data, length);
    }
};

// The data of a container after its header. This thread reads (or
// compresses) the data into the one chunk it holds, and pads and encrypts
// it; the writing stage authenticates and writes each chunk, on a second
// thread when threaded, while this one fills the next.
class SealPipeline {
public:
    SealPipeline(const DataCipher& cipher, const SecretBytes& cipherKey, const Bytes& iv, size_t chunk,
                 SealWriter writer, bool threaded)
        : m_crypter(cipher, cipherKey.data(), cipherKey.size(), iv.data(), true),
          m_padding(cipher.padding),
          m_chunk(chunk),
          m_writer(threaded, chunks(chunk), std::move(writer)),
          m_current(m_writer.take()) {}

    // Takes data in: a piece of the source or what the deflater makes. A
    // whole chunk goes through the cipher straight into the chunk, uncopied.
    void append(const uint8_t* data, size_t length) {
        if (m_current.length == 0 && length == m_chunk) {
            m_crypter.process(data, m_current.bytes.data(), length);
            m_current.length = length;
            m_dataLength += length;
            pass();
            return;
        }
        while (length > 0) {
            const size_t n = std::min(length, m_chunk - m_current.length);
            std::memcpy(m_current.bytes.data() + m_current.length, data, n);
            added(n);
            data += n;
            length -= n;
        }
    }

    // Pads and sends the last chunk; once every chunk is written, the data
    // length and the tag.
    void finish() {
        const size_t padding = paddingLength(m_padding, m_dataLength);
        writePadding(m_padding, m_current.bytes.data() + m_current.length, padding);
        m_current.length += padding;
        if (m_current.length > 0) send();
        SealWriter& writer = m_writer.finish();
        Bytes lengthField;
        putBigEndian(lengthField, m_dataLength, kLengthSize);
        writer.write(lengthField.data(), lengthField.size());
        const auto tag = writer.mac->final();
        writer.encoded.write(tag.data(), tag.size());
        writer.encoded.finish();
    }

private:
    // Two: one is filled while the other is written. Room for the padding.
    static std::vector<SealChunk> chunks(size_t chunk) {
        std::vector<SealChunk> out(2);
        for (SealChunk& c : out) c.bytes = Buffer(chunk + kBlockSize);
        return out;
    }

    void added(size_t n) {
        m_current.length += n;
        m_dataLength += n;
        if (m_current.length == m_chunk) send();
    }

    void send() {
        m_crypter.process(m_current.bytes.data(), m_current.bytes.data(), m_current.length);
        pass();
    }

    // Hands the encrypted chunk to the writing stage and takes the next.
    void pass() {
        m_writer.send(std::move(m_current));
        m_current = m_writer.take();
        m_current.length = 0;
    }

    BlockCrypter m_crypter;
    PaddingScheme m_padding;
    size_t m_chunk;
    uint64_t m_dataLength = 0;
    Relay<SealChunk, SealWriter> m_writer;
    SealChunk m_current;
};

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

    const size_t chunk = bufferFor(plain.size(), kPipeChunk);
    SealPipeline pipeline(cipher, keys.cipherKey, header.iv, chunk,
                          SealWriter{std::move(mac), std::move(encoded)}, threaded);
    if (header.compressionMethod == kCompressionNone) {
        feedPieces(plain, chunk, progress,
                   [&](const uint8_t* data, size_t length) { pipeline.append(data, length); });
    } else {
        Deflater deflater(settings.compression < 0 ? kZlibDefaultLevel : settings.compression,
                          [&](const uint8_t* data, size_t length) { pipeline.append(data, length); });
        feedPieces(plain, std::min(chunk, kChunkSize), progress,
                   [&](const uint8_t* data, size_t length) { deflater.write(data, length); });
        deflater.finish();
    }
    pipeline.finish();
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

using Block = std::array<uint8_t, kBlockSize>;

// Each buffer of cipher text starts with room for the bytes held back from
// the previous read: the trailer is only known once the source has ended,
// and the cipher text goes on in whole blocks.
constexpr size_t kHeldRoom = kTrailerSize + kBlockSize;

// Cipher text read from the container, and the room for its plain text.
struct OpenChunk {
    Buffer sealed;     // kHeldRoom bytes of room, then a read
    Buffer plain;      // kBlockSize bytes of room for the block held back last time, then the plain text
    size_t start = 0;  // where the cipher text starts in `sealed`
    size_t body = 0;   // its length, whole blocks
    size_t split = 0;  // the writing stage decrypts this much of it
    Block iv{};        // the cipher block before it

    const uint8_t* cipherText() { return sealed.data() + start; }
    uint8_t* plainText() { return plain.data() + kBlockSize; }
};

std::vector<OpenChunk> openChunks(size_t chunk, bool withPlain) {
    std::vector<OpenChunk> out(2);
    for (OpenChunk& c : out) {
        c.sealed = Buffer(kHeldRoom + chunk);
        if (withPlain) c.plain = Buffer(kBlockSize + chunk);
    }
    return out;
}

// Cipher text as the container yields it: whole blocks go on, and the last
// bytes wait until the end of the source shows whether they are the trailer.
class CipherTextReader {
public:
    CipherTextReader(DecodedSource& in, size_t chunk, const Bytes& iv) : m_in(in), m_chunk(chunk) {
        std::copy(iv.begin(), iv.end(), m_chain.begin());
    }

    // Reads into `chunk` until it holds whole blocks to go on; false at the end.
    bool next(OpenChunk& chunk) {
        uint8_t* buffer = chunk.sealed.data();
        for (;;) {
            const size_t n = m_in.read(buffer + kHeldRoom, m_chunk);
            if (n == 0) return false;
            const size_t start = kHeldRoom - m_heldLength;
            std::memcpy(buffer + start, m_held, m_heldLength);
            const size_t total = m_heldLength + n;
            const size_t body = total > kTrailerSize ? (total - kTrailerSize) / kBlockSize * kBlockSize : 0;
            m_heldLength = total - body;
            std::memcpy(m_held, buffer + start + body, m_heldLength);
            if (body == 0) continue;
            m_length += body;
            chunk.start = start;
            chunk.body = body;
            chunk.iv = m_chain;
            std::copy(buffer + start + body - kBlockSize, buffer + start + body, m_chain.begin());
            return true;
        }
    }

    // Cipher text passed on so far.
    uint64_t length() const { return m_length; }

    // Once the source has ended: anything but a whole number of blocks and
    // the trailer is cut short.
    const uint8_t* trailer() const {
        if (m_heldLength != kTrailerSize) throw truncatedError();
        return m_held;
    }

private:
    DecodedSource& m_in;
    size_t m_chunk;
    uint8_t m_held[kHeldRoom];
    size_t m_heldLength = 0;
    uint64_t m_length = 0;
    Block m_chain{};
};

// CBC decryption of a block needs only the cipher block before it, which a
// fresh start takes as its IV: parts of a buffer can be decrypted at once.
void decryptFrom(BlockCrypter& crypter, const Block& iv, const uint8_t* in, uint8_t* out, size_t length) {
    if (length == 0) return;
    crypter.restart(iv.data());
    crypter.process(in, out, length);
}

// Hands decrypted data on, holding back the last block: only the trailer
// tells how much of it is data.
class PlainTextOutput {
public:
    PlainTextOutput(ByteSink& out, bool compressed, Progress* progress)
        : m_unpacker(out, compressed, progress) {}

    // `room`: kBlockSize bytes of room for the block held back last time,
    // then `length` decrypted bytes.
    void write(uint8_t* room, size_t length) {
        std::memcpy(room + kBlockSize - m_lastHeld, m_lastBlock, m_lastHeld);
        deliver(room + kBlockSize - m_lastHeld, m_lastHeld + length - kBlockSize);
        std::memcpy(m_lastBlock, room + length, kBlockSize);
        m_lastHeld = kBlockSize;
    }

    // Once the tag has matched: the data of the last block, its padding checked.
    void finish(PaddingScheme padding, uint64_t dataLength, uint64_t cipherLength) {
        if (m_lastHeld > 0) {
            const size_t usable = static_cast<size_t>(dataLength - (cipherLength - kBlockSize));
            if (!paddingIsValid(padding, m_lastBlock + usable, kBlockSize - usable)) throw damagedError();
            deliver(m_lastBlock, usable);
        }
        if (m_overLimit) std::rethrow_exception(m_overLimit);
        m_unpacker.finish();
    }

private:
    void deliver(const uint8_t* data, size_t length) {
        if (m_overLimit || length == 0) return;
        try {
            m_unpacker.write(data, length);
        } catch (const EngineError& e) {
            if (e.kind() != ErrorKind::TooLarge) throw;
            m_overLimit = std::current_exception();
        }
    }

    Unpacker m_unpacker;
    // A text over its limit is reported only once the tag has shown the data is whole.
    std::exception_ptr m_overLimit;
    uint8_t m_lastBlock[kBlockSize];
    size_t m_lastHeld = 0;
};

// The end of the cipher text: the tag over everything read, the data length
// it vouches for, then the last block.
void finishOpening(const CipherTextReader& reader, Botan::MessageAuthenticationCode& mac,
                   PlainTextOutput& output, PaddingScheme padding) {
    const uint8_t* trailer = reader.trailer();
    mac.update(trailer, kLengthSize);
    checkTag(mac.final().data(), trailer + kLengthSize);
    const uint64_t dataLength = getBigEndian(trailer, kLengthSize);
    const uint64_t cipherLength = reader.length();
    if (dataLength > cipherLength || cipherLength - dataLength != paddingLength(padding, dataLength))
        throw damagedError();
    output.finish(padding, dataLength, cipherLength);
}

// The writing stage of plain data: decrypts what the reading thread left of
// each chunk, and writes the plain text.
struct PlainWriter {
    PlainWriter(const DataCipher& cipher, const SecretBytes& cipherKey, const Bytes& iv, ByteSink& out)
        : crypter(cipher, cipherKey.data(), cipherKey.size(), iv.data(), false),
          output(out, false, nullptr) {}

    void operator()(OpenChunk& chunk) {
        decryptFrom(crypter, chunk.iv, chunk.cipherText(), chunk.plainText(), chunk.split);
        output.write(chunk.plain.data(), chunk.body);
    }

    BlockCrypter crypter;
    PlainTextOutput output;
};

// Plain data: this thread reads and authenticates each chunk (and decrypts
// its second half, for a slow cipher on two threads); the writing stage
// decrypts the rest and writes it, on a second thread when threaded, while
// this one reads the next.
void openPlainData(CipherTextReader& reader, const Header& header, const DataKeys& keys,
                   Botan::MessageAuthenticationCode& mac, ByteSink& out, size_t chunkSize, bool threaded) {
    const bool splitting = threaded && header.cipher.algorithm == CipherAlgorithm::Twofish;
    BlockCrypter back(header.cipher, keys.cipherKey.data(), keys.cipherKey.size(), header.iv.data(), false);
    Relay<OpenChunk, PlainWriter> writer(threaded, openChunks(chunkSize, true), header.cipher, keys.cipherKey,
                                         header.iv, out);
    for (OpenChunk chunk = writer.take(); reader.next(chunk); chunk = writer.take()) {
        mac.update(chunk.cipherText(), chunk.body);
        chunk.split = splitting ? chunk.body / 2 / kBlockSize * kBlockSize : chunk.body;
        Block backIv = chunk.iv;
        if (chunk.split > 0)
            std::copy(chunk.cipherText() + chunk.split - kBlockSize, chunk.cipherText() + chunk.split,
                      backIv.begin());
        decryptFrom(back, backIv, chunk.cipherText() + chunk.split, chunk.plainText() + chunk.split,
                    chunk.body - chunk.split);
        writer.send(std::move(chunk));
    }
    finishOpening(reader, mac, writer.finish().output, header.cipher.padding);
}

// The authenticating stage of compressed data.
struct Authenticator {
    void operator()(OpenChunk& chunk) { mac->update(chunk.cipherText(), chunk.body); }
    std::unique_ptr<Botan::MessageAuthenticationCode> mac;
};

// Compressed data: this thread reads, decrypts and decompresses, since
// decompression polls progress, which only this thread may do; the stage
// authenticates each chunk, on a second thread when threaded.
void openCompressedData(CipherTextReader& reader, const Header& header, const DataKeys& keys,
                        std::unique_ptr<Botan::MessageAuthenticationCode> mac, ByteSink& out,
                        Progress& progress, size_t chunkSize, bool threaded) {
    BlockCrypter crypter(header.cipher, keys.cipherKey.data(), keys.cipherKey.size(), header.iv.data(),
                         false);
    PlainTextOutput output(out, true, &progress);
    Buffer plain(kBlockSize + chunkSize);
    Relay<OpenChunk, Authenticator> authenticator(threaded, openChunks(chunkSize, false),
                                                  Authenticator{std::move(mac)});
    for (OpenChunk chunk = authenticator.take(); reader.next(chunk); chunk = authenticator.take()) {
        const size_t body = chunk.body;
        decryptFrom(crypter, chunk.iv, chunk.cipherText(), plain.data() + kBlockSize, body);
        authenticator.send(std::move(chunk));
        output.write(plain.data(), body);
    }
    finishOpening(reader, *authenticator.finish().mac, output, header.cipher.padding);
}

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
    // commits it, and the last block waits until the data length says how much of it
    // is data.
    const bool compressed = header.compressionMethod == kCompressionZlib;
    const size_t chunk = bufferFor(raw.size(), compressed ? kCompressedChunk : kPipeChunk);
    CipherTextReader reader(in, chunk, header.iv);
    if (compressed)
        openCompressedData(reader, header, keys, std::move(mac), out, progress, chunk, threaded);
    else
        openPlainData(reader, header, keys, *mac, out, chunk, threaded);
    in.finish();
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
        throw EngineError(ErrorKind::TooLarge,
                          "The text is larger than " + std::to_string(kMaxTextResult >> 20) +
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
