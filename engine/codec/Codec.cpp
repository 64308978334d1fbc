// SPDX-License-Identifier: Apache-2.0
#include "engine/codec/Codec.h"

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "engine/Engine.h"

namespace engine::detail {

namespace {

// Character classes of the decoding pass: a digit maps to its value (below
// 64), anything else to one of these.
constexpr uint8_t kBlank = 0x40;
constexpr uint8_t kPadding = 0x41;
constexpr uint8_t kInvalid = 0x80;
constexpr uint8_t kNotDigit = 0xC0;  // set in every class that is not a digit

using CharTable = std::array<uint8_t, 256>;

constexpr CharTable makeTable(const char* digits) {
    CharTable table{};
    for (auto& entry : table) entry = kInvalid;
    for (uint8_t value = 0; digits[value] != '\0'; ++value)
        table[static_cast<unsigned char>(digits[value])] = value;
    for (char blank : {' ', '\t', '\n', '\r'}) table[static_cast<unsigned char>(blank)] = kBlank;
    return table;
}

constexpr CharTable makeHexTable() {
    CharTable table = makeTable("0123456789abcdef");
    for (uint8_t value = 10; value < 16; ++value) table['A' + value - 10] = value;
    return table;
}

constexpr CharTable makeBase64Table() {
    CharTable table = makeTable("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/");
    table['='] = kPadding;
    return table;
}

constexpr CharTable kBase64Classes = makeBase64Table();
constexpr CharTable kHexClasses = makeHexTable();

uint8_t classOf(const CharTable& table, char c) { return table[static_cast<unsigned char>(c)]; }
bool isBlank(char c) { return kHexClasses[static_cast<unsigned char>(c)] == kBlank; }

// "000102…feff": the two lower-case digits of every byte.
constexpr std::array<char, 512> makeHexDigits() {
    std::array<char, 512> digits{};
    constexpr char kDigits[] = "0123456789abcdef";
    for (int byte = 0; byte < 256; ++byte) {
        digits[2 * byte] = kDigits[byte >> 4];
        digits[2 * byte + 1] = kDigits[byte & 15];
    }
    return digits;
}

constexpr std::array<char, 512> kHexDigits = makeHexDigits();

// Keeps the lengths handed to libcrypto's int parameters small; whole groups on both sides.
constexpr size_t kLibraryStep = size_t{3} << 26;

// Appends the Base64 of `length` bytes: whole groups, then a padded last
// group if `length` is not a multiple of 3.
void appendBase64(const uint8_t* data, size_t length, std::string& out) {
    while (length > 0) {
        const size_t n = std::min(length, kLibraryStep);
        const size_t start = out.size();
        out.resize(start + (n + 2) / 3 * 4 + 1);  // libcrypto ends the text with a NUL
        const int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(&out[start]), data, static_cast<int>(n));
        out.resize(start + static_cast<size_t>(written));
        data += n;
        length -= n;
    }
}

void appendHex(const uint8_t* data, size_t length, std::string& out) {
    const size_t start = out.size();
    out.resize(start + 2 * length);
    char* text = &out[start];
    for (size_t i = 0; i < length; ++i) std::memcpy(text + 2 * i, &kHexDigits[2 * data[i]], 2);
}

// A Base64 digit's value shifted to its place in the 24 bits of a group of
// four, per place; any other character sets kNotInGroup. OR-ing the four
// places of a group checks and decodes it in one pass.
constexpr uint32_t kNotInGroup = 1u << 24;
using GroupTable = std::array<uint32_t, 256>;

constexpr GroupTable makeGroupTable(int place) {
    GroupTable table{};
    for (int c = 0; c < 256; ++c) {
        const uint8_t value = kBase64Classes[static_cast<size_t>(c)];
        table[static_cast<size_t>(c)] = value < kBlank ? uint32_t{value} << (18 - 6 * place) : kNotInGroup;
    }
    return table;
}

constexpr GroupTable kGroupPlace0 = makeGroupTable(0), kGroupPlace1 = makeGroupTable(1),
                     kGroupPlace2 = makeGroupTable(2), kGroupPlace3 = makeGroupTable(3);

// Writes the 8 bytes of `value`, most significant first.
void storeBigEndian(uint8_t* out, uint64_t value) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    value = __builtin_bswap64(value);
    std::memcpy(out, &value, 8);
#else
    for (int i = 0; i < 8; ++i) out[i] = static_cast<uint8_t>(value >> (56 - 8 * i));
#endif
}

