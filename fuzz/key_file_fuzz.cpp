// SPDX-License-Identifier: Apache-2.0
// The key-file loader through the public interface: the input is the file,
// PEM or DER, loaded both as a private and as a public key. Each load either
// gives a key object or a KeyFile failure naming the file (docs/key-files.md);
// a file may not load as both kinds; a loaded private key signs what its
// public half verifies and decrypts what it encrypts; a loaded public key
// encrypts and verifies without failing. OpenSSL reads the same bytes in the
// same forms: a valid two-prime RSA key of the sizes we take that it reads
// must load, and a size we name must be the one it reads.

#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <regex>

#include "fuzz/FuzzSupport.h"

using namespace fuzz;
using engine::EngineAsymKey;
using engine::KeyKind;

namespace {

const std::string kPrivateAsPublic = "holds a private key, not a public key.";
const std::string kPublicAsPrivate = "holds a public key, not a private key.";
const std::string kMoreThanOneKey = "holds more than one key; save each key to a file of its own.";

// docs/key-files.md: one key a file; a second PEM block of a key refuses it.
// Loosely here: a second BEGIN line of any label.
bool twoPemBlocks(const std::string& bytes) {
    const size_t first = bytes.find("-----BEGIN ");
    return first != std::string::npos && bytes.find("-----BEGIN ", first + 1) != std::string::npos;
}

struct Load {
    std::shared_ptr<EngineAsymKey> key;
    std::string refusal;
};

// What OpenSSL reads in the file, in the forms of docs/key-files.md: the first
// PEM block, or DER tried as PKCS#8, SubjectPublicKeyInfo, PKCS#1 private and public.
struct TheirKey {
    bool isPrivate = false;
    int bits = 0;
    // A plain RSA key of two primes, of the sizes we take, the whole input.
    bool plausible = false;
    std::shared_ptr<EVP_PKEY> key;

