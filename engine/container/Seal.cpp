// SPDX-License-Identifier: Apache-2.0
// Sealing: the header, then the data compressed, padded, encrypted and
// authenticated as it is read.
#include <botan/auto_rng.h>

#include "engine/codec/EncodingSink.h"
#include "engine/container/Ciphers.h"
#include "engine/container/Compression.h"
#include "engine/container/Format.h"
#include "engine/core/Relay.h"
#include "engine/io/FileJob.h"

namespace engine::detail {

namespace {

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

}  // namespace

SealSettings rsaSealSettings(int16_t compression, Encoding output) {
    SealSettings settings;
    settings.cipher = DataCipher{CipherAlgorithm::Aes, 256, BlockMode::Cbc, PaddingScheme::Pkcs7};
    settings.compression = compression;
    settings.output = output;
    return settings;
}

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

void sealFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, SealSettings settings, KeySealer& key) {
    fileToFile(context, hashCode, sourcePath, targetPath,
               [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                   FileSource source(input);
                   FileSink sink(output);
                   sealStream(source, sink, settings, key, progress, true);
               });
}

}  // namespace engine::detail
