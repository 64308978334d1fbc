// SPDX-License-Identifier: Apache-2.0
#include "engine/container/Format.h"

#include <botan/hash.h>
#include <botan/kdf.h>
#include <botan/mem_ops.h>

namespace engine::detail {

namespace {

const char kCipherKeyLabel[] = "Quorval container 1 cipher key";
const char kMacKeyLabel[] = "Quorval container 1 MAC key";

const char* keySourceWords(KeySourceKind kind) {
    return kind == KeySourceKind::Password ? "a password" : "an RSA public key";
}

}  // namespace

size_t bufferFor(uint64_t dataSize, size_t largest) {
    const uint64_t rounded = (std::max<uint64_t>(dataSize, 1) + 47) / 48 * 48;
    return static_cast<size_t>(std::min<uint64_t>(rounded, largest));
}

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

}  // namespace engine::detail
