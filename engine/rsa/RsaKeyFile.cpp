// SPDX-License-Identifier: Apache-2.0
// RSA key files: SaveToFile and the root's LoadKey.
//
// Written: PKCS#8 PEM (unencrypted) for a private key, X.509
// SubjectPublicKeyInfo PEM for a public key. Read: those, their DER forms,
// and PKCS#1 ("RSA PRIVATE KEY", "RSA PUBLIC KEY") in PEM or DER, one key a
// file. The sizes and the parity of a key's numbers are read from the
// encoding before the key is built. A private key is used only once its
// numbers prove consistent: e·d ≡ 1 (mod λ(n)), and a signature made with it
// verifies.

#include <botan/asn1_obj.h>
#include <botan/auto_rng.h>
#include <botan/base64.h>
#include <botan/ber_dec.h>
#include <botan/data_src.h>
#include <botan/numthry.h>
#include <botan/pk_keys.h>
#include <botan/pkcs8.h>
#include <botan/pubkey.h>
#include <botan/rsa.h>
#include <botan/x509_key.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/core/Secret.h"
#include "engine/io/Files.h"
#include "engine/rsa/Rsa.h"
#include "engine/rsa/RsaKey.h"

namespace engine::detail {

namespace {

// Key files are a few kilobytes; anything far larger is not one.
constexpr uint64_t kMaxKeyFileSize = 1u << 20;
// Real PEM labels are short ("ENCRYPTED PRIVATE KEY" is among the longest).
constexpr size_t kMaxLabelLength = 64;
// Characters of a file's own label that a message repeats.
constexpr size_t kLabelExcerpt = 32;
// Real keys use 65537; a long exponent only makes every public operation slow.
constexpr size_t kMaxExponentBits = 64;

// Text that may hold a private key, wiped when it goes out of scope on any path.
struct ScrubbedText {
    ScrubbedText() = default;
    explicit ScrubbedText(std::string text) : value(std::move(text)) {}
    ScrubbedText(const ScrubbedText&) = delete;
    ScrubbedText& operator=(const ScrubbedText&) = delete;
    ~ScrubbedText() { scrubMemory(&value[0], value.size()); }
    std::string value;
};

EngineError keyFileError(const std::string& path, const std::string& what) {
    return EngineError(ErrorKind::KeyFile, "The file " + quotedPath(path) + " " + what);
}

EngineError notAKeyFile(const std::string& path) { return keyFileError(path, "is not a key file."); }

EngineError damagedKeyFile(const std::string& path) {
    return keyFileError(path, "is a damaged or truncated key file.");
}

EngineError passwordProtected(const std::string& path) {
    return keyFileError(path, "is a password-protected key file, which is not supported.");
}

EngineError inconsistentKey(const std::string& path) {
    return keyFileError(path, "holds an invalid RSA private key (its numbers do not fit together).");
}

// At most kLabelExcerpt characters of a label, printable ASCII only: line
// breaks and tabs as \n, \r, \t, any other byte as \xHH, "…" where it is cut.
std::string labelExcerpt(const std::string& label) {
    std::string out;
    for (const char c : label) {
        const auto byte = static_cast<unsigned char>(c);
        std::string shown;
        if (byte >= 0x20 && byte < 0x7F) {
            shown = std::string(1, c);
        } else if (c == '\n' || c == '\r' || c == '\t') {
            shown = c == '\n' ? "\\n" : c == '\r' ? "\\r" : "\\t";
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", byte);
            shown = hex;
        }
        if (out.size() + shown.size() > kLabelExcerpt) return out + "…";
        out += shown;
    }
    return out;
}

// --- The structure of DER keys ----------------------------------------------------

enum class DerForm { PrivateKeyInfo, EncryptedPrivateKeyInfo, SubjectPublicKeyInfo, Other };

struct DerShape {
    DerForm form = DerForm::Other;
    Botan::OID algorithm;
    // The key inside: PrivateKeyInfo's privateKey, SubjectPublicKeyInfo's
    // subjectPublicKey (the BIT STRING less its unused-bits byte).
    Botan::secure_vector<uint8_t> key;
};

bool startsWith(const Botan::OID& oid, const std::vector<uint32_t>& prefix) {
    const std::vector<uint32_t>& components = oid.get_components();
    return components.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), components.begin());
}

