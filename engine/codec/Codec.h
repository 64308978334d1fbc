// SPDX-License-Identifier: Apache-2.0
#pragma once
// The three text forms of engine output: Binary (bytes unchanged), Base64
// (RFC 4648, standard alphabet, padded, one line) and Hex (lower-case, two digits
// a byte). Decoding skips line breaks and blanks and takes either case of hex
// digits; any other invalid input throws EngineError(InvalidInput) naming the
// character and its position in the text (the first character is 1), e.g.
// "Invalid Base64 character 'x' at position 17".
//
// Base64 is encoded by libcrypto's block codec and decoded by a table of our
// own that checks and decodes each group of four digits in one pass; Hex is a
// table of our own both ways.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "engine/Engine.h"

namespace engine::detail {

using Encoding = OutputEncoding;

// The encoding unchanged when it is Binary, Base64 or Hex; any other value
// throws EngineError(InvalidInput).
Encoding checkedEncoding(Encoding encoding);
const char* encodingName(Encoding encoding);  // "Binary", "Base64", "Hex"

// Whole-buffer forms.
std::string encode(Encoding encoding, const uint8_t* data, size_t length);
inline std::string encode(Encoding encoding, const std::string& data) {
    return encode(encoding, reinterpret_cast<const uint8_t*>(data.data()), data.size());
}
std::string decode(Encoding encoding, const std::string& text);

// Length of the encoded form of `length` bytes.
uint64_t encodedLength(Encoding encoding, uint64_t length);

// Streaming encoder: feed any pieces, then finish(); the output is the same
// as encode() of the concatenated input. Output is appended to `out`.
class StreamEncoder {
public:
    explicit StreamEncoder(Encoding encoding) : m_encoding(encoding) {}
    void update(const uint8_t* data, size_t length, std::string& out);
    void finish(std::string& out);

private:
    Encoding m_encoding;
    uint8_t m_carry[3] = {};
    size_t m_carryLength = 0;
};

// Streaming decoder: feed any pieces of text, then finish(); positions in
// error messages count from the start of the whole text. Time is linear in
// the text and memory fixed: only the digits of one unfinished group (at most
// three Base64 digits or one hex digit) are held back between pieces, never
// the blanks around them.
class StreamDecoder {
public:
    explicit StreamDecoder(Encoding encoding) : m_encoding(encoding) {}
    void update(const char* text, size_t length, std::string& out);
    void finish(std::string& out);
    // Digits held back from earlier pieces.
    size_t heldBack() const { return m_digitCount; }

private:
    size_t decodeDigits(const char* text, size_t length, uint64_t position, std::string& out);
    void checkPaddingTail(const char* text, size_t length, uint64_t position);

    Encoding m_encoding;
    char m_digits[4] = {};
    size_t m_digitCount = 0;
    uint64_t m_digitsPosition = 0;  // position of the first held digit
    uint64_t m_position = 0;        // position of the first character of the next piece
    bool m_ended = false;           // Base64 padding seen: only blanks and padding may follow
    size_t m_padding = 0;           // '=' seen so far
    uint64_t m_paddingPosition = 0;
};

// --- Telling the forms apart -------------------------------------------------

// The form of a text that should start with `binaryPrefix` (a signature or
// magic, whose length must be a multiple of 3): Binary when the text starts
// with those bytes, Base64 or Hex when its first digits are their encoding
// (hex in either case), blanks and line breaks before and among them skipped
// as the decoders skip them; nullopt otherwise. The caller bounds the look-ahead
// by the length it passes.
std::optional<Encoding> detectByPrefix(const uint8_t* text, size_t length, const std::string& binaryPrefix);

// The form of a value whose decoded size is known (an RSA signature is as long
// as the modulus): a text of exactly `decodedLength` bytes is Binary, otherwise
// its length without blanks and line breaks tells Base64 from Hex. nullopt when
// no form fits.
std::optional<Encoding> detectByLength(const std::string& text, size_t decodedLength);

// decodeByLength: detectByLength, then decode; nullopt when no form fits or
// the text does not decode (a signature that cannot be read is simply invalid).
std::optional<std::string> decodeByLength(const std::string& text, size_t decodedLength);

}  // namespace engine::detail
