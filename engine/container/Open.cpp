// SPDX-License-Identifier: Apache-2.0
// Opening: the header and its tag, then the data authenticated, decrypted
// and decompressed in one pass, counted only once the tag has matched.
#include <algorithm>
#include <array>
#include <exception>
#include <vector>

#include "engine/container/Ciphers.h"
#include "engine/container/Compression.h"
#include "engine/container/Format.h"
#include "engine/core/Relay.h"
#include "engine/io/Descriptors.h"
#include "engine/io/FileJob.h"

namespace engine::detail {

namespace {

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

void openFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, KeyOpener& key, OpenRules rules) {
    fileToFile(context, hashCode, sourcePath, targetPath,
               [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                   FileSource source(input);
                   FileSink sink(output);
                   openStream(source, sink, key, rules, progress, true);
               });
}

namespace {

// The key for both passes: opened on the first (a password derived, an RSA
// key used, once), kept in secret memory, and handed to the second only for
// the very key block it was opened from.
class KeyForTwoPasses : public KeyOpener {
public:
    KeyForTwoPasses(KeyOpener& opener, const std::string& path) : m_opener(opener), m_path(path) {}
    KeySourceKind kind() const override { return m_opener.kind(); }
    SecretBytes openKeyBlock(const uint8_t* block, size_t length) override {
        if (!m_opened) {
            m_secret = m_opener.openKeyBlock(block, length);
            m_block.assign(block, block + length);
            m_opened = true;
        } else if (length != m_block.size() || !std::equal(block, block + length, m_block.begin())) {
            throw EngineError(ErrorKind::Io, "The file " + quotedPath(m_path) + " changed while it was being read.");
        }
        return m_secret;
    }

private:
    KeyOpener& m_opener;
    const std::string& m_path;
    bool m_opened = false;
    Bytes m_block;
    SecretBytes m_secret;
};

}  // namespace

void openFileToStream(const EngineContext& context, int32_t hashCode, const std::string& sourcePath, int fd,
                      KeyOpener& opener, OpenRules rules) {
    // Each write first checks that the file is still the one authenticated.
    class CheckedSink : public ByteSink {
    public:
        CheckedSink(const InputFile& input, int fd) : m_input(input), m_out(fd, "the output") {}
        void write(const uint8_t* data, size_t length) override {
            m_input.checkNotModified();
            m_out.write(data, length);
        }

    private:
        const InputFile& m_input;
        DescriptorSink m_out;
    };
    try {
        InputFile input(sourcePath);
        // Both passes on one bar.
        Progress progress(context.hub, hashCode, input.size() * 2);
        progress.begin();
        FileSource source(input);
        KeyForTwoPasses key(opener, sourcePath);
        DiscardSink nothing;
        openStream(source, nothing, key, rules, progress, true);
        input.checkUnchanged();
        input.rewind();
        CheckedSink out(input, fd);
        openStream(source, out, key, rules, progress, true);
        input.checkUnchanged();
        progress.finish();
    } catch (...) {
        rethrowNamingFile(sourcePath);
    }
}

}  // namespace engine::detail