// Password-based encryption: PKCS#5 (PBES1, PBES2) and PKCS#12.
bool isPasswordEncryption(const Botan::OID& oid) {
    return startsWith(oid, {1, 2, 840, 113549, 1, 5}) || startsWith(oid, {1, 2, 840, 113549, 1, 12, 1});
}

// Tells the key structures apart by their layout alone, before any key is
// built from them: PrivateKeyInfo is (version, algorithm, key), its encrypted
// form (encryption algorithm, encrypted key), SubjectPublicKeyInfo
// (algorithm, key bits).
DerShape shapeOf(const Botan::secure_vector<uint8_t>& der) {
    try {
        Botan::BER_Decoder outer(der);
        Botan::BER_Decoder sequence = outer.start_cons(Botan::SEQUENCE);
        Botan::BER_Object first = sequence.get_next_object();
        const bool versioned = first.is_a(Botan::INTEGER, Botan::UNIVERSAL);
        if (!versioned) sequence.push_back(std::move(first));
        Botan::AlgorithmIdentifier algorithm;
        sequence.decode(algorithm);
        if (versioned) {
            DerShape shape{DerForm::PrivateKeyInfo, algorithm.get_oid(), {}};
            sequence.decode(shape.key, Botan::OCTET_STRING);
            return shape;
        }
        const Botan::BER_Object second = sequence.get_next_object();
        if (second.is_a(Botan::OCTET_STRING, Botan::UNIVERSAL) && isPasswordEncryption(algorithm.get_oid()))
            return {DerForm::EncryptedPrivateKeyInfo, algorithm.get_oid(), {}};
        // The first byte counts the unused bits, as the library reads it.
        if (second.is_a(Botan::BIT_STRING, Botan::UNIVERSAL) && second.length() > 0 && second.bits()[0] < 8)
            return {DerForm::SubjectPublicKeyInfo, algorithm.get_oid(),
                    Botan::secure_vector<uint8_t>(second.bits() + 1, second.bits() + second.length())};
    } catch (const Botan::Exception&) {
    }
    return DerShape();
}

// --- The sizes of a key's numbers, read before any number is built ------------------
//
// Building a key sets up arithmetic modulo its numbers, which takes minutes
// for a modulus of a few million bits: the sizes are read from the encoding
// first, and a key the program does not take is refused at once.

// The bits of an INTEGER's value, leading zero bytes ignored.
size_t integerBits(const Botan::BER_Object& integer) {
    const uint8_t* bytes = integer.bits();
    size_t length = integer.length();
    while (length > 0 && *bytes == 0) {
        ++bytes;
        --length;
    }
    if (length == 0) return 0;
    size_t bits = 8 * (length - 1);
    for (uint8_t top = bytes[0]; top != 0; top >>= 1) ++bits;
    return bits;
}

// What the encoding of a PKCS#1 key tells before any number is built.
struct RsaNumbers {
    // n, e for an RSAPublicKey; n, e, d, p, q, dp, dq, qinv for an RSAPrivateKey.
    std::vector<size_t> sizes;
    // A private key of version 1 with its otherPrimeInfos: made of more than
    // two primes, which the library cannot use.
    bool morePrimes = false;
    // An RSA modulus is a product of odd primes, and its public exponent is
    // odd so that it can have an inverse.
    bool evenModulus = false;
    bool evenExponent = false;
};

// Zero included.
bool isEven(const Botan::BER_Object& integer) {
    return integer.length() == 0 || (integer.bits()[integer.length() - 1] & 1) == 0;
}

