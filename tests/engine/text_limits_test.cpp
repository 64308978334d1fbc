// SPDX-License-Identifier: Apache-2.0
// What the text path writes, it reads back: a text too large to come back
// from decryption as a text is refused when it is encrypted, and the
// encoder's texts have no limit of their own.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "EngineTestSupport.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using ::testing::HasSubstr;

constexpr size_t kLimit = engine::detail::kMaxTextResult;

// Encrypts `text` at the limit and reads it back as a text; one byte more is
// refused before any work, with a word about files.
void expectTheLimitHolds(engine::EngineCipher& encrypter, engine::EngineCipher& decrypter, std::string& text) {
    text.resize(kLimit);
    EXPECT_EQ(decrypter.DecryptText(encrypter.EncryptText(text)), text);
    text.push_back('!');
    std::string description;
    EXPECT_EQ(kindOf([&] { encrypter.EncryptText(text); }, &description), ErrorKind::TooLarge);
    EXPECT_THAT(description, HasSubstr("64 MiB"));
    EXPECT_THAT(description, HasSubstr("as a file"));
}

TEST(TextLimits, AnEncryptedTextAlwaysDecryptsAsAText) {
    auto root = engine::CreateEngineRoot(fastOptions());
    std::string text = pseudoRandom(1 << 20, 3);
    text.resize(kLimit, 'x');

    auto password = root->NewSymCipher(engine::SymAlgorithm::Aes, "limits", 256);
    password->Encoding(engine::OutputEncoding::Base64);
    expectTheLimitHolds(*password, *password, text);

    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    publicKey->Compression(1);
    expectTheLimitHolds(*publicKey, *privateKey, text);
}

TEST(TextLimits, EncodedTextsDecodeAtAnySize) {
    auto hex = engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Hex);
    std::string text = pseudoRandom(1 << 20, 4);
    text.resize(kLimit + 1, 'y');
    EXPECT_EQ(hex->DecodeText(hex->EncodeText(text)), text);
}

}  // namespace
