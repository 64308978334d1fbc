// SPDX-License-Identifier: Apache-2.0
#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace fuzz {

void fail(const std::string& what) {
    std::fprintf(stderr, "\n==== FUZZ CHECK FAILED ====\n%s\n", what.c_str());
    std::abort();
}

const char* kindName(ErrorKind kind) {
    switch (kind) {
        case ErrorKind::Aborted:
            return "Aborted";
        case ErrorKind::WrongKeyOrDamaged:
            return "WrongKeyOrDamaged";
        case ErrorKind::NotOurData:
            return "NotOurData";
        case ErrorKind::WrongSettings:
            return "WrongSettings";
        case ErrorKind::InvalidInput:
            return "InvalidInput";
        case ErrorKind::TooLarge:
            return "TooLarge";
        case ErrorKind::Io:
            return "Io";
        case ErrorKind::KeyFile:
            return "KeyFile";
        case ErrorKind::MissingKey:
            return "MissingKey";
        case ErrorKind::Internal:
            return "Internal";
    }
    return "?";
}

std::string preview(const std::string& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string out;
    for (size_t i = 0; i < bytes.size() && i < 64; ++i) {
        out += kDigits[static_cast<uint8_t>(bytes[i]) >> 4];
        out += kDigits[static_cast<uint8_t>(bytes[i]) & 15];
    }
    if (bytes.size() > 64) out += "… (" + std::to_string(bytes.size()) + " bytes)";
    return out;
}

std::string Reader::bytes(size_t length) {
    const size_t n = std::min(length, m_size - m_at);
    std::string out(reinterpret_cast<const char*>(m_data + m_at), n);
    m_at += n;
    return out;
}

// --- The reference codec ------------------------------------------------------

namespace {

const char kBase64Digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int base64Value(char c) {
    for (int i = 0; i < 64; ++i)
        if (kBase64Digits[i] == c) return i;
    return -1;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string shown(char c) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte > ' ' && byte < 0x7F) return std::string("'") + c + "'";
    char text[16];
    std::snprintf(text, sizeof text, "(byte 0x%02X)", byte);
    return text;
}

RefDecoded refused(RefDecoded result, OutputEncoding encoding, const std::string& what, size_t index,
                   bool atEnd) {
    result.ok = false;
    result.atEnd = atEnd;
    result.message = std::string("Invalid ") + (encoding == OutputEncoding::Base64 ? "Base64" : "Hex") + " " +
                     what + " at position " + std::to_string(index + 1) + ".";
    return result;
}

}  // namespace

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string withoutBlanks(const std::string& text) {
    std::string out;
    for (char c : text)
        if (!isBlank(c)) out += c;
    return out;
}

RefDecoded refDecode(OutputEncoding encoding, const std::string& text) {
    RefDecoded result;
    if (encoding == OutputEncoding::Binary) {
        result.bytes = text;
        return result;
    }
    const bool base64 = encoding == OutputEncoding::Base64;
    const size_t group = base64 ? 4 : 2;
    int values[4] = {};
    size_t held = 0;        // digits of the current group
    size_t groupStart = 0;  // index of its first digit
    size_t padding = 0;
    size_t paddingStart = 0;  // index of the first '='
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (isBlank(c)) continue;
        if (padding > 0) {
            if (c != '=')
                return refused(result, encoding, "character " + shown(c) + " after the padding", i, false);
            if (++padding > 2) return refused(result, encoding, "padding", i, false);
            continue;
        }
        if (base64 && c == '=') {
            padding = 1;
            paddingStart = i;
            continue;
        }
        const int value = base64 ? base64Value(c) : hexValue(c);
        if (value < 0) return refused(result, encoding, "character " + shown(c), i, false);
        if (held == 0) groupStart = i;
        values[held++] = value;
        if (held < group) continue;
        if (base64) {
            result.bytes += static_cast<char>(values[0] << 2 | values[1] >> 4);
            result.bytes += static_cast<char>((values[1] & 15) << 4 | values[2] >> 2);
            result.bytes += static_cast<char>((values[2] & 3) << 6 | values[3]);
        } else {
            result.bytes += static_cast<char>(values[0] << 4 | values[1]);
        }
        held = 0;
    }
    if (!base64) {
        if (held != 0)
            return refused(result, encoding, "text: the last digit has no partner", groupStart, true);
        return result;
    }
    if (held == 1)
        return refused(result, encoding, "text: it ends with an incomplete group", groupStart, true);
    if (padding != 0 && held + padding != 4) return refused(result, encoding, "padding", paddingStart, true);
    // The bits of the last group that make no whole byte are dropped.
    if (held >= 2) result.bytes += static_cast<char>(values[0] << 2 | values[1] >> 4);
    if (held == 3) result.bytes += static_cast<char>((values[1] & 15) << 4 | values[2] >> 2);
    return result;
}

std::string refEncode(OutputEncoding encoding, const std::string& bytes) {
    if (encoding == OutputEncoding::Binary) return bytes;
    std::string out;
    if (encoding == OutputEncoding::Hex) {
        for (char c : bytes) {
            out += "0123456789abcdef"[static_cast<uint8_t>(c) >> 4];
            out += "0123456789abcdef"[static_cast<uint8_t>(c) & 15];
        }
        return out;
    }
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t word = 0;
        const size_t n = std::min<size_t>(3, bytes.size() - i);
        for (size_t j = 0; j < 3; ++j) word = word << 8 | (j < n ? static_cast<uint8_t>(bytes[i + j]) : 0);
        for (size_t j = 0; j < 4; ++j) out += j <= n ? kBase64Digits[(word >> (18 - 6 * j)) & 63] : '=';
    }
    return out;
}

// --- Text forms ---------------------------------------------------------------

std::string applyTextForm(Reader& in, const std::string& bytes) {
    const uint8_t form = in.byte();
    const auto encoding = static_cast<OutputEncoding>((form & 3) % 3);
    std::string text = refEncode(encoding, bytes);
    if (encoding == OutputEncoding::Hex && (form & 0x04))
        for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (encoding == OutputEncoding::Base64 && (form & 0x08))
        while (!text.empty() && text.back() == '=') text.pop_back();
    if (form & 0x10) {
        for (int blanks = in.byte() % 16; blanks > 0; --blanks) {
            const size_t at = in.u16() % (text.size() + 1);
            const char blank = " \t\r\n"[in.byte() % 4];
            text.insert(at, 1, blank);
        }
    }
    if ((form & 0x20) && !text.empty()) {
        const size_t at = in.u16() % text.size();
        text[at] = static_cast<char>(in.byte());
    }
    if (form & 0x40) text.resize(in.u16() % (text.size() + 1));
    return text;
}

std::string scratchFile(const std::string& name) {
    static const std::string folder = [] {
        std::string base =
            access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (getenv("TMPDIR") ? getenv("TMPDIR") : "/tmp");
        std::string pattern = base + "/quorval-fuzz-XXXXXX";
        if (!mkdtemp(&pattern[0])) fail("cannot make a scratch folder in " + base);
        static std::string made;
        made = pattern;
        std::atexit([] { std::system(("rm -rf '" + made + "'").c_str()); });
        return pattern;
    }();
    return folder + "/" + name;
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) fail("cannot write " + path);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) fail("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace fuzz
