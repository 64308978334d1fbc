// SPDX-License-Identifier: Apache-2.0
// RSA signatures: texts and files, the three encodings, and everything that
// must make a signature fail to verify.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "RsaTestSupport.h"

namespace {

using namespace enginetest;

class RsaSignatures : public RsaSuite {
protected:
    static void SetUpTestSuite() {
        RsaSuite::SetUpTestSuite();
        s_small = makePair(512);
        s_other = makePair(512);
        s_large = makePair(1024);
    }
    static void TearDownTestSuite() {
        s_small = s_other = s_large = Pair{};
        RsaSuite::TearDownTestSuite();
    }

    void SetUp() override {
        for (Pair* pair : {&s_small, &s_other, &s_large})
            pair->privateKey->Encoding(engine::OutputEncoding::Binary);
    }

    static Pair s_small, s_other, s_large;
};

Pair RsaSignatures::s_small, RsaSignatures::s_other, RsaSignatures::s_large;

// --- Round trips --------------------------------------------------------------------

TEST_F(RsaSignatures, SignaturesTakeTheKeysEncodingAndVerifyWithThePublicKey) {
    const std::string text = "The quick brown fox";
    EngineAsymKey& signer = *s_small.privateKey;

    signer.Encoding(engine::OutputEncoding::Binary);
    const std::string binary = signer.SignText(text);
    EXPECT_EQ(binary.size(), 64u);

    signer.Encoding(engine::OutputEncoding::Base64);
    const std::string base64 = signer.SignText(text);
    EXPECT_EQ(base64.size(), 88u);
    EXPECT_EQ(base64.substr(86), "==");
    EXPECT_TRUE(std::all_of(base64.begin(), base64.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '/' || c == '=';
    }));

    signer.Encoding(engine::OutputEncoding::Hex);
    const std::string hex = signer.SignText(text);
    EXPECT_EQ(hex.size(), 128u);
    EXPECT_TRUE(std::all_of(hex.begin(), hex.end(), [](char c) {
        return std::isxdigit(static_cast<unsigned char>(c)) && !std::isupper(static_cast<unsigned char>(c));
    }));