// Decodes whole groups of four Base64 digits from the start of `text` until
// a group holds a character that is not a digit; returns the number of
// characters decoded (a multiple of 4). `out` moves on by 3 bytes a group
// and never writes at or past `outEnd`.
size_t decodeBase64Groups(const char* text, size_t length, uint8_t*& out, const uint8_t* outEnd) {
    const auto* in = reinterpret_cast<const unsigned char*>(text);
    auto group = [in](size_t i) {
        return kGroupPlace0[in[i]] | kGroupPlace1[in[i + 1]] | kGroupPlace2[in[i + 2]] | kGroupPlace3[in[i + 3]];
    };
    uint8_t* to = out;  // a local, which the stores below cannot alias
    size_t at = 0;
    // Four groups at a time, their 12 bytes stored as two words of 8 that
    // overlap: while the output has room for 16.
    while (length - at >= 16 && outEnd - to >= 16) {
        const uint32_t a = group(at), b = group(at + 4), c = group(at + 8), d = group(at + 12);
        if ((a | b | c | d) & kNotInGroup) break;
        storeBigEndian(to, uint64_t{a} << 40 | uint64_t{b} << 16);
        storeBigEndian(to + 6, uint64_t{c} << 40 | uint64_t{d} << 16);
        to += 12;
        at += 16;
    }
    for (; length - at >= 4; at += 4) {
        const uint32_t a = group(at);
        if (a & kNotInGroup) break;
        to[0] = static_cast<uint8_t>(a >> 16);
        to[1] = static_cast<uint8_t>(a >> 8);
        to[2] = static_cast<uint8_t>(a);
        to += 3;
    }
    out = to;
    return at;
}

// Every pair of characters, read as one 16-bit word, mapped to the byte its
// hex digits stand for, or to kNotAPair.
constexpr uint16_t kNotAPair = 0x100;

const uint16_t* hexPairTable() {
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> pairs(65536, kNotAPair);
        for (int high = 0; high < 256; ++high) {
            for (int low = 0; low < 256; ++low) {
                const uint8_t h = kHexClasses[high], l = kHexClasses[low];
                if ((h | l) & kNotDigit) continue;
                const char text[2] = {static_cast<char>(high), static_cast<char>(low)};
                uint16_t word = 0;
                std::memcpy(&word, text, 2);
                pairs[word] = static_cast<uint16_t>(h << 4 | l);
            }
        }
        return pairs;
    }();
    return table.data();
}

// Decodes pairs of hex digits from the start of `text` until a character that
// is not a digit; returns the number of characters decoded (even).
size_t decodeHexPairs(const char* text, size_t length, uint8_t*& out) {
    const uint16_t* pairs = hexPairTable();
    auto pairAt = [&](size_t i) {
        uint16_t word;
        std::memcpy(&word, text + i, 2);
        return pairs[word];
    };
    size_t at = 0;
    for (; length - at >= 8; at += 8) {
        const uint16_t a = pairAt(at), b = pairAt(at + 2), c = pairAt(at + 4), d = pairAt(at + 6);
        if ((a | b | c | d) & kNotAPair) break;
        out[0] = static_cast<uint8_t>(a);
        out[1] = static_cast<uint8_t>(b);
        out[2] = static_cast<uint8_t>(c);
        out[3] = static_cast<uint8_t>(d);
        out += 4;
    }
    for (; length - at >= 2; at += 2) {
        const uint16_t pair = pairAt(at);
        if (pair & kNotAPair) break;
        *out++ = static_cast<uint8_t>(pair);
    }
    return at;
}

std::string shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x21 && byte < 0x7F) return std::string("'") + c + "'";
    char text[32];
    std::snprintf(text, sizeof text, "(byte 0x%02X)", byte);
    return text;
}

[[noreturn]] void invalidAt(Encoding encoding, const std::string& what, uint64_t position) {
    throw EngineError(ErrorKind::InvalidInput, std::string("Invalid ") + encodingName(encoding) + " " + what +
                                                   " at position " + std::to_string(position + 1) + ".");
}

size_t significantCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !isBlank(c); }));
}

}  // namespace

Encoding checkedEncoding(Encoding encoding) {
    switch (encoding) {
        case Encoding::Binary:
        case Encoding::Base64:
        case Encoding::Hex:
            return encoding;
    }
    throw EngineError(ErrorKind::InvalidInput, "Unknown encoding code " +
                                                   std::to_string(static_cast<int32_t>(encoding)) +
                                                   " (0 Binary, 1 Base64, 2 Hex).");
}

const char* encodingName(Encoding encoding) {
    switch (encoding) {
        case Encoding::Binary:
            return "Binary";
        case Encoding::Base64:
            return "Base64";
        case Encoding::Hex:
            return "Hex";
    }
    return "?";
}