    // OpenSSL's own checks (for a private key, the primes and the exponents too):
    // slow, so asked only when we refuse the key.
    bool passesChecks() const {
        std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(
            EVP_PKEY_CTX_new(key.get(), nullptr), EVP_PKEY_CTX_free);
        return isPrivate ? EVP_PKEY_check(context.get()) == 1 : EVP_PKEY_public_check(context.get()) == 1;
    }
};

std::optional<TheirKey> opensslReads(const std::string& bytes) {
    std::string der;
    enum Form { Any, Pkcs8, Spki, Pkcs1Private, Pkcs1Public } only = Any;
    const size_t begin = bytes.find("-----BEGIN ");
    if (begin != std::string::npos) {
        std::unique_ptr<BIO, decltype(&BIO_free)> bio(
            BIO_new_mem_buf(bytes.data() + begin, static_cast<int>(bytes.size() - begin)), BIO_free);
        char* name = nullptr;
        char* header = nullptr;
        unsigned char* data = nullptr;
        long length = 0;
        if (PEM_read_bio(bio.get(), &name, &header, &data, &length) != 1) return std::nullopt;
        const std::string label = name, headers = header;
        der.assign(reinterpret_cast<char*>(data), static_cast<size_t>(length));
        OPENSSL_free(name);
        OPENSSL_free(header);
        OPENSSL_free(data);
        if (!headers.empty()) return std::nullopt;  // encrypted, or headers we do not read
        // OpenSSL's PEM reader passes over much that ours calls damaged: control
        // bytes in the body or after the dashes, a label cut at a NUL, text after
        // the padding. Only a block written as it should be is compared: BEGIN
        // and END lines of its label, and the Base64 of its bytes with blanks.
        const std::string beginLine = "-----BEGIN " + label + "-----";
        const std::string endLine = "-----END " + label + "-----";
        const size_t body = bytes.find('\n', begin);
        const size_t end = bytes.find(endLine, begin);
        if (bytes.compare(begin, beginLine.size(), beginLine) != 0 || body == std::string::npos ||
            end == std::string::npos || end < body)
            return std::nullopt;
        for (size_t i = begin + beginLine.size(); i < body; ++i)
            if (!isBlank(bytes[i])) return std::nullopt;
        if (withoutBlanks(bytes.substr(body, end - body)) != refEncode(OutputEncoding::Base64, der))
            return std::nullopt;
        if (label == "PRIVATE KEY")
            only = Pkcs8;
        else if (label == "PUBLIC KEY")
            only = Spki;
        else if (label == "RSA PRIVATE KEY")
            only = Pkcs1Private;
        else if (label == "RSA PUBLIC KEY")
            only = Pkcs1Public;
        else
            return std::nullopt;
    } else {
        der = bytes;
    }
    const auto* start = reinterpret_cast<const unsigned char*>(der.data());
    const long length = static_cast<long>(der.size());
    for (Form form : {Pkcs8, Spki, Pkcs1Private, Pkcs1Public}) {
        if (only != Any && form != only) continue;
        const unsigned char* at = start;
        EVP_PKEY* key = nullptr;
        if (form == Pkcs8) {
            if (PKCS8_PRIV_KEY_INFO* info = d2i_PKCS8_PRIV_KEY_INFO(nullptr, &at, length)) {
                key = EVP_PKCS82PKEY(info);
                PKCS8_PRIV_KEY_INFO_free(info);
            }
        } else if (form == Spki) {
            key = d2i_PUBKEY(nullptr, &at, length);
        } else if (form == Pkcs1Private) {
            key = d2i_PrivateKey(EVP_PKEY_RSA, nullptr, &at, length);
        } else {
            key = d2i_PublicKey(EVP_PKEY_RSA, nullptr, &at, length);
        }
        if (!key) continue;
        std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> owned(key, EVP_PKEY_free);
        TheirKey theirs;
        theirs.isPrivate = form == Pkcs8 || form == Pkcs1Private;
        theirs.bits = EVP_PKEY_get_bits(key);
        BIGNUM* exponent = nullptr;
        BIGNUM* thirdPrime = nullptr;
        const bool twoPrimes = !EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_FACTOR3, &thirdPrime);
        const bool smallExponent =
            EVP_PKEY_get_bn_param(key, OSSL_PKEY_PARAM_RSA_E, &exponent) && BN_num_bits(exponent) <= 64;
        BN_free(exponent);
        BN_free(thirdPrime);
        // Only what OpenSSL writes back byte for byte: it reads some encodings
        // more loosely than DER allows (a negative INTEGER as a positive number).
        unsigned char* written = nullptr;
        int writtenLength = -1;
        if (form == Pkcs8) {
            if (PKCS8_PRIV_KEY_INFO* info = EVP_PKEY2PKCS8(key)) {
                writtenLength = i2d_PKCS8_PRIV_KEY_INFO(info, &written);
                PKCS8_PRIV_KEY_INFO_free(info);
            }
        } else if (form == Spki) {
            writtenLength = i2d_PUBKEY(key, &written);
        } else if (form == Pkcs1Private) {
            writtenLength = i2d_PrivateKey(key, &written);
        } else {
            writtenLength = i2d_PublicKey(key, &written);
        }
        const bool canonical = writtenLength > 0 && der == std::string(reinterpret_cast<char*>(written),
                                                                       static_cast<size_t>(writtenLength));
        OPENSSL_free(written);
        // It also takes any version of a private key, where only 0 means two primes.
        bool versionZero = true;
        if (theirs.isPrivate) {
            unsigned char* pkcs1 = nullptr;
            const int pkcs1Length = i2d_PrivateKey(key, &pkcs1);
            const std::string text = pkcs1Length > 0 ? std::string(reinterpret_cast<char*>(pkcs1),
                                                                   static_cast<size_t>(pkcs1Length))
                                                     : std::string();
            OPENSSL_free(pkcs1);
            const size_t header = text.size() > 1 && (text[1] & 0x80) ? 2 + (text[1] & 0x7F) : 2;
            versionZero = text.compare(header, 3, std::string("\x02\x01\x00", 3)) == 0;
        }
        theirs.plausible = EVP_PKEY_get_base_id(key) == EVP_PKEY_RSA && twoPrimes && smallExponent &&
                           versionZero && theirs.bits >= 512 && theirs.bits <= 16384 &&
                           at == start + length && canonical;
        theirs.key = std::shared_ptr<EVP_PKEY>(owned.release(), EVP_PKEY_free);
        return theirs;
    }
    return std::nullopt;
}

