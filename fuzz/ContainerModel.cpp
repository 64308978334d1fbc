// SPDX-License-Identifier: Apache-2.0
#include "fuzz/ContainerModel.h"

#include <botan/block_cipher.h>
#include <botan/hash.h>
#include <botan/kdf.h>
#include <botan/mac.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

namespace {

const std::string kMagic(
    "\x8F"
    "QRVC\x1A",
    6);
const std::string kDamagedWords = "wrong password or key, or the data is damaged or incomplete.";
constexpr size_t kLookAhead = 192 * 1024;
constexpr uint64_t kTextLimit = 64ull << 20;

// Tweaks: each lets the fuzzer's bytes replace what a valid container holds.
enum : uint16_t {
    kRawMagic = 1 << 0,
    kRawVersion = 1 << 1,
    kRawKeySource = 1 << 2,
    kRawFields = 1 << 3,
    kRawIvLength = 1 << 4,
    kRawBlockLength = 1 << 5,
    kBadHeaderTag = 1 << 6,
    kRawPadding = 1 << 7,
    kRawDataLength = 1 << 8,
    kBadTag = 1 << 9,
    kCut = 1 << 10,
    kExtend = 1 << 11,
    // Line breaks after the text, to 1 MiB: the engine opens texts that long on two threads.
    kLong = 1 << 12,
};

std::string bigEndian(uint64_t value, int bytes) {
    std::string out;
    for (int i = bytes - 1; i >= 0; --i) out += static_cast<char>(value >> (8 * i));
    return out;
}

uint64_t readBigEndian(const std::string& bytes, size_t at, int count) {
    uint64_t value = 0;
    for (int i = 0; i < count; ++i) value = value << 8 | static_cast<uint8_t>(bytes[at + i]);
    return value;
}

std::string padded(std::string bytes, size_t length) {
    bytes.resize(length, '\0');
    return bytes;
}

struct Keys {
    std::string cipherKey, macKey;
};

Keys deriveKeys(const std::string& secret, size_t cipherKeyLength) {
    auto hkdf = Botan::KDF::create_or_throw("HKDF(SHA-256)");
    auto expand = [&](size_t length, const std::string& label) {
        const auto key =
            hkdf->derive_key(length, reinterpret_cast<const uint8_t*>(secret.data()), secret.size(), nullptr,
                             0, reinterpret_cast<const uint8_t*>(label.data()), label.size());
        return std::string(key.begin(), key.end());
    };
    return {expand(cipherKeyLength, "Quorval container 1 cipher key"),
            expand(32, "Quorval container 1 MAC key")};
}

std::string hmac(const std::string& key, const std::string& data) {
    auto mac = Botan::MessageAuthenticationCode::create_or_throw("HMAC(SHA-256)");
    mac->set_key(reinterpret_cast<const uint8_t*>(key.data()), key.size());
    mac->update(data);
    const auto tag = mac->final();
    return std::string(tag.begin(), tag.end());
}

// ECB or CBC over whole blocks, one block at a time.
std::string crypt(uint8_t algorithm, const std::string& key, uint8_t mode, const std::string& iv,
                  const std::string& data, bool encrypt) {
    auto cipher = Botan::BlockCipher::create_or_throw(algorithm == 0 ? "AES-" + std::to_string(key.size() * 8)
                                                                     : std::string("Twofish"));
    cipher->set_key(reinterpret_cast<const uint8_t*>(key.data()), key.size());
    std::string out(data.size(), '\0');
    std::string chain = padded(iv, 16);
    for (size_t at = 0; at + 16 <= data.size(); at += 16) {
        uint8_t block[16];
        std::memcpy(block, data.data() + at, 16);
        if (encrypt) {
            if (mode == 1)
                for (int i = 0; i < 16; ++i) block[i] ^= static_cast<uint8_t>(chain[i]);
            cipher->encrypt(block);
            if (mode == 1) chain.assign(reinterpret_cast<char*>(block), 16);
        } else {
            cipher->decrypt(block);
            if (mode == 1) {
                for (int i = 0; i < 16; ++i) block[i] ^= static_cast<uint8_t>(chain[i]);
                chain.assign(data, at, 16);
            }
        }
        std::memcpy(&out[at], block, 16);
    }
    return out;
}

size_t paddingLength(uint8_t padding, uint64_t length) {
    const size_t rest = length % 16;
    if (padding == 0) return rest == 0 ? 0 : 16 - rest;
    return 16 - rest;
}

std::string paddingBytes(uint8_t padding, size_t count) {
    if (padding == 1) return std::string(count, static_cast<char>(count));
    std::string out(count, '\0');
    if (padding == 2 && count > 0) out.back() = static_cast<char>(count);
    return out;
}

std::string deflated(const std::string& data, int level, bool dictionary) {
    z_stream stream{};
    if (deflateInit(&stream, level) != Z_OK) fail("deflateInit");
    if (dictionary) {
        static const char kDictionary[] = "a preset dictionary the container format forbids";
        deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(kDictionary), sizeof kDictionary - 1);
    }
    std::string out(deflateBound(&stream, data.size()) + 64, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    if (deflate(&stream, Z_FINISH) != Z_STREAM_END) fail("deflate");
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

// Exactly one whole zlib stream with nothing after it, no preset dictionary.
struct Inflated {
    bool whole = false;
    bool overLimit = false;
    std::string out;
};

Inflated inflated(const std::string& data) {
    Inflated result;
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) fail("inflateInit");
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    stream.avail_in = static_cast<uInt>(data.size());
    static char buffer[1 << 16];
    uint64_t total = 0;
    for (;;) {
        stream.next_out = reinterpret_cast<Bytef*>(buffer);
        stream.avail_out = sizeof buffer;
        const int status = inflate(&stream, Z_NO_FLUSH);
        const size_t made = sizeof buffer - stream.avail_out;
        total += made;
        if (total > kTextLimit)
            result.overLimit = true;
        else
            result.out.append(buffer, made);
        if (status == Z_STREAM_END) {
            result.whole = stream.avail_in == 0;
            break;
        }
        if (status != Z_OK) break;  // broken, cut short, or asking for a dictionary
    }
    inflateEnd(&stream);
    if (result.overLimit) result.out.clear();
    return result;
}

Refusal damaged() { return {ErrorKind::WrongKeyOrDamaged, {}}; }

// Reads the decoded container in order, as the engine does.
class Cursor {
public:
    explicit Cursor(const std::string& bytes) : m_bytes(bytes) {}
    std::string take(size_t length) {
        if (m_bytes.size() - m_at < length) throw damaged();  // cut short
        std::string out = m_bytes.substr(m_at, length);
        m_at += length;
        return out;
    }
    std::string rest() { return take(m_bytes.size() - m_at); }

private:
    const std::string& m_bytes;
    size_t m_at = 0;
};

// Binary, Base64 or Hex, from the magic's digits in the first 192 KiB.
OutputEncoding formOf(const std::string& text) {
    if (text.compare(0, kMagic.size(), kMagic) == 0 && text.size() >= kMagic.size())
        return OutputEncoding::Binary;
    std::string digits;
    for (size_t i = 0; i < text.size() && i < kLookAhead && digits.size() < 12; ++i)
        if (!isBlank(text[i])) digits += text[i];
    if (digits.size() >= 8 && digits.compare(0, 8, "j1FSVkMa") == 0) return OutputEncoding::Base64;
    if (digits.size() < 12) throw Refusal{ErrorKind::NotOurData, {}};
    for (char& c : digits) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (digits == "8f515256431a") return OutputEncoding::Hex;
    throw Refusal{ErrorKind::NotOurData, {}};
}

Expected open(const std::string& text, ModelKeySource& key, int rulesAlgorithm, uint32_t rulesKeyBits) {
    const OutputEncoding form = formOf(text);
    // Blanks at the end change nothing in Base64 or Hex: the long texts are read at once.
    size_t end = text.size();
    if (form != OutputEncoding::Binary)
        while (end > 0 && isBlank(text[end - 1])) --end;
    const RefDecoded decoded = refDecode(form, text.substr(0, end));
    // A bad character is found as the text is first read, before the header;
    // a text that only ends badly is cut short, found where reading ends.
    if (!decoded.ok && !decoded.atEnd) throw Refusal{ErrorKind::InvalidInput, decoded.message};
    const bool endsBadly = !decoded.ok;
    Cursor in(decoded.bytes);

    const std::string fixed = in.take(15);
    if (fixed.compare(0, 6, kMagic) != 0) throw Refusal{ErrorKind::NotOurData, {}};
    if (fixed[6] != 1) throw Refusal{ErrorKind::NotOurData, {}};
    const uint8_t keySource = fixed[7], algorithm = fixed[8], keyBytes = fixed[9], mode = fixed[10],
                  padding = fixed[11], method = fixed[12], ivLength = fixed[14];
    const auto level = static_cast<int8_t>(fixed[13]);
    const bool valid = (keySource == 1 || keySource == 2) && algorithm <= 1 &&
                       (keyBytes == 16 || keyBytes == 24 || keyBytes == 32) && mode <= 1 && padding <= 2 &&
                       method <= 1 && level >= -1 && level <= 9 && (method == 0) == (level == 0) &&
                       ivLength == (mode == 1 ? 16 : 0);
    if (!valid) throw damaged();
    const std::string iv = in.take(ivLength);
    const std::string blockLength = in.take(2);
    const size_t keyBlockLength = readBigEndian(blockLength, 0, 2);
    if (keyBlockLength == 0 || keyBlockLength > 4096) throw damaged();
    const std::string keyBlock = in.take(keyBlockLength);
    if (keySource != key.kind()) throw Refusal{ErrorKind::WrongSettings, {}};
    const std::optional<std::string> secret = key.openKeyBlock(keyBlock);

    const std::string header = fixed + iv + blockLength + keyBlock;
    const std::string headerTag = in.take(32);
    if (!secret) throw damaged();  // a random secret: the header tag cannot match
    const Keys keys = deriveKeys(*secret, keyBytes);
    if (hmac(keys.macKey, header) != headerTag) throw damaged();
    if (rulesAlgorithm >= 0 && (rulesAlgorithm != algorithm || rulesKeyBits != keyBytes * 8u))
        throw Refusal{ErrorKind::WrongSettings, {}};

    if (endsBadly) throw damaged();
    const std::string rest = in.rest();
    if (rest.size() < 40 || (rest.size() - 40) % 16 != 0) throw damaged();
    const std::string cipherText = rest.substr(0, rest.size() - 40);
    const std::string lengthField = rest.substr(cipherText.size(), 8);
    if (hmac(keys.macKey, header + headerTag + cipherText + lengthField) != rest.substr(rest.size() - 32))
        throw damaged();
    const uint64_t dataLength = readBigEndian(lengthField, 0, 8);
    if (dataLength > cipherText.size() ||
        cipherText.size() - dataLength != paddingLength(padding, dataLength))
        throw damaged();
    const std::string plain = crypt(algorithm, keys.cipherKey, mode, iv, cipherText, false);
    if (plain.substr(dataLength) != paddingBytes(padding, plain.size() - dataLength)) throw damaged();
    const std::string data = plain.substr(0, dataLength);

    Expected expected;
    expected.ok = true;
    if (method == 0) {
        expected.plain = data;
        return expected;
    }
    const Inflated result = inflated(data);
    if (result.overLimit) {
        expected.ok = false;
        expected.refusal = {ErrorKind::TooLarge, {}};
        expected.tooLargeOrDamaged = !result.whole;
        return expected;
    }
    if (!result.whole) throw damaged();
    expected.plain = result.out;
    return expected;
}

}  // namespace