    // The public key's own Encoding plays no part.
    for (engine::OutputEncoding keyEncoding :
         {engine::OutputEncoding::Binary, engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        s_small.publicKey->Encoding(keyEncoding);
        EXPECT_TRUE(s_small.publicKey->VerifyText(text, binary)) << keyEncoding;
        EXPECT_TRUE(s_small.publicKey->VerifyText(text, base64)) << keyEncoding;
        EXPECT_TRUE(s_small.publicKey->VerifyText(text, hex)) << keyEncoding;
    }
    // The private key holds the public part and verifies as well.
    EXPECT_TRUE(s_small.privateKey->VerifyText(text, hex));
}

TEST_F(RsaSignatures, TextSignaturesAcceptLineBreaksBlanksAndUpperCaseHex) {
    const std::string text = "wrapped";
    s_large.privateKey->Encoding(engine::OutputEncoding::Base64);
    std::string base64 = s_large.privateKey->SignText(text);
    base64.insert(64, "\r\n");
    EXPECT_TRUE(s_large.publicKey->VerifyText(text, "  " + base64 + "\n"));

    // Base64 without its padding.
    s_small.privateKey->Encoding(engine::OutputEncoding::Base64);
    const std::string padded = s_small.privateKey->SignText(text);
    ASSERT_EQ(padded.substr(86), "==");
    EXPECT_TRUE(s_small.publicKey->VerifyText(text, padded.substr(0, 86)));

    s_large.privateKey->Encoding(engine::OutputEncoding::Hex);
    std::string hex = s_large.privateKey->SignText(text);
    std::transform(hex.begin(), hex.end(), hex.begin(),
                   [](char c) { return std::toupper(static_cast<unsigned char>(c)); });
    hex.insert(128, "\n");
    EXPECT_TRUE(s_large.publicKey->VerifyText(text, hex));
}

TEST_F(RsaSignatures, FilesSignLikeTheirContentsAtEverySize) {
    // PKCS#1 v1.5 signatures are deterministic: a file streamed in chunks must
    // give the very signature of its bytes as one text.
    s_small.privateKey->Encoding(engine::OutputEncoding::Hex);
    for (size_t size :
         {size_t{0}, size_t{1}, size_t{196607}, size_t{196608}, size_t{196609}, size_t{600000}}) {
        const std::string contents = patterned(size);
        const std::string path = writeFile("data-" + std::to_string(size), contents);
        const std::string signature = s_small.privateKey->SignFile(path);
        EXPECT_EQ(signature, s_small.privateKey->SignText(contents)) << size;
        EXPECT_TRUE(s_small.publicKey->VerifyFile(path, signature)) << size;
    }
}

TEST_F(RsaSignatures, EmptyAndBinaryTextsSign) {
    const std::string binary("\0\x01\xff\0", 4);
    for (const std::string& text : {std::string(), binary}) {
        const std::string signature = s_large.privateKey->SignText(text);
        EXPECT_TRUE(s_large.publicKey->VerifyText(text, signature));
    }
}

// --- What must not verify -------------------------------------------------------------

TEST_F(RsaSignatures, AChangedTextOrFileDoesNotVerify) {
    const std::string text = patterned(1000);
    const std::string signature = s_small.privateKey->SignText(text);
    std::string changed = text;
    changed[500] ^= 1;
    EXPECT_FALSE(s_small.publicKey->VerifyText(changed, signature));
    EXPECT_FALSE(s_small.publicKey->VerifyText(text + " ", signature));
    EXPECT_FALSE(s_small.publicKey->VerifyFile(writeFile("changed", changed), signature));
}

TEST_F(RsaSignatures, AChangedSignatureDoesNotVerify) {
    const std::string text = "signed";
    const std::string signature = s_small.privateKey->SignText(text);
    for (size_t i : {size_t{0}, size_t{31}, size_t{63}}) {
        std::string changed = signature;
        changed[i] ^= 0x40;
        EXPECT_FALSE(s_small.publicKey->VerifyText(text, changed)) << i;
    }
}

TEST_F(RsaSignatures, ASignatureByAnotherKeyDoesNotVerify) {
    const std::string text = "whose signature?";
    EXPECT_FALSE(s_other.publicKey->VerifyText(text, s_small.privateKey->SignText(text)));
    // Another size altogether: read as no valid form for this key.
    EXPECT_FALSE(s_small.publicKey->VerifyText(text, s_large.privateKey->SignText(text)));
    EXPECT_FALSE(s_large.publicKey->VerifyText(text, s_small.privateKey->SignText(text)));
}

TEST_F(RsaSignatures, MalformedSignaturesSimplyDoNotVerify) {
    const std::string text = "anything";
    const std::vector<std::string> malformed = {
        "",
        "not a signature",
        std::string(63, 'A'),
        std::string(65, 'A'),
        std::string(64, '\xff'),  // a number above any 512-bit modulus
        std::string(64, '\0'),
        std::string(88, '!'),         // Base64 length, bad characters
        std::string(86, 'A') + "=A",  // Base64 length, padding in the middle
        std::string(128, 'g'),        // Hex length, not hex
    };
    for (const std::string& signature : malformed) {
        EXPECT_FALSE(s_small.publicKey->VerifyText(text, signature)) << signature;
        EXPECT_FALSE(s_small.publicKey->VerifyFile(writeFile("data", text), signature)) << signature;
    }
}

// --- Files and progress -------------------------------------------------------------------

TEST_F(RsaSignatures, MissingFilesAreIoFailures) {
    const std::string missing = path("missing.bin");
    const std::string signature = s_small.privateKey->SignText("x");
    EXPECT_EQ(kindOf([&] { s_small.privateKey->SignFile(missing); }), ErrorKind::Io);
    EXPECT_EQ(kindOf([&] { s_small.publicKey->VerifyFile(missing, signature); }), ErrorKind::Io);
    EXPECT_EQ(kindOf([&] { s_small.publicKey->VerifyFile(missing, "malformed"); }), ErrorKind::Io);
}

TEST_F(RsaSignatures, SigningAndVerifyingReportProgressToTheEnd) {
    const std::string path = writeFile("big", patterned(1 << 20));
    std::vector<int32_t> positions;
    s_hub->setHandler([&](int32_t position, int32_t, bool&) { positions.push_back(position); });

    const std::string signature = s_small.privateKey->SignFile(path);
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_GT(positions.back(), 100);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));

    positions.clear();
    EXPECT_TRUE(s_small.publicKey->VerifyFile(path, signature));
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.front(), 0);
    EXPECT_GT(positions.back(), 100);
}

TEST_F(RsaSignatures, AnAbortStopsSigningAtTheStartOrTheEnd) {
    const std::string path = writeFile("data", patterned(300000));
    for (bool atEnd : {false, true}) {
        s_hub->setHandler(
            [&](int32_t position, int32_t, bool& abort) { abort = atEnd ? position > 100 : true; });
        EXPECT_EQ(kindOf([&] { s_small.privateKey->SignFile(path); }), ErrorKind::Aborted) << atEnd;
        EXPECT_EQ(kindOf([&] { s_small.privateKey->SignText("text"); }), ErrorKind::Aborted) << atEnd;
        EXPECT_EQ(kindOf([&] { s_small.publicKey->VerifyText("text", "x"); }), ErrorKind::Aborted) << atEnd;
    }
}

// --- The scheme itself -----------------------------------------------------------------

// kVectorKey's signature of "Hello, Quorval!"; `openssl dgst -sha256 -verify`
// accepts it, so it is plain PKCS#1 v1.5 with SHA-256.
const char kVectorSignature[] =
    "907d20a84a8cc91a64546935604e0def74fb52a71a7cb9350a3cda0bfed681cb"
    "ab201596f8ae7cca21c0c2a37041ca3d9e5b6747232ff802d3e5204a31bcb0ff";

TEST_F(RsaSignatures, SignaturesArePkcs1v15WithSha256) {
    auto key = loadVectorKey();
    key->Encoding(engine::OutputEncoding::Hex);
    EXPECT_EQ(key->SignText("Hello, Quorval!"), kVectorSignature);
    EXPECT_TRUE(key->VerifyText("Hello, Quorval!", kVectorSignature));
}

}  // namespace
