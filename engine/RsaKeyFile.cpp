// RSA key files: SaveToFile and the root's LoadKey.
//
// Written: PKCS#8 PEM (unencrypted) for a private key, X.509
// SubjectPublicKeyInfo PEM for a public key. Read: those, their DER forms,
// and PKCS#1 ("RSA PRIVATE KEY", "RSA PUBLIC KEY") in PEM or DER.

#include <botan/asn1_obj.h>
#include <botan/auto_rng.h>
#include <botan/data_src.h>
#include <botan/pem.h>
#include <botan/pk_keys.h>
#include <botan/pkcs8.h>
#include <botan/rsa.h>
#include <botan/x509_key.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/Errors.h"
#include "engine/Files.h"
#include "engine/Progress.h"
#include "engine/Rsa.h"
#include "engine/RsaKey.h"
#include "engine/Secret.h"

namespace engine::detail {

namespace {

// Key files are a few kilobytes; anything far larger is not one.
constexpr uint64_t kMaxKeyFileSize = 1u << 20;
// Real PEM labels are short ("ENCRYPTED PRIVATE KEY" is among the longest).
constexpr size_t kMaxLabelLength = 64;

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

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
    return EngineError(ErrorKind::KeyFile, "The file " + quoted(path) + " " + what);
}

EngineError notAKeyFile(const std::string& path) { return keyFileError(path, "is not a key file."); }

EngineError damagedKeyFile(const std::string& path) {
    return keyFileError(path, "is a damaged or truncated key file.");
}

// What a key file held, before its kind and algorithm are checked.
struct LoadedKey {
    std::unique_ptr<Botan::Private_Key> privateKey;
    std::unique_ptr<Botan::Public_Key> publicKey;
};

Botan::AlgorithmIdentifier rsaAlgorithm() {
    return Botan::AlgorithmIdentifier("RSA", Botan::AlgorithmIdentifier::USE_NULL_PARAM);
}

// Each parser returns an empty LoadedKey when the bytes are not of its form.
LoadedKey parsePkcs8(const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
    try {
        Botan::DataSource_Memory source(der);
        key.privateKey = Botan::PKCS8::load_key(source);
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parseSubjectPublicKeyInfo(const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
    try {
        key.publicKey.reset(Botan::X509::load_key(std::vector<uint8_t>(der.begin(), der.end())));
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parsePkcs1Private(const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
    try {
        key.privateKey = std::make_unique<Botan::RSA_PrivateKey>(rsaAlgorithm(), der);
    } catch (const Botan::Exception&) {
    }
    return key;
}

LoadedKey parsePkcs1Public(const Botan::secure_vector<uint8_t>& der) {
    LoadedKey key;
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

    LoadedKey (*parser)(const Botan::secure_vector<uint8_t>&) = nullptr;
    if (label == "PRIVATE KEY")
        parser = parsePkcs8;
    else if (label == "PUBLIC KEY")
        parser = parseSubjectPublicKeyInfo;
    else if (label == "RSA PRIVATE KEY")
        parser = parsePkcs1Private;
    else if (label == "RSA PUBLIC KEY")
        parser = parsePkcs1Public;
    else if (label == "ENCRYPTED PRIVATE KEY")
        throw keyFileError(path,
                           "holds a password-protected private key; only unencrypted keys can be loaded.");
    else if (label.empty() || label.size() > kMaxLabelLength)
        throw damagedKeyFile(path);
    else
        throw keyFileError(path, "holds a PEM block labelled " + label + ", not an RSA key.");

    if (text.find("Proc-Type: 4,ENCRYPTED", labelEnd) != std::string::npos)
        throw keyFileError(path,
                           "holds a password-protected private key; only unencrypted keys can be loaded.");

    Botan::secure_vector<uint8_t> der;
    try {
        // Read in place: a copy of the text would be one more to wipe.
        Botan::DataSource_Memory source(reinterpret_cast<const uint8_t*>(text.data()) + begin,
                                        text.size() - begin);
        std::string found;
        der = Botan::PEM_Code::decode(source, found);
    } catch (const Botan::Exception&) {
        throw damagedKeyFile(path);
    }
    LoadedKey key = parser(der);
    if (!holdsKey(key)) throw damagedKeyFile(path);
    return key;
}

LoadedKey parseDer(const std::string& path, const std::string& bytes) {
    const Botan::secure_vector<uint8_t> der(bytes.begin(), bytes.end());
    for (auto parser : {parsePkcs8, parseSubjectPublicKeyInfo, parsePkcs1Private, parsePkcs1Public}) {
        LoadedKey key = parser(der);
        if (holdsKey(key)) return key;
    }
    // Every DER key starts with a SEQUENCE: such a file is most likely a damaged key.
    if (!bytes.empty() && static_cast<uint8_t>(bytes[0]) == 0x30) throw damagedKeyFile(path);
    throw notAKeyFile(path);
}

LoadedKey parseKeyFile(const std::string& path, const std::string& bytes) {
    if (bytes.empty()) throw keyFileError(path, "is empty: it is not a key file.");
    const size_t begin = bytes.find("-----BEGIN ");
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

void checkRsaKey(const std::string& path, const Botan::Public_Key& key, bool isPrivate) {
    if (key.algo_name() != "RSA")
        throw keyFileError(path, "holds a key of type " + key.algo_name() + "; only RSA keys can be used.");
    const size_t bits = key.key_length();
    if (bits < kMinRsaBits || bits > kMaxRsaBits)
        throw keyFileError(path, "holds a " + std::to_string(bits) + "-bit RSA key; keys from " +
                                     std::to_string(kMinRsaBits) + " to " + std::to_string(kMaxRsaBits) +
                                     " bits can be used.");
    Botan::AutoSeeded_RNG rng;
    // The cheap checks only: that the numbers fit together (p * q = n, e and d inverse).
    if (!key.check_key(rng, false))
        throw keyFileError(path, std::string("holds an invalid RSA ") + (isPrivate ? "private" : "public") +
                                     " key (its numbers do not fit together).");
}

}  // namespace

void saveRsaKey(const EngineContext& context, int32_t hashCode, const Botan::RSA_PublicKey& publicKey,
                const Botan::RSA_PrivateKey* privateKey, const std::string& path) {
    Progress progress(context.hub, hashCode, 1);
    progress.begin();
    const ScrubbedText pem(translateErrors("Saving the key to " + quoted(path), [&] {
        return privateKey ? Botan::PKCS8::PEM_encode(*privateKey) : Botan::X509::PEM_encode(publicKey);
    }));
    // A private key is readable by its owner only, from the moment it exists.
    AtomicOutputFile output(path, privateKey ? 0600 : 0666);
    output.write(pem.value);
    progress.finish();
    output.commit();
}

std::shared_ptr<EngineAsymKey> LoadRsaKey(const EngineContext& context, const Text& fileName, int32_t keyKind,
                                          int32_t schema) {
    if (keyKind != PrivateKey && keyKind != PublicKey)
        throw EngineError(ErrorKind::InvalidInput,
                          "Key kind " + std::to_string(keyKind) +
                              " cannot be loaded: use 3 (private key) or 4 (public key).");
    const RsaSchema rsaSchema = rsaSchemaFromCode(schema);
    const int32_t hashCode = newHashCode();
    Progress progress(context.hub, hashCode, 1);
    progress.begin();

    std::shared_ptr<EngineAsymKey> result =
        translateErrors("Loading the key from " + quoted(fileName), [&]() -> std::shared_ptr<EngineAsymKey> {
            ScrubbedText bytes;
            readKeyFile(fileName, bytes.value);
            LoadedKey loaded = parseKeyFile(fileName, bytes.value);
            if (keyKind == PrivateKey) {
                if (!loaded.privateKey) {
                    checkRsaKey(fileName, *loaded.publicKey, false);
                    throw keyFileError(fileName, "holds a public key, not a private key.");
                }
                checkRsaKey(fileName, *loaded.privateKey, true);
                auto* rsa = dynamic_cast<Botan::RSA_PrivateKey*>(loaded.privateKey.get());
                if (!rsa) throw notAKeyFile(fileName);
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