// The sizes of the numbers of a PKCS#1 RSAPublicKey (n, e) or RSAPrivateKey
// (n, e, d, p, q, dp, dq, qinv, after the version); nullopt when the bytes
// are not of that form, which the library would refuse as well.
std::optional<RsaNumbers> rsaNumbers(const uint8_t* der, size_t length, bool isPrivate) {
    try {
        Botan::BER_Decoder outer(der, length);
        Botan::BER_Decoder sequence = outer.start_cons(Botan::SEQUENCE);
        RsaNumbers numbers;
        bool multiPrimeVersion = false;
        if (isPrivate) {
            const Botan::BER_Object version = sequence.get_next_object();
            if (!version.is_a(Botan::INTEGER, Botan::UNIVERSAL)) return std::nullopt;
            multiPrimeVersion = version.length() == 1 && version.bits()[0] == 1;
        }
        for (size_t i = 0; i < (isPrivate ? 8 : 2); ++i) {
            const Botan::BER_Object number = sequence.get_next_object();
            if (!number.is_a(Botan::INTEGER, Botan::UNIVERSAL)) return std::nullopt;
            numbers.sizes.push_back(integerBits(number));
            if (i == 0) numbers.evenModulus = isEven(number);
            if (i == 1) numbers.evenExponent = isEven(number);
        }
        // A public key is n and e alone: a private key the library refused is not read as one.
        if (!isPrivate && sequence.more_items()) return std::nullopt;
        if (multiPrimeVersion)
            numbers.morePrimes = sequence.get_next_object().is_a(Botan::SEQUENCE, Botan::CONSTRUCTED);
        return numbers;
    } catch (const Botan::Exception&) {
        return std::nullopt;
    }
}

// True when `der` is a PKCS#1 key of the program's sizes; false when it is not
// PKCS#1 of that kind at all; throws for one the program does not take.
bool checkRsaNumbers(const std::string& path, const Botan::secure_vector<uint8_t>& der, bool isPrivate) {
    const std::optional<RsaNumbers> numbers = rsaNumbers(der.data(), der.size(), isPrivate);
    if (!numbers) return false;
    if (numbers->morePrimes)
        throw keyFileError(path, "holds an RSA key made of more than two primes, which is not supported.");
    const std::vector<size_t>& sizes = numbers->sizes;
    const size_t modulusBits = sizes[0];
    if (modulusBits < kMinRsaBits || modulusBits > kMaxRsaBits)
        throw keyFileError(path, "holds a " + std::to_string(modulusBits) + "-bit RSA key; keys from " +
                                     std::to_string(kMinRsaBits) + " to " + std::to_string(kMaxRsaBits) +
                                     " bits can be used.");
    const size_t exponentBits = sizes[1];
    if (exponentBits > kMaxExponentBits)
        throw keyFileError(path, "holds an RSA key with a " + std::to_string(exponentBits) +
                                     "-bit public exponent; exponents of up to " +
                                     std::to_string(kMaxExponentBits) + " bits can be used.");
    // The library refuses to build such a key at all: what is wrong is said here.
    const std::string invalid =
        std::string("holds an invalid RSA ") + (isPrivate ? "private" : "public") + " key ";
    if (numbers->evenModulus) throw keyFileError(path, invalid + "(its modulus is even).");
    if (numbers->evenExponent) throw keyFileError(path, invalid + "(its public exponent is even).");
    // A private key's other numbers are all below its modulus.
    for (size_t i = 2; i < sizes.size(); ++i)
        if (sizes[i] > modulusBits) throw inconsistentKey(path);
    return true;
}

// Our names for the kinds of key a user may meet.
std::string kindName(const Botan::OID& oid) {
    const std::pair<const char*, const char*> known[] = {
        {"1.2.840.113549.1.1.10", "RSA-PSS"}, {"1.2.840.10045.2.1", "EC"},   {"1.2.840.10040.4.1", "DSA"},
        {"1.2.840.113549.1.3.1", "DH"},       {"1.2.840.10046.2.1", "DH"},   {"1.3.101.110", "X25519"},
        {"1.3.101.111", "X448"},              {"1.3.101.112", "Ed25519"},    {"1.3.101.113", "Ed448"},
    };
    const std::string dotted = oid.to_string();
    for (const auto& [id, name] : known)
        if (dotted == id) return name;
    return "algorithm " + dotted;
}

// Only plain RSA keys: RSA-PSS keys (restricted to one signature scheme) and
// other algorithms are refused by their algorithm identifier.
void checkAlgorithm(const std::string& path, const Botan::OID& oid) {
    if (oid == Botan::OID("1.2.840.113549.1.1.1")) return;
    throw keyFileError(path, "holds a key of an unsupported kind (" + kindName(oid) +
                                 "); only RSA keys can be used.");
}

