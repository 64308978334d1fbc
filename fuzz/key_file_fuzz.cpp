// The key-file loader through the public interface: the input is the file,
// PEM or DER, loaded both as a private and as a public key. Each load either
// gives a key object or a KeyFile failure naming the file (docs/key-files.md);
// a file may not load as both kinds; a loaded private key signs what its
// public half verifies and decrypts what it encrypts; a loaded public key
// encrypts and verifies without failing.

#include <memory>

#include "fuzz/FuzzSupport.h"

using namespace fuzz;
using engine::EngineAsymKey;
using engine::KeyKind;

namespace {

const std::string kPrivateAsPublic = "holds a private key, not a public key.";
const std::string kPublicAsPrivate = "holds a public key, not a private key.";

struct Load {
    std::shared_ptr<EngineAsymKey> key;
    std::string refusal;
};

Load load(engine::EngineRoot& root, const std::string& path, KeyKind kind, const std::string& bytes) {
    Load result;
    try {
        result.key = root.LoadKey(path, kind, engine::EncryptionSchema::Oaep);
    } catch (const engine::EngineError& e) {
        result.refusal = e.what();
        const std::string said = std::string(" (") + kindName(e.kind()) + ": " + e.what() + ")\nfile: " + preview(bytes);
        check(e.kind() == ErrorKind::KeyFile, "a key file refused with another kind" + said);
        check(result.refusal.rfind("The file \"" + path + "\" ", 0) == 0, "a refusal that does not name the file" + said);
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

    const std::string probe = "Quorval probe";
    if (asPrivate.key) {
        EngineAsymKey& key = *asPrivate.key;
        check(key.VerifyText(probe, key.SignText(probe)), "a loaded private key's signature does not verify" + context);
        check(key.DecryptText(key.EncryptText(probe)) == probe, "a loaded private key does not decrypt" + context);
    }
    if (asPublic.key) {
        EngineAsymKey& key = *asPublic.key;
        check(!key.VerifyText(probe, std::string(64, 'x')), "a made-up signature verifies" + context);
        check(!key.EncryptText(probe).empty(), "a loaded public key encrypts to nothing" + context);
    }
    return 0;
}