uint64_t encodedLength(Encoding encoding, uint64_t length) {
    switch (encoding) {
        case Encoding::Binary:
            return length;
        case Encoding::Base64:
            return (length + 2) / 3 * 4;
        case Encoding::Hex:
            return length * 2;
    }
    return length;
}

std::string encode(Encoding encoding, const uint8_t* data, size_t length) {
    std::string out;
    StreamEncoder encoder(encoding);
    encoder.update(data, length, out);
    encoder.finish(out);
    return out;
}

std::string decode(Encoding encoding, const std::string& text) {
    std::string out;
    StreamDecoder decoder(encoding);
    decoder.update(text.data(), text.size(), out);
    decoder.finish(out);
    return out;
}

// --- StreamEncoder ---------------------------------------------------------------

void StreamEncoder::update(const uint8_t* data, size_t length, std::string& out) {
    switch (m_encoding) {
        case Encoding::Binary:
            out.append(reinterpret_cast<const char*>(data), length);
            return;
        case Encoding::Hex:
            appendHex(data, length, out);
            return;
        case Encoding::Base64:
            break;
    }
    if (m_carryLength > 0) {
        const size_t take = std::min(length, 3 - m_carryLength);
        std::memcpy(m_carry + m_carryLength, data, take);
        m_carryLength += take;
        data += take;
        length -= take;
        if (m_carryLength < 3) return;
        appendBase64(m_carry, 3, out);
        m_carryLength = 0;
    }
    const size_t whole = length / 3 * 3;
    appendBase64(data, whole, out);
    m_carryLength = length - whole;
    std::memcpy(m_carry, data + whole, m_carryLength);
}

void StreamEncoder::finish(std::string& out) {
    if (m_encoding != Encoding::Base64 || m_carryLength == 0) return;
    appendBase64(m_carry, m_carryLength, out);  // the padded last group
    m_carryLength = 0;
}

// --- StreamDecoder -----------------------------------------------------------------

void StreamDecoder::update(const char* text, size_t length, std::string& out) {
    const uint64_t start = m_position;
    m_position += length;
    if (m_encoding == Encoding::Binary) {
        out.append(text, length);
        return;
    }
    if (m_ended) return checkPaddingTail(text, length, start);

    const size_t dataLength = decodeDigits(text, length, start, out);
    if (dataLength < length) {
        // Padding: the text ends here, the held digits are the last group.
        m_ended = true;
        m_paddingPosition = start + dataLength;
        checkPaddingTail(text + dataLength, length - dataLength, start + dataLength);
    }
}

// One pass over digits and blanks: whole groups are decoded where they lie,
// the digits of a group that blanks or the end of the piece split are held
// back and decoded once the group is complete. Stops at Base64 padding;
// returns the length read.
size_t StreamDecoder::decodeDigits(const char* text, size_t length, uint64_t position, std::string& out) {
    const bool base64 = m_encoding == Encoding::Base64;
    const CharTable& classes = base64 ? kBase64Classes : kHexClasses;
    const size_t group = base64 ? 4 : 2;
    const size_t groupBytes = base64 ? 3 : 1;
    const size_t start = out.size();
    out.resize(start + (length + m_digitCount) / group * groupBytes);
    auto* const first = reinterpret_cast<uint8_t*>(&out[start]);
    const uint8_t* const last = reinterpret_cast<const uint8_t*>(out.data()) + out.size();
    uint8_t* to = first;
    size_t at = 0;
    auto done = [&](size_t read) {
        out.resize(start + static_cast<size_t>(to - first));
        return read;
    };
    auto refuse = [&](size_t i) {
        out.resize(start + static_cast<size_t>(to - first));
        invalidAt(m_encoding, "character " + shown(text[i]), position + i);
    };
    while (at < length) {
        if (m_digitCount > 0) {
            // Complete the group that earlier blanks or pieces left open.
            for (; at < length && m_digitCount < group; ++at) {
                const uint8_t c = classOf(classes, text[at]);
                if (c < kBlank) {
                    m_digits[m_digitCount++] = text[at];
                } else if (c != kBlank) {
                    if (c == kPadding) return done(at);
                    refuse(at);
                }
            }
            if (m_digitCount < group) break;
            if (base64)
                decodeBase64Groups(m_digits, 4, to, last);
            else
                decodeHexPairs(m_digits, 2, to);
            m_digitCount = 0;
            continue;
        }
        // The whole groups of a run of digits, then what is left of it.
        size_t whole, end;
        if (base64) {
            whole = decodeBase64Groups(text + at, length - at, to, last);
            end = at + whole;
            // A group with a character that is not a digit: its digits wait.
            while (end < length && classOf(classes, text[end]) < kBlank) ++end;
        } else {
            whole = decodeHexPairs(text + at, length - at, to);
            end = at + whole;
            if (end < length && classOf(classes, text[end]) < kBlank) ++end;
        }
        for (size_t i = at + whole; i < end; ++i) {
            if (m_digitCount == 0) m_digitsPosition = position + i;
            m_digits[m_digitCount++] = text[i];
        }
        at = end;
        while (at < length && classOf(classes, text[at]) == kBlank) ++at;
        if (at == length || classOf(classes, text[at]) < kBlank) continue;
        if (classOf(classes, text[at]) == kPadding) return done(at);
        refuse(at);
    }
    return done(length);
}