// What a key file held, before its kind and algorithm are checked.
struct LoadedKey {
    std::unique_ptr<Botan::Private_Key> privateKey;
    std::unique_ptr<Botan::Public_Key> publicKey;
};

Botan::AlgorithmIdentifier rsaAlgorithm() {
    return Botan::AlgorithmIdentifier("RSA", Botan::AlgorithmIdentifier::USE_NULL_PARAM);
}

// Each parser returns an empty LoadedKey when the bytes are not of its form,
// and throws for a form it knows but cannot use.
LoadedKey parsePkcs8(const std::string& path, const Botan::secure_vector<uint8_t>& der) {
    const DerShape shape = shapeOf(der);
    if (shape.form == DerForm::EncryptedPrivateKeyInfo) throw passwordProtected(path);
    if (shape.form != DerForm::PrivateKeyInfo) return {};
    checkAlgorithm(path, shape.algorithm);
    LoadedKey key;
    if (!checkRsaNumbers(path, shape.key, true)) return key;
    try {
        Botan::DataSource_Memory source(der);
        key.privateKey = Botan::PKCS8::load_key(source);
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parseSubjectPublicKeyInfo(const std::string& path, const Botan::secure_vector<uint8_t>& der) {
    const DerShape shape = shapeOf(der);
    if (shape.form != DerForm::SubjectPublicKeyInfo) return {};
    checkAlgorithm(path, shape.algorithm);
    LoadedKey key;
    if (!checkRsaNumbers(path, shape.key, false)) return key;
    try {
        key.publicKey.reset(Botan::X509::load_key(std::vector<uint8_t>(der.begin(), der.end())));
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parsePkcs1Private(const std::string& path, const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
    if (!checkRsaNumbers(path, der, true)) return key;
    try {
        key.privateKey = std::make_unique<Botan::RSA_PrivateKey>(rsaAlgorithm(), der);
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parsePkcs1Public(const std::string& path, const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
    if (!checkRsaNumbers(path, der, false)) return key;
    try {
        key.publicKey = std::make_unique<Botan::RSA_PublicKey>(rsaAlgorithm(),
                                                               std::vector<uint8_t>(der.begin(), der.end()));
    } catch (const Botan::Exception&) {
    }
    return key;
}

bool holdsKey(const LoadedKey& key) { return key.privateKey || key.publicKey; }

LoadedKey parsePem(const std::string& path, const std::string& text, size_t begin) {
    // The label as written, so that a damaged body can still be named.
    const size_t labelStart = begin + 11;  // after "-----BEGIN "
    const size_t labelEnd = text.find("-----", labelStart);
    const std::string label =
        labelEnd == std::string::npos ? std::string() : text.substr(labelStart, labelEnd - labelStart);

    LoadedKey (*parser)(const std::string&, const Botan::secure_vector<uint8_t>&) = nullptr;
    if (label == "PRIVATE KEY")
        parser = parsePkcs8;
    else if (label == "PUBLIC KEY")
        parser = parseSubjectPublicKeyInfo;
    else if (label == "RSA PRIVATE KEY")
        parser = parsePkcs1Private;
    else if (label == "RSA PUBLIC KEY")
        parser = parsePkcs1Public;
    else if (label == "ENCRYPTED PRIVATE KEY")
        throw passwordProtected(path);
    else if (label.empty() || label.size() > kMaxLabelLength)
        throw damagedKeyFile(path);
    else
        throw keyFileError(path, "holds a PEM block labelled " + labelExcerpt(label) + ", not an RSA key.");

    if (text.find("Proc-Type: 4,ENCRYPTED", labelEnd) != std::string::npos) throw passwordProtected(path);

    // The body is decoded in place, up to its END line. The library's PEM
    // reader gathers the body in a string first and frees it unwiped, once
    // each time the string grows: copies of a private key's text.
    const size_t bodyStart = labelEnd + 5;
    const size_t bodyEnd = text.find("-----END " + label + "-----", bodyStart);
    if (bodyEnd == std::string::npos) throw damagedKeyFile(path);
    Botan::secure_vector<uint8_t> der;
    try {
        der = Botan::base64_decode(text.data() + bodyStart, bodyEnd - bodyStart, true);
    } catch (const Botan::Exception&) {
        throw damagedKeyFile(path);
    }
    LoadedKey key = parser(path, der);
    if (!holdsKey(key)) throw damagedKeyFile(path);
    return key;
}

LoadedKey parseDer(const std::string& path, const std::string& bytes) {
    const Botan::secure_vector<uint8_t> der(bytes.begin(), bytes.end());
    for (auto parser : {parsePkcs8, parseSubjectPublicKeyInfo, parsePkcs1Private, parsePkcs1Public}) {
        LoadedKey key = parser(path, der);
        if (holdsKey(key)) return key;
    }
    // Every DER key starts with a SEQUENCE: such a file is most likely a damaged key.
    if (!bytes.empty() && static_cast<uint8_t>(bytes[0]) == 0x30) throw damagedKeyFile(path);
    throw notAKeyFile(path);
}

// PEM blocks of keys: BEGIN lines whose label, on one line, ends in "KEY"
// ("PRIVATE KEY", "RSA PUBLIC KEY", "EC PRIVATE KEY", "ENCRYPTED PRIVATE KEY"...).
size_t pemKeyBlocks(const std::string& text) {
    static const std::string kBegin = "-----BEGIN ";
    size_t count = 0;
    for (size_t at = text.find(kBegin); at != std::string::npos; at = text.find(kBegin, at + kBegin.size())) {
        const size_t labelStart = at + kBegin.size();
        const size_t labelEnd = text.find("-----", labelStart);
        if (labelEnd == std::string::npos) break;
        const std::string label = text.substr(labelStart, labelEnd - labelStart);
        if (label.size() >= 3 && label.size() <= kMaxLabelLength &&
            label.find_first_of("\r\n") == std::string::npos &&
            label.compare(label.size() - 3, 3, "KEY") == 0)
            ++count;
    }
    return count;
}

LoadedKey parseKeyFile(const std::string& path, const std::string& bytes) {
    if (bytes.empty()) throw keyFileError(path, "is empty: it is not a key file.");
    const size_t begin = bytes.find("-----BEGIN ");
    // Taking one of them would be a guess at which key the user meant.
    if (begin != std::string::npos && pemKeyBlocks(bytes) > 1)
        throw keyFileError(path, "holds more than one key; save each key to a file of its own.");
    if (begin != std::string::npos) return parsePem(path, bytes, begin);
    return parseDer(path, bytes);
}

// Into the caller's `bytes`, which it wipes.
void readKeyFile(const std::string& path, std::string& bytes) {
    InputFile file(path);
    if (file.size() > kMaxKeyFileSize) throw notAKeyFile(path);
    bytes.assign(static_cast<size_t>(file.size()), '\0');
    const size_t got = file.read(reinterpret_cast<uint8_t*>(&bytes[0]), bytes.size());
    bytes.resize(got);
}

// The sizes were checked in the encoding (checkRsaNumbers) before the key was built.
void checkRsaKey(const std::string& path, const Botan::Public_Key& key, bool isPrivate) {
    if (key.algo_name() != "RSA")
        throw keyFileError(path, "holds a key of type " + key.algo_name() + "; only RSA keys can be used.");
    Botan::AutoSeeded_RNG rng;
    // The library's cheap checks: p * q = n, p and q prime, the CRT values.
    if (!key.check_key(rng, false))
        throw keyFileError(path, std::string("holds an invalid RSA ") + (isPrivate ? "private" : "public") +
                                     " key (its numbers do not fit together).");
}

// What the library's cheap checks leave out: a key whose exponents do not
// match would encrypt data it can never decrypt, and fail every signature.
void checkPrivateKeyWorks(const std::string& path, const Botan::RSA_PrivateKey& key) {
    const Botan::BigInt lambda = Botan::lcm(key.get_p() - 1, key.get_q() - 1);
    if ((key.get_e() * key.get_d()) % lambda != 1) throw inconsistentKey(path);
    bool works = false;
    try {
        Botan::AutoSeeded_RNG rng;
        const std::string message = "Quorval key self-check";
        Botan::PK_Signer signer(key, rng, kRsaSignatureScheme);
        const std::vector<uint8_t> signature =
            signer.sign_message(reinterpret_cast<const uint8_t*>(message.data()), message.size(), rng);
        Botan::PK_Verifier verifier(key, kRsaSignatureScheme);
        works = verifier.verify_message(reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                                        signature.data(), signature.size());
    } catch (const Botan::Exception&) {
    }
    if (!works) throw inconsistentKey(path);
}

}  // namespace

void saveRsaKey(const EngineContext& context, int32_t hashCode, const Botan::RSA_PublicKey& publicKey,
                const Botan::RSA_PrivateKey* privateKey, const std::string& path) {
    Progress progress(context.hub, hashCode, 1);
    progress.begin();
    const ScrubbedText pem(translateErrors("Saving the key to " + quotedPath(path), [&] {
        return privateKey ? Botan::PKCS8::PEM_encode(*privateKey) : Botan::X509::PEM_encode(publicKey);
    }));
    // A private key is readable by its owner only, from the moment it exists.
    AtomicOutputFile output(path, privateKey ? 0600 : 0666);
    output.write(pem.value);
    progress.finish();
    output.commit();
}

std::shared_ptr<EngineAsymKey> LoadRsaKey(const EngineContext& context, const Text& fileName, KeyKind keyKind,
                                          EncryptionSchema schema) {
    if (keyKind != KeyKind::PrivateKey && keyKind != KeyKind::PublicKey)
        throw EngineError(ErrorKind::InvalidInput,
                          "Key kind " + std::to_string(static_cast<int32_t>(keyKind)) +
                              " cannot be loaded: use 3 (private key) or 4 (public key).");
    const RsaSchema rsaSchema = rsaSchemaOf(schema);
    const int32_t hashCode = newHashCode();
    Progress progress(context.hub, hashCode, 1);
    progress.begin();
    // Botan's key parsing leaves pieces of the key's DER in stack frames it
    // returned from; wiped on every path.
    struct StackScrub {
        ~StackScrub() { scrubStackBelow(); }
    } scrub;

    std::shared_ptr<EngineAsymKey> result =
        translateErrors("Loading the key from " + quotedPath(fileName), [&]() -> std::shared_ptr<EngineAsymKey> {
            ScrubbedText bytes;
            readKeyFile(fileName, bytes.value);
            LoadedKey loaded = parseKeyFile(fileName, bytes.value);
            if (keyKind == KeyKind::PrivateKey) {
                if (!loaded.privateKey) {
                    checkRsaKey(fileName, *loaded.publicKey, false);
                    throw keyFileError(fileName, "holds a public key, not a private key.");
                }
                checkRsaKey(fileName, *loaded.privateKey, true);
                auto* rsa = dynamic_cast<Botan::RSA_PrivateKey*>(loaded.privateKey.get());
                if (!rsa) throw notAKeyFile(fileName);
                checkPrivateKeyWorks(fileName, *rsa);
                loaded.privateKey.release();
                std::shared_ptr<const Botan::RSA_PrivateKey> key(rsa);
                return std::make_shared<RsaKeyObject>(context, hashCode, key, key, rsaSchema);
            }
            // The kind is the user's statement about the file: a private key
            // offered as a public one is more likely a mix-up than a shortcut.
            if (!loaded.publicKey) {
                checkRsaKey(fileName, *loaded.privateKey, true);
                throw keyFileError(fileName, "holds a private key, not a public key.");
            }
            checkRsaKey(fileName, *loaded.publicKey, false);
            auto* rsa = dynamic_cast<Botan::RSA_PublicKey*>(loaded.publicKey.get());
            if (!rsa) throw notAKeyFile(fileName);
            loaded.publicKey.release();
            std::shared_ptr<const Botan::RSA_PublicKey> key(rsa);
            return std::make_shared<RsaKeyObject>(context, hashCode, key, nullptr, rsaSchema);
        });
    progress.finish();
    return result;
}

}  // namespace engine::detail