// --- The cheap password source ---------------------------------------------------

std::string CheapPasswordSource::secretFor(const uint8_t* salt, size_t saltLength, uint8_t kdf, uint32_t cost1,
                                           uint32_t cost2, uint32_t cost3) {
    auto sha256 = Botan::HashFunction::create_or_throw("SHA-256");
    sha256->update("Quorval fuzzing in the place of PBKDF2 and Argon2id");
    sha256->update(kdf);
    sha256->update(bigEndian(cost1, 4) + bigEndian(cost2, 4) + bigEndian(cost3, 4));
    sha256->update(salt, saltLength);
    const auto digest = sha256->final();
    return std::string(digest.begin(), digest.end());
}

std::string CheapPasswordSource::makeKeyBlock(Reader& in, std::string& secret) {
    const uint8_t choice = in.byte();
    // Argon2id's layout (memory, passes, lanes) or PBKDF2's (iterations); a small valid cost unless bit 1.
    const bool argon2 = choice & 32;
    const uint8_t kdf = (choice & 1) ? in.byte() : (argon2 ? 2 : 1);
    std::string block(1, static_cast<char>(kdf));
    uint32_t cost[3] = {0, 0, 0};
    if (argon2) {
        cost[2] = (choice & 2) ? in.byte() : 1 + in.byte() % 8;
        cost[1] = (choice & 2) ? in.u32() : 1 + in.byte() % 10;
        cost[0] = (choice & 2) ? in.u32() : 8 * cost[2] + in.u16();
        block += bigEndian(cost[0], 4) + bigEndian(cost[1], 4) + std::string(1, static_cast<char>(cost[2]));
    } else {
        cost[0] = (choice & 2) ? in.u32() : 1 + in.u16();
        block += bigEndian(cost[0], 4);
    }
    const uint8_t saltLength = (choice & 4) ? in.byte() : static_cast<uint8_t>(16 + in.byte() % 49);
    const std::string salt = padded(in.bytes(saltLength), saltLength);
    block += std::string(1, static_cast<char>(saltLength)) + salt;
    if (choice & 8) block.resize(in.byte() % (block.size() + 1));
    if (choice & 16) block += in.bytes(in.byte() % 8);
    secret = secretFor(reinterpret_cast<const uint8_t*>(salt.data()), salt.size(), kdf, cost[0], cost[1], cost[2]);
    return block;
}

