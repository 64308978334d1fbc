// SPDX-License-Identifier: Apache-2.0
// RSA encryption: texts and files of any length under both schemas, and the
// one message every wrong key or damaged container gets.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "RsaTestSupport.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;

class RsaEncryption : public RsaSuite {
protected:
    static void SetUpTestSuite() {
        RsaSuite::SetUpTestSuite();
        s_oaep512 = makePair(512, kOaep);
        s_pkcs512 = makePair(512, kPkcs1);
        s_oaep1024 = makePair(1024, kOaep);
        s_pkcs1024 = makePair(1024, kPkcs1);
    }
    static void TearDownTestSuite() {
        s_oaep512 = s_pkcs512 = s_oaep1024 = s_pkcs1024 = Pair{};
        RsaSuite::TearDownTestSuite();
    }
    static std::vector<Pair*> allPairs() { return {&s_oaep512, &s_pkcs512, &s_oaep1024, &s_pkcs1024}; }

    void SetUp() override {
        for (Pair* pair : allPairs()) {
            for (EngineAsymKey* key : {pair->privateKey.get(), pair->publicKey.get()}) {
                key->Encoding(engine::OutputEncoding::Binary);
                key->Compression(0);
            }
        }
    }

    static Pair s_oaep512, s_pkcs512, s_oaep1024, s_pkcs1024;
};

Pair RsaEncryption::s_oaep512, RsaEncryption::s_pkcs512, RsaEncryption::s_oaep1024, RsaEncryption::s_pkcs1024;

// --- Round trips ----------------------------------------------------------------------