Load load(engine::EngineRoot& root, const std::string& path, KeyKind kind, const std::string& bytes) {
    Load result;
    try {
        result.key = root.LoadKey(path, kind, engine::EncryptionSchema::Oaep);
    } catch (const engine::EngineError& e) {
        result.refusal = e.what();
        const std::string said =
            std::string(" (") + kindName(e.kind()) + ": " + e.what() + ")\nfile: " + preview(bytes);
        check(e.kind() == ErrorKind::KeyFile, "a key file refused with another kind" + said);
        check(result.refusal.rfind("The file \"" + path + "\" ", 0) == 0,
              "a refusal that does not name the file" + said);
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto root = engine::CreateEngineRoot();
    static const std::string path = scratchFile("key");
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    writeFile(path, bytes);
    const Load asPrivate = load(*root, path, KeyKind::PrivateKey, bytes);
    const Load asPublic = load(*root, path, KeyKind::PublicKey, bytes);
    const std::string context = "\nfile: " + preview(bytes);
    check(!(asPrivate.key && asPublic.key), "the file loads as a private and as a public key" + context);
    if (asPrivate.key)
        check(asPublic.refusal.find(kPrivateAsPublic) != std::string::npos,
              "a private key loaded as public: \"" + asPublic.refusal + "\"" + context);
    if (asPublic.key)
        check(asPrivate.refusal.find(kPublicAsPrivate) != std::string::npos,
              "a public key loaded as private: \"" + asPrivate.refusal + "\"" + context);

    const std::optional<TheirKey> theirs = opensslReads(bytes);
    if (std::getenv("QUORVAL_FUZZ_SHOW"))
        std::fprintf(stderr, "OpenSSL: %s\n",
                     !theirs ? "reads no key"
                     : theirs->plausible
                         ? (theirs->isPrivate ? "a private key to check" : "a public key to check")
                         : "a key we need not take");
    static const std::regex sizeWords("holds an? ([0-9]+)-bit RSA key");
    for (const Load* attempt : {&asPrivate, &asPublic}) {
        std::smatch size;
        if (theirs && std::regex_search(attempt->refusal, size, sizeWords))
            check(std::stoi(size[1]) == theirs->bits, "\"" + attempt->refusal + "\", but OpenSSL reads a " +
                                                          std::to_string(theirs->bits) + "-bit key" +
                                                          context);
    }
    const bool twoBlocks = twoPemBlocks(bytes);
    for (const Load* attempt : {&asPrivate, &asPublic})
        if (attempt->refusal.find(kMoreThanOneKey) != std::string::npos)
            check(twoBlocks, "\"" + attempt->refusal + "\" for a file of one PEM block" + context);
    const Load* sameKind = theirs ? (theirs->isPrivate ? &asPrivate : &asPublic) : nullptr;
    // OpenSSL reads the first block only: a second key is ours to refuse.
    const bool refusedAsTwoKeys =
        sameKind && twoBlocks && sameKind->refusal.find(kMoreThanOneKey) != std::string::npos;
    if (theirs && theirs->plausible && !sameKind->key && !refusedAsTwoKeys) {
        check(!theirs->passesChecks(), "OpenSSL reads a valid " + std::to_string(theirs->bits) + "-bit " +
                                           (theirs->isPrivate ? "private" : "public") +
                                           " key, we refuse it: \"" + sameKind->refusal + "\"" + context);
    }

    const std::string probe = "Quorval probe";
    if (asPrivate.key) {
        EngineAsymKey& key = *asPrivate.key;
        check(key.VerifyText(probe, key.SignText(probe)),
              "a loaded private key's signature does not verify" + context);
        check(key.DecryptText(key.EncryptText(probe)) == probe,
              "a loaded private key does not decrypt" + context);
    }
    if (asPublic.key) {
        EngineAsymKey& key = *asPublic.key;
        check(!key.VerifyText(probe, std::string(64, 'x')), "a made-up signature verifies" + context);
        check(!key.EncryptText(probe).empty(), "a loaded public key encrypts to nothing" + context);
    }
    return 0;
}