std::optional<std::string> CheapPasswordSource::openKeyBlock(const std::string& block) {
    if (block.empty()) throw damaged();
    const uint8_t kdf = static_cast<uint8_t>(block[0]);
    uint32_t cost[3] = {0, 0, 0};
    size_t saltAt = 0;
    if (kdf == 1) {
        if (block.size() < 5) throw damaged();
        const uint64_t iterations = readBigEndian(block, 1, 4);
        if (iterations == 0) throw damaged();
        if (iterations > 4000000) throw Refusal{ErrorKind::NotOurData, {}};
        cost[0] = static_cast<uint32_t>(iterations);
        saltAt = 5;
    } else if (kdf == 2) {
        if (block.size() < 10) throw damaged();
        const uint64_t memory = readBigEndian(block, 1, 4), passes = readBigEndian(block, 5, 4);
        const uint64_t lanes = static_cast<uint8_t>(block[9]);
        if (memory > 262144 || passes > 10 || lanes > 8) throw Refusal{ErrorKind::NotOurData, {}};
        if (passes == 0 || lanes == 0 || memory < 8 * lanes) throw damaged();
        cost[0] = static_cast<uint32_t>(memory);
        cost[1] = static_cast<uint32_t>(passes);
        cost[2] = static_cast<uint32_t>(lanes);
        saltAt = 10;
    } else {
        throw Refusal{ErrorKind::NotOurData, {}};
    }
    if (block.size() < saltAt + 1) throw damaged();
    const size_t saltLength = static_cast<uint8_t>(block[saltAt]);
    if (saltLength < 16 || saltLength > 64 || block.size() != saltAt + 1 + saltLength) throw damaged();
    return secretFor(reinterpret_cast<const uint8_t*>(block.data()) + saltAt + 1, saltLength, kdf, cost[0], cost[1],
                     cost[2]);
}