TEST_F(RsaEncryption, TextsOfEverySizeComeBackUnderBothSchemasAndAllEncodings) {
    for (Pair* pair : allPairs()) {
        for (engine::OutputEncoding encoding :
             {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
            pair->publicKey->Encoding(encoding);
            for (size_t size : {0, 1, 15, 16, 17, 22, 23, 1000, 70000}) {
                const std::string plain = patterned(size);
                const std::string cipher = pair->publicKey->EncryptText(plain);
                EXPECT_EQ(pair->privateKey->DecryptText(cipher), plain)
                    << "encoding " << encoding << " size " << size;
            }
        }
    }
}

TEST_F(RsaEncryption, TheOutputTakesTheKeysEncoding) {
    const std::string plain = "form";
    s_oaep512.publicKey->Encoding(engine::OutputEncoding::Base64);
    const std::string base64 = s_oaep512.publicKey->EncryptText(plain);
    EXPECT_EQ(base64.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="),
              std::string::npos);
    s_oaep512.publicKey->Encoding(engine::OutputEncoding::Hex);
    const std::string hex = s_oaep512.publicKey->EncryptText(plain);
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(hex.size() % 2, 0u);
}

TEST_F(RsaEncryption, DecryptionRecognisesTheFormWhateverTheKeyIsSetTo) {
    const std::string plain = "any form";
    for (engine::OutputEncoding written :
         {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        s_pkcs512.publicKey->Encoding(written);
        const std::string cipher = s_pkcs512.publicKey->EncryptText(plain);
        for (engine::OutputEncoding setting :
             {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
            s_pkcs512.privateKey->Encoding(setting);
            EXPECT_EQ(s_pkcs512.privateKey->DecryptText(cipher), plain) << written << " read as " << setting;
        }
    }
}

TEST_F(RsaEncryption, EncryptionIsFreshEveryTime) {
    const std::string plain = "same text";
    EXPECT_NE(s_oaep512.publicKey->EncryptText(plain), s_oaep512.publicKey->EncryptText(plain));
    EXPECT_NE(s_pkcs512.publicKey->EncryptText(plain), s_pkcs512.publicKey->EncryptText(plain));
}

TEST_F(RsaEncryption, APrivateKeyEncryptsForItself) {
    s_oaep1024.privateKey->Encoding(engine::OutputEncoding::Hex);
    const std::string cipher = s_oaep1024.privateKey->EncryptText("to myself");
    EXPECT_EQ(s_oaep1024.privateKey->DecryptText(cipher), "to myself");
}

TEST_F(RsaEncryption, TheSchemaIsReadFromTheData) {
    // The same private key loaded under the other schema still decrypts.
    const std::string keyFile = path("private.pem");
    s_oaep512.privateKey->SaveToFile(keyFile);
    auto asPkcs1 = engine::detail::LoadRsaKey(s_context, keyFile, engine::KeyKind::PrivateKey, kPkcs1);
    auto asOaep = engine::detail::LoadRsaKey(s_context, keyFile, engine::KeyKind::PrivateKey, kOaep);
    EXPECT_EQ(asPkcs1->DecryptText(s_oaep512.publicKey->EncryptText("oaep")), "oaep");
    EXPECT_EQ(asOaep->DecryptText(asPkcs1->EncryptText("pkcs1")), "pkcs1");
}

TEST_F(RsaEncryption, CompressionShrinksRepetitiveDataAndIsUndoneOnDecryption) {
    const std::string plain(200000, 'a');
    s_oaep512.publicKey->Compression(9);
    const std::string compressed = s_oaep512.publicKey->EncryptText(plain);
    s_oaep512.publicKey->Compression(0);
    const std::string stored = s_oaep512.publicKey->EncryptText(plain);
    EXPECT_LT(compressed.size(), 10000u);
    EXPECT_GT(stored.size(), plain.size());
    // The decrypting side's own level plays no part.
    s_oaep512.privateKey->Compression(-1);
    EXPECT_EQ(s_oaep512.privateKey->DecryptText(compressed), plain);
    EXPECT_EQ(s_oaep512.privateKey->DecryptText(stored), plain);
}

TEST_F(RsaEncryption, RefusesUnsupportedCompressionOrEncoding) {
    EXPECT_EQ(kindOf([] { s_oaep512.publicKey->Compression(10); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([] { s_oaep512.publicKey->Compression(-2); }), ErrorKind::InvalidInput);
    EXPECT_EQ(kindOf([] { s_oaep512.publicKey->Encoding(static_cast<engine::OutputEncoding>(3)); }),
              ErrorKind::InvalidInput);
}

// --- Wrong keys and damaged data ---------------------------------------------------------

TEST_F(RsaEncryption, EveryWrongKeyGetsTheSameMessage) {
    const std::string plain = "for one key only";
    const std::vector<std::pair<Pair*, Pair*>> wrong = {
        {&s_oaep512, &s_pkcs512},  // same size, other key
        {&s_pkcs512, &s_oaep512},
        {&s_oaep512, &s_oaep1024},  // other size
        {&s_pkcs1024, &s_pkcs512},
    };
    std::set<std::string> descriptions;
    for (const auto& [sender, receiver] : wrong) {
        const std::string cipher = sender->publicKey->EncryptText(plain);
        std::string description;
        EXPECT_EQ(kindOf([&] { receiver->privateKey->DecryptText(cipher); }, &description),
                  ErrorKind::WrongKeyOrDamaged);
        descriptions.insert(description);
    }
    EXPECT_EQ(descriptions.size(), 1u) << *descriptions.begin();
}

TEST_F(RsaEncryption, NoChangedByteGoesUnnoticed) {
    const std::string plain = "short and sealed";
    const std::string cipher = s_oaep512.publicKey->EncryptText(plain);
    std::string wrongKeyMessage;
    kindOf([&] { s_pkcs512.privateKey->DecryptText(cipher); }, &wrongKeyMessage);
    for (size_t i = 0; i < cipher.size(); ++i) {
        SCOPED_TRACE("byte " + std::to_string(i));
        std::string changed = cipher;
        changed[i] ^= 0x01;
        std::string description;
        const ErrorKind kind = kindOf([&] { s_oaep512.privateKey->DecryptText(changed); }, &description);
        EXPECT_THAT(kind, ::testing::AnyOf(ErrorKind::WrongKeyOrDamaged, ErrorKind::NotOurData,
                                           ErrorKind::WrongSettings))
            << "byte " << i;
        // Damage to the wrapped secret reads exactly like a wrong key.
        if (kind == ErrorKind::WrongKeyOrDamaged) {
            EXPECT_EQ(description, wrongKeyMessage) << "byte " << i;
        }
    }
}

TEST_F(RsaEncryption, TruncatedDataIsRefused) {
    const std::string cipher = s_pkcs1024.publicKey->EncryptText(patterned(5000));
    for (size_t length :
         {size_t{0}, size_t{5}, size_t{40}, size_t{200}, cipher.size() / 2, cipher.size() - 1}) {
        SCOPED_TRACE(length);
        EXPECT_THAT(kindOf([&] { s_pkcs1024.privateKey->DecryptText(cipher.substr(0, length)); }),
                    ::testing::AnyOf(ErrorKind::WrongKeyOrDamaged, ErrorKind::NotOurData))
            << length;
    }
}

TEST_F(RsaEncryption, PasswordEncryptedDataAsksForThePassword) {
    engine::detail::PasswordKeySealer sealer("password", 1000);
    const std::string cipher = engine::detail::sealText(
        s_context, 0, "by password", engine::detail::rsaSealSettings(0, engine::detail::Encoding::Binary),
        sealer);
    EXPECT_EQ(kindOf([&] { s_oaep512.privateKey->DecryptText(cipher); }), ErrorKind::WrongSettings);
}

// --- Files -------------------------------------------------------------------------------

TEST_F(RsaEncryption, FilesOfEverySizeComeBack) {
    // Sizes around the read chunk, and one that takes the two-thread path.
    for (size_t size : {size_t{0}, size_t{1}, size_t{196607}, size_t{196609}, size_t{1200000}}) {
        for (engine::OutputEncoding encoding :
             {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64}) {
            const std::string plain = patterned(size);
            const std::string source = writeFile("plain", plain);
            s_oaep512.publicKey->Encoding(encoding);
            s_oaep512.publicKey->Compression(size % 2 ? 6 : 0);
            s_oaep512.publicKey->EncryptFile(source, path("sealed"));
            s_oaep512.privateKey->DecryptFile(path("sealed"), path("opened"));
            EXPECT_EQ(readAll(path("opened")), plain) << size << " " << encoding;
            // A sealed file is a container like a sealed text.
            EXPECT_EQ(s_oaep512.privateKey->DecryptText(readAll(path("sealed"))), plain) << size;
        }
    }
}

TEST_F(RsaEncryption, AFileForAnotherKeyLeavesTheTargetAlone) {
    const std::string source = writeFile("plain", patterned(50000));
    s_oaep512.publicKey->EncryptFile(source, path("sealed"));
    const std::string target = writeFile("target", "existing");
    EXPECT_EQ(kindOf([&] { s_pkcs512.privateKey->DecryptFile(path("sealed"), target); }),
              ErrorKind::WrongKeyOrDamaged);
    EXPECT_EQ(readAll(target), "existing");
    EXPECT_EQ(entries(), 3u);  // plain, sealed, target: no temporary left behind
}

TEST_F(RsaEncryption, AnAbortLeavesNoFile) {
    const std::string source = writeFile("plain", patterned(300000));
    s_hub->setHandler([](int32_t position, int32_t, bool& abort) { abort = position > 100; });
    EXPECT_EQ(kindOf([&] { s_oaep512.publicKey->EncryptFile(source, path("sealed")); }), ErrorKind::Aborted);
    EXPECT_FALSE(fs::exists(path("sealed")));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(RsaEncryption, MissingSourceFilesAreIoFailuresNamingThem) {
    const std::string missing = path("missing");
    const std::vector<std::function<void()>> calls = {
        [&] { s_oaep512.publicKey->EncryptFile(missing, path("out")); },
        [&] { s_oaep512.privateKey->DecryptFile(missing, path("out")); }};
    for (const auto& call : calls) {
        std::string description;
        EXPECT_EQ(kindOf(call, &description), ErrorKind::Io);
        EXPECT_THAT(description, ::testing::HasSubstr(missing));
    }
    EXPECT_EQ(entries(), 0u);
}

// --- Data written by an earlier build ----------------------------------------------------

// Two containers made with kVectorKey on the day the format was fixed
// ("Hello, Quorval!", OAEP and stored; PKCS#1 v1.5 and compressed at level 9).
// The wrapped secrets were checked with `openssl pkeyutl -decrypt`.
const char kVectorOaep[] =
    "8f515256431a0102002001010000102c6637365fbfb395f9e00dae96f2e50900410180d2e59d29325e6e5aa2fd401959"
    "70b99126a53143cb493493dfa095340d5991433a03be66667c89152e0fb4034473cb9f16d3f24c03307a580f4aca4ea2"
    "2d56bd4f64cdf7c64613f36af7dc526a13bf689da9dab35aaa633ff8be55ac2486e7c638f6520f89d501d132b2e5bc81"
    "3ad2000000000000000f18e09a0c0353b79d5dfe78f981ce4a8ca5127e916aa9588df086e00503f22ffb";

const char kVectorPkcs1Compressed[] =
    "8f515256431a010200200101010910f37775aab249cc84b9a147cc4b5591c500410097d3d3b8154629ad3c407bf66cf5"
    "f23aea22db06c8ad97e662f5461f4b8080547064d3a13f24538c2e420f3568f68219ce1d9c3f2c09d4f497db9852bf94"
    "eee82d05017c1e5c69fa73d58308b65a7665018eac23741ebd5fdc142042bf2af08ce529ff4ad7a995f16a8bb8e70a72"
    "b244d9786e372438038659984af5f289c0b2000000000000001717dc6b5cd058b83b807e8b1757fb47bb3e10076e087e"
    "65590ea7e7c2b044e48f";

TEST_F(RsaEncryption, DataWrittenByAnEarlierBuildStillDecrypts) {
    auto key = loadVectorKey();
    EXPECT_EQ(key->DecryptText(kVectorOaep), "Hello, Quorval!");
    EXPECT_EQ(key->DecryptText(kVectorPkcs1Compressed), "Hello, Quorval!");
}

}  // namespace
