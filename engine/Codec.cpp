#include "engine/Codec.h"

#include <botan/base64.h>
#include <botan/exceptn.h>
#include <botan/hex.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "engine/Engine.h"

namespace engine::detail {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool isBase64Digit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/';
}

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

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

// Finds the first character that is neither a digit of the encoding nor a
// blank, and reports it; runs only once the library has refused the text.
[[noreturn]] void reportInvalid(Encoding encoding, const char* text, size_t length, uint64_t firstPosition) {
    for (size_t i = 0; i < length; ++i) {
        const char c = text[i];
        const bool ok = isBlank(c) || (encoding == Encoding::Base64 ? isBase64Digit(c) : isHexDigit(c));
        if (!ok) invalidAt(encoding, "character " + shown(c), firstPosition + i);
    }
    invalidAt(encoding, "text", firstPosition);
}

size_t significantCount(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return !isBlank(c); }));
}

}  // namespace

Encoding encodingFromCode(int32_t code) {
    switch (code) {
        case 0:
            return Encoding::Binary;
        case 1:
            return Encoding::Base64;
        case 2:
            return Encoding::Hex;
        default:
            throw EngineError(ErrorKind::InvalidInput, "Unknown encoding code " + std::to_string(code) +
                                                           " (0 Binary, 1 Base64, 2 Hex).");
    }
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
        case Encoding::Hex: {
            const size_t start = out.size();
            out.resize(start + 2 * length);
            Botan::hex_encode(&out[start], data, length, false);
            return;
        }
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
        const size_t start = out.size();
        out.resize(start + 4);
        size_t consumed = 0;
        Botan::base64_encode(&out[start], m_carry, 3, consumed, false);
        m_carryLength = 0;
    }
    const size_t whole = length / 3 * 3;
    if (whole > 0) {
        const size_t start = out.size();
        out.resize(start + whole / 3 * 4);
        size_t consumed = 0;
        Botan::base64_encode(&out[start], data, whole, consumed, false);
    }
    m_carryLength = length - whole;
    std::memcpy(m_carry, data + whole, m_carryLength);
}

void StreamEncoder::finish(std::string& out) {
    if (m_encoding != Encoding::Base64 || m_carryLength == 0) return;
    const size_t start = out.size();
    out.resize(start + 4);
    size_t consumed = 0;
    const size_t written = Botan::base64_encode(&out[start], m_carry, m_carryLength, consumed, true);
    out.resize(start + written);
    m_carryLength = 0;
}

// --- StreamDecoder -----------------------------------------------------------------

void StreamDecoder::reset() {
    m_digitCount = 0;
    m_position = 0;
    m_ended = false;
    m_padding = 0;
}

bool StreamDecoder::isDigit(char c) const {
    return m_encoding == Encoding::Base64 ? isBase64Digit(c) : isHexDigit(c);
}

void StreamDecoder::hold(char digit, uint64_t position) {
    if (m_digitCount == 0) m_digitsPosition = position;
    m_digits[m_digitCount++] = digit;
}

void StreamDecoder::decodeHeldGroup(std::string& out) {
    uint8_t bytes[3];
    size_t consumed = 0;
    const size_t written = m_encoding == Encoding::Base64
                               ? Botan::base64_decode(bytes, m_digits, 4, consumed, false, false)
                               : Botan::hex_decode(bytes, m_digits, 2, consumed, false);
    out.append(reinterpret_cast<const char*>(bytes), written);
    m_digitCount = 0;
}

void StreamDecoder::update(const char* text, size_t length, std::string& out) {
    const uint64_t start = m_position;
    m_position += length;
    if (m_encoding == Encoding::Binary) {
        out.append(text, length);
        return;
    }
    if (m_ended) return checkPaddingTail(text, length, start);

    size_t dataLength = length;
    if (m_encoding == Encoding::Base64) {
        if (const void* pad = std::memchr(text, '=', length))
            dataLength = static_cast<size_t>(static_cast<const char*>(pad) - text);
    }
    // First the group the last piece left unfinished.
    size_t at = 0;
    for (; m_digitCount > 0 && at < dataLength; ++at) {
        const char c = text[at];
        if (isDigit(c)) {
            hold(c, start + at);
            if (m_digitCount == groupSize()) decodeHeldGroup(out);
        } else if (!isBlank(c)) {
            invalidAt(m_encoding, "character " + shown(c), start + at);
        }
    }
    decodeRun(text + at, dataLength - at, start + at, out);
    if (dataLength < length) {
        // Padding: the text ends here, the held digits are the last group.
        m_ended = true;
        m_paddingPosition = start + dataLength;
        checkPaddingTail(text + dataLength, length - dataLength, start + dataLength);
    }
}

// Decodes the whole groups of a run of digits and blanks, and holds back the
// digits of an unfinished group at its end.
void StreamDecoder::decodeRun(const char* text, size_t length, uint64_t position, std::string& out) {
    size_t runLength = length;
    // The library counts a trailing blank as the unread half of an odd digit pair.
    if (m_encoding == Encoding::Hex)
        while (runLength > 0 && isBlank(text[runLength - 1])) --runLength;
    if (runLength == 0) return;

    size_t consumed = 0;
    const size_t start = out.size();
    try {
        if (m_encoding == Encoding::Base64) {
            out.resize(start + Botan::base64_decode_max_output(runLength));
            const size_t written = Botan::base64_decode(reinterpret_cast<uint8_t*>(&out[start]), text,
                                                        runLength, consumed, false, true);
            out.resize(start + written);
        } else {
            out.resize(start + runLength / 2 + 1);
            const size_t written =
                Botan::hex_decode(reinterpret_cast<uint8_t*>(&out[start]), text, runLength, consumed, true);
            out.resize(start + written);
        }
    } catch (const Botan::Exception&) {
        out.resize(start);
        reportInvalid(m_encoding, text, runLength, position);
    }
    // What follows the last whole group: fewer digits than a group, and blanks.
    for (size_t i = consumed; i < runLength; ++i)
        if (!isBlank(text[i])) hold(text[i], position + i);
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
    uint8_t bytes[3];
    size_t consumed = 0;
    const size_t written = Botan::base64_decode(bytes, m_digits, m_digitCount, consumed, true, false);
    out.append(reinterpret_cast<const char*>(bytes), written);
    m_digitCount = 0;
}

// --- Detection -------------------------------------------------------------------------

std::optional<Encoding> detectByPrefix(const uint8_t* text, size_t length, const std::string& binaryPrefix) {
    if (length >= binaryPrefix.size() && std::memcmp(text, binaryPrefix.data(), binaryPrefix.size()) == 0)
        return Encoding::Binary;
    size_t skip = 0;
    while (skip < length && isBlank(static_cast<char>(text[skip]))) ++skip;
    const char* rest = reinterpret_cast<const char*>(text + skip);
    const size_t restLength = length - skip;
    const auto* prefix = reinterpret_cast<const uint8_t*>(binaryPrefix.data());
    const std::string base64 = Botan::base64_encode(prefix, binaryPrefix.size());
    if (restLength >= base64.size() && std::memcmp(rest, base64.data(), base64.size()) == 0)
        return Encoding::Base64;
    const std::string hex = Botan::hex_encode(prefix, binaryPrefix.size(), false);
    if (restLength >= hex.size() && std::equal(hex.begin(), hex.end(), rest, [](char a, char b) {
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