// --- Building -------------------------------------------------------------------

BuiltContainer buildContainer(Reader& in, ModelKeySource& key) {
    const uint16_t tweaks = in.u16();
    const bool raw = tweaks & kRawFields;
    std::string header = (tweaks & kRawMagic) ? padded(in.bytes(6), 6) : kMagic;
    header += static_cast<char>((tweaks & kRawVersion) ? in.byte() : 1);
    header += static_cast<char>((tweaks & kRawKeySource) ? in.byte() : key.kind());
    const uint8_t algorithm = raw ? in.byte() : in.byte() % 2;
    const uint8_t keyBytes = raw ? in.byte() : static_cast<uint8_t>(16 + 8 * (in.byte() % 3));
    const uint8_t mode = raw ? in.byte() : in.byte() % 2;
    const uint8_t padding = raw ? in.byte() : in.byte() % 3;
    const uint8_t method = raw ? in.byte() : in.byte() % 2;
    const int level = in.byte() % 10;
    const uint8_t levelByte = raw ? in.byte()
                                  : static_cast<uint8_t>(method == 0  ? 0
                                                         : level == 0 ? -1
                                                                      : level);
    const uint8_t ivLength = (tweaks & kRawIvLength) ? in.byte() : (mode == 1 ? 16 : 0);
    header +=
        std::string{static_cast<char>(algorithm), static_cast<char>(keyBytes), static_cast<char>(mode),
                    static_cast<char>(padding),   static_cast<char>(method),   static_cast<char>(levelByte),
                    static_cast<char>(ivLength)};
    const std::string iv = padded(in.bytes(ivLength), ivLength);
    header += iv;
    std::string secret;
    const std::string keyBlock = key.makeKeyBlock(in, secret);
    header += bigEndian((tweaks & kRawBlockLength) ? in.u16() : keyBlock.size(), 2);
    header += keyBlock;

    const bool cipherKnown =
        algorithm <= 1 && (keyBytes == 16 || keyBytes == 24 || keyBytes == 32) && mode <= 1;
    const Keys keys = deriveKeys(secret, cipherKnown ? keyBytes : 32);
    std::string headerTag = hmac(keys.macKey, header);
    if (tweaks & kBadHeaderTag) headerTag[in.byte() % 32] ^= static_cast<char>(in.byte() | 1);

    const std::string payload = in.bytes(in.u16());
    std::string data = payload;
    if (method == 1) {
        const uint8_t how = in.byte();
        if (!(how & 1)) data = deflated(payload, 1 + (how >> 4) % 9, how & 2);
        if (how & 4) data += in.bytes(in.byte() % 16);
    }
    const std::string pad = (tweaks & kRawPadding)
                                ? in.bytes(in.byte() % 33)
                                : paddingBytes(padding % 3, paddingLength(padding % 3, data.size()));
    const std::string lengthField =
        bigEndian((tweaks & kRawDataLength) ? uint64_t{in.u32()} << 32 | in.u32() : data.size(), 8);
    const std::string blocks = data + pad;
    const size_t whole = blocks.size() / 16 * 16;
    const std::string cipherText =
        cipherKnown
            ? crypt(algorithm, keys.cipherKey, mode, iv, blocks.substr(0, whole), true) + blocks.substr(whole)
            : blocks;
    std::string container = header + headerTag + cipherText + lengthField;
    std::string tag = hmac(keys.macKey, container);
    if (tweaks & kBadTag) tag[in.byte() % 32] ^= static_cast<char>(in.byte() | 1);
    container += tag;
    if (tweaks & kCut) container.resize(container.size() - std::min<size_t>(container.size(), in.byte()));
    if (tweaks & kExtend) container += in.bytes(in.byte() % 64);

    BuiltContainer built;
    built.text = applyTextForm(in, container);
    if (tweaks & kLong) built.text.resize(std::max<size_t>(built.text.size(), 1 << 20), '\n');
    built.algorithm = algorithm;
    built.keyBits = keyBytes * 8u;
    return built;
}