void StreamDecoder::checkPaddingTail(const char* text, size_t length, uint64_t position) {
    for (size_t i = 0; i < length; ++i) {
        if (text[i] == '=') {
            if (++m_padding > 2) invalidAt(m_encoding, "padding", position + i);
        } else if (!isBlank(text[i])) {
            invalidAt(m_encoding, "character " + shown(text[i]) + " after the padding", position + i);
        }
    }
}

void StreamDecoder::finish(std::string& out) {
    if (m_encoding == Encoding::Binary) return;
    if (m_encoding == Encoding::Hex) {
        if (m_digitCount != 0) invalidAt(m_encoding, "text: the last digit has no partner", m_digitsPosition);
        return;
    }
    if (m_digitCount == 1) invalidAt(m_encoding, "text: it ends with an incomplete group", m_digitsPosition);
    if (m_padding != 0 && m_digitCount + m_padding != 4) invalidAt(m_encoding, "padding", m_paddingPosition);
    if (m_digitCount == 0) return;
    // The last group, filled up with zero digits whose bits are not kept.
    const size_t missing = 4 - m_digitCount;
    std::fill(m_digits + m_digitCount, m_digits + 4, 'A');
    uint8_t bytes[3];
    uint8_t* to = bytes;
    decodeBase64Groups(m_digits, 4, to, bytes + sizeof bytes);
    out.append(reinterpret_cast<const char*>(bytes), 3 - missing);
    m_digitCount = 0;
}

// --- Detection -------------------------------------------------------------------------

std::optional<Encoding> detectByPrefix(const uint8_t* text, size_t length, const std::string& binaryPrefix) {
    if (length >= binaryPrefix.size() && std::memcmp(text, binaryPrefix.data(), binaryPrefix.size()) == 0)
        return Encoding::Binary;
    const auto* prefix = reinterpret_cast<const uint8_t*>(binaryPrefix.data());
    const std::string base64 = encode(Encoding::Base64, prefix, binaryPrefix.size());
    const std::string hex = encode(Encoding::Hex, prefix, binaryPrefix.size());
    // The first digits, wherever blanks and line breaks fall among them: the
    // decoders skip those anywhere.
    std::string digits;
    const size_t wanted = std::max(base64.size(), hex.size());
    for (size_t i = 0; i < length && digits.size() < wanted; ++i)
        if (!isBlank(static_cast<char>(text[i]))) digits.push_back(static_cast<char>(text[i]));
    if (digits.compare(0, base64.size(), base64) == 0) return Encoding::Base64;
    if (digits.size() >= hex.size() && std::equal(hex.begin(), hex.end(), digits.begin(), [](char a, char b) {
            return a == std::tolower(static_cast<unsigned char>(b));
        }))
        return Encoding::Hex;
    return std::nullopt;
}

std::optional<Encoding> detectByLength(const std::string& text, size_t decodedLength) {
    if (text.size() == decodedLength) return Encoding::Binary;
    const size_t digits = significantCount(text);
    if (digits == 2 * decodedLength) return Encoding::Hex;
    const size_t padded = (decodedLength + 2) / 3 * 4;
    const size_t unpadded = (decodedLength * 4 + 2) / 3;
    if (digits == padded || digits == unpadded) return Encoding::Base64;
    return std::nullopt;
}

std::optional<std::string> decodeByLength(const std::string& text, size_t decodedLength) {
    const auto encoding = detectByLength(text, decodedLength);
    if (!encoding) return std::nullopt;
    try {
        std::string decoded = decode(*encoding, text);
        if (decoded.size() != decodedLength) return std::nullopt;
        return decoded;
    } catch (const EngineError&) {
        return std::nullopt;
    }
}

}  // namespace engine::detail
