// SPDX-License-Identifier: Apache-2.0
#pragma once
// The container's byte layout, its keys and its padding, shared by sealing
// and opening (internal to this folder; the layout is in
// docs/password-container.md).

#include <botan/mac.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "engine/codec/Codec.h"
#include "engine/container/Container.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/core/Secret.h"
#include "engine/io/Files.h"
#include "engine/io/Streams.h"

namespace engine::detail {

// Distinctive in every form: a byte above 0x7F in Binary, "j1FSVkMa" in
// Base64, "8f515256431a" in Hex.
inline const std::string kMagic(
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
size_t bufferFor(uint64_t dataSize, size_t largest);

inline void putBigEndian(Bytes& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

inline uint64_t getBigEndian(const uint8_t* in, int bytes) {
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

Bytes serializeHeader(const Header& header);
// The words of a setting the data needs, e.g. "AES with a 256-bit key".
std::string describeCipher(CipherAlgorithm algorithm, uint32_t keyBits);

// --- Keys -------------------------------------------------------------------------

struct DataKeys {
    SecretBytes cipherKey;
    SecretBytes macKey;
};

// HKDF-SHA-256 from the key source's secret to the cipher key and the MAC key.
DataKeys deriveDataKeys(const SecretBytes& secret, size_t cipherKeyLength);
std::unique_ptr<Botan::MessageAuthenticationCode> newMac(const SecretBytes& key);
// The first 16 bytes of SHA-256 of the text.
Bytes ivFromText(const std::string& text);

size_t paddingLength(PaddingScheme padding, uint64_t dataLength);
void writePadding(PaddingScheme padding, uint8_t* at, size_t count);
bool paddingIsValid(PaddingScheme padding, const uint8_t* at, size_t count);

// --- Reading a container in any form -------------------------------------------------

// The decoded bytes of a container source, read as PieceReader reads any
// source: raw bytes count as progress.
class DecodedSource {
public:
    DecodedSource(ByteSource& raw, Encoding form, Progress& progress)
        : m_raw(raw, bufferFor(raw.size(), kChunkSize), progress), m_form(form), m_decoder(form) {}

    size_t read(uint8_t* out, size_t length) {
        if (m_form == Encoding::Binary) return m_raw.readInto(out, length);
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
    // The next piece of text, decoded.
    bool refill() {
        m_pending = {};
        m_offset = 0;
        if (m_ended) return false;
        // Counted as it is read.
        const ByteView piece = m_raw.next();
        m_raw.done(piece);
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

// The form of a container from its start; the source is rewound after the look.
Encoding detectForm(ByteSource& raw);
// The header, its bytes as read into `raw`.
Header readHeader(DecodedSource& in, Bytes& raw);
// WrongSettings when the data was made by another kind of key source.
void checkKeySource(KeySourceKind recorded, KeySourceKind opener);
// WrongSettings when the rules ask for another algorithm or key length.
void checkRules(const Header& header, const OpenRules& rules);
// Constant time; damagedError() when the tags differ.
void checkTag(const uint8_t* computed, const uint8_t* recorded);

}  // namespace engine::detail