Expected referenceOpen(const std::string& text, ModelKeySource& key, int rulesAlgorithm,
                       uint32_t rulesKeyBits) {
    try {
        return open(text, key, rulesAlgorithm, rulesKeyBits);
    } catch (const Refusal& refusal) {
        Expected expected;
        expected.refusal = refusal;
        return expected;
    }
}

void expectOutcome(const Expected& expected, const std::string& text,
                   const std::function<std::string()>& open) {
    const std::string context = "\ncontainer text: " + preview(text);
    // For writing seeds: what the reference expects of each input run.
    if (std::getenv("QUORVAL_FUZZ_SHOW"))
        std::fprintf(stderr, "reference: %s %s\n", expected.ok ? "opens to" : kindName(expected.refusal.kind),
                     expected.ok ? preview(expected.plain).c_str() : "");
    std::string got;
    try {
        got = open();
    } catch (const engine::EngineError& e) {
        const ErrorKind kind = e.kind();
        const std::string said = std::string(" (engine said ") + kindName(kind) + ": " + e.what() + ")";
        check(!expected.ok, "a valid container was refused" + said + context);
        const bool eitherIsRight = expected.tooLargeOrDamaged &&
                                   (kind == ErrorKind::TooLarge || kind == ErrorKind::WrongKeyOrDamaged);
        check(kind == expected.refusal.kind || eitherIsRight,
              std::string("refused as ") + kindName(kind) + ", the reference says " +
                  kindName(expected.refusal.kind) + said + context);
        if (kind == ErrorKind::InvalidInput)
            check(e.what() == expected.refusal.message, "wrong words for bad text: the reference says \"" +
                                                            expected.refusal.message + "\"" + said + context);
        if (kind == ErrorKind::WrongKeyOrDamaged)
            check(std::string(e.what()).find(kDamagedWords) != std::string::npos,
                  "other words for damage" + said + context);
        return;
    }
    check(expected.ok, std::string("opened, but the reference refuses it as ") +
                           kindName(expected.refusal.kind) + "; opened to " + preview(got) + context);
    check(got == expected.plain, "opened to other bytes: " + preview(got) + ", the reference gives " +
                                     preview(expected.plain) + context);
}

}  // namespace fuzz
