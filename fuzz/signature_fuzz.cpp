// SPDX-License-Identifier: Apache-2.0
// Signature checking through the public interface: VerifyText on a public key
// loaded from a file, with a signature in any form. The form is told by the
// length (docs/signatures.md); the outcome must be the reference's: its own
// length rule and decoder, then the library's verifier. Most inputs carry the
// true signature of the message, in a form, blanks and damage the fuzzer
// chooses; the rest carry the fuzzer's text as it is.
//
// Input: one byte (bit 0: the 1024-bit key; bit 1: raw signature text; bit 2:
// change a byte of the true signature), the message's length and bytes, then
// the text form, or the raw signature text.

#include <botan/auto_rng.h>
#include <botan/data_src.h>
#include <botan/pkcs8.h>
#include <botan/pubkey.h>
#include <botan/rsa.h>

#include <memory>
#include <optional>

#include "fuzz/FuzzSupport.h"

using namespace fuzz;

namespace {

struct Key {
    explicit Key(const std::string& privatePath, const std::string& publicPath) {
        const std::string pem = readFile(privatePath);
        Botan::DataSource_Memory source(pem);
        holder = Botan::PKCS8::load_key(source);
        key = dynamic_cast<Botan::RSA_PrivateKey*>(holder.get());
        if (!key) fail("not an RSA key: " + privatePath);
        static const auto root = engine::CreateEngineRoot();
        engineKey = root->LoadKey(publicPath, engine::KeyKind::PublicKey, engine::EncryptionSchema::Oaep);
    }

    std::unique_ptr<Botan::Private_Key> holder;
    Botan::RSA_PrivateKey* key = nullptr;
    std::shared_ptr<engine::EngineAsymKey> engineKey;
};

std::string sign(const Botan::RSA_PrivateKey& key, const std::string& message) {
    static Botan::AutoSeeded_RNG rng;
    Botan::PK_Signer signer(key, rng, "EMSA3(SHA-256)");
    const auto signature =
        signer.sign_message(reinterpret_cast<const uint8_t*>(message.data()), message.size(), rng);
    return std::string(signature.begin(), signature.end());
}

// docs/signatures.md: k bytes is Binary; else, blanks aside, 2k digits Hex,
// 4*ceil(k/3) or the unpadded ceil(4k/3) Base64; anything that does not fit
// or decode verifies false.
bool referenceVerify(const Botan::RSA_PublicKey& key, const std::string& message, const std::string& text) {
    const size_t k = key.get_n().bytes();
    std::optional<OutputEncoding> form;
    const size_t digits = withoutBlanks(text).size();
    if (text.size() == k)
        form = OutputEncoding::Binary;
    else if (digits == 2 * k)
        form = OutputEncoding::Hex;
    else if (digits == (k + 2) / 3 * 4 || digits == (4 * k + 2) / 3)
        form = OutputEncoding::Base64;
    if (!form) return false;
    const RefDecoded decoded = refDecode(*form, text);
    if (!decoded.ok || decoded.bytes.size() != k) return false;
    Botan::PK_Verifier verifier(key, "EMSA3(SHA-256)");
    return verifier.verify_message(reinterpret_cast<const uint8_t*>(message.data()), message.size(),
                                   reinterpret_cast<const uint8_t*>(decoded.bytes.data()),
                                   decoded.bytes.size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Key keys[] = {
        Key(QUORVAL_TEST_DATA "/containers/rsa512-private.pem",
            QUORVAL_TEST_DATA "/containers/rsa512-public.pem"),
        Key(QUORVAL_FUZZ_DATA "/rsa1024-private.pem", QUORVAL_FUZZ_DATA "/rsa1024-public.pem")};
    Reader in(data, size);
    const uint8_t choice = in.byte();
    Key& key = keys[choice & 1];
    const std::string message = in.bytes(in.byte());
    std::string text;
    if (choice & 2) {
        text = in.rest();
    } else {
        std::string signature = sign(*key.key, message);
        if (choice & 4) signature[in.u16() % signature.size()] ^= static_cast<char>(in.byte() | 1);
        text = applyTextForm(in, signature);
    }
    const bool expected = referenceVerify(*key.key, message, text);
    bool got = false;
    try {
        got = key.engineKey->VerifyText(message, text);
    } catch (const engine::EngineError& e) {
        fail(std::string("VerifyText failed (") + kindName(e.kind()) + ": " + e.what() +
             ")\nsignature: " + preview(text));
    }
    check(got == expected, std::string("VerifyText says ") + (got ? "valid" : "invalid") +
                               ", the reference " + (expected ? "valid" : "invalid") +
                               "\nmessage: " + preview(message) + "\nsignature: " + preview(text));
    return 0;
}
