// SPDX-License-Identifier: Apache-2.0
// Cipher texts that cannot be decrypted, and texts that cannot be decoded, as
// the window meets them: typed into a box or named as a file. Each gives one
// box with the engine's words, and loses nothing: the source as it was, no
// result shown or written, an existing output file as it was.

#include "tests/logic/catalogue/CatalogueSupport.h"

using namespace catalogue;
using enginetest::readAll;

namespace {

enum Encoding { kBinary = 0, kBase64 = 1, kHex = 2 };
const char* const kEncodingNames[] = {"Binary", "Base64", "Hex"};

class BadCipherText : public Catalogue {
protected:
    void SetUp() override {
        Catalogue::SetUp();
        // The same settings on a second engine object, to make the inputs.
        maker = root2->NewSymCipher(engine::SymAlgorithm::Twofish, "right", 192);
        enginetest::configure(*maker, 1, 1, 0, engine::OutputEncoding::Binary);
    }

    // The symmetric tab as the user left it after encrypting with Twofish, 192 bits and "right".
    void symmetric(bool fileSource, int encoding = kBase64) {
        open(kSymDecrypt, fileSource);
        form.comboBox("cboSymAlg").userSelect(1);
        form.comboBox("cboSymKey").userSelect(1);
        box("txtSymPass").type("right");
        form.option("optTypeSym", encoding).userClick();
    }

    // A container of `plain` in the given form; `damage` changes its bytes first.
    std::string container(const std::string& plain, int encoding,
                          const std::function<void(std::string&)>& damage = nullptr) {
        std::string bytes = maker->EncryptText(plain);
        if (damage) damage(bytes);
        return inForm(bytes, encoding);
    }
    std::string inForm(const std::string& bytes, int encoding) {
        if (encoding == kBinary) return bytes;
        return root2->NewEncoder(static_cast<engine::OutputEncoding>(encoding))->EncodeText(bytes);
    }

    // Decrypts `input` as a text and as a file, expecting `says` each time
    // (after the file's quoted name for a file) and nothing lost.
    void expectBothRefused(const WindowOperation& op, const std::string& input, const std::string& says,
                           const std::function<void(bool)>& settings) {
        settings(false);
        run(op, input);
        expectRefused(op, input, {errorBox(op.title, says)});

        settings(true);
        const std::string source = writeFile("sealed.bin", input);
        const std::string target = outputOf(op, source);
        enginetest::writeAll(target, "an older decryption");
        const Tree before = treeOf(dir.path());
        ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
        run(op, source);
        expectRefused(op, source, {replaceQuestion(target), errorBox(op.title, inQuotes(source) + ": " + says)});
        EXPECT_EQ(treeOf(dir.path()), before) << op.name << ": " << says;
        EXPECT_EQ(readAll(target), "an older decryption");
    }

    std::shared_ptr<engine::EngineRoot> root2 = engine::CreateEngineRoot(enginetest::fastOptions());
    std::shared_ptr<engine::EngineSymCipher> maker;
};

TEST_F(BadCipherText, AWrongPasswordAlgorithmOrKeyLengthIsOneBoxAndLosesNothing) {
    const std::string sealed = container("the secret", kBase64);
    const std::string needs = "This data was encrypted with Twofish with a 192-bit key: choose Twofish and 192 bits "
                              "to decrypt it.";
    const struct {
        const char* what;
        int algorithm, key;
        const char* password;
        std::string says;
    } cases[] = {
        {"a wrong password", 1, 1, "wrong", kDamaged},
        {"another algorithm", 0, 1, "right", needs},
        {"another key length", 1, 2, "right", needs},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expectBothRefused(kSymDecrypt, sealed, c.says, [&](bool file) {
            symmetric(file);
            form.comboBox("cboSymAlg").userSelect(c.algorithm);
            form.comboBox("cboSymKey").userSelect(c.key);
            box("txtSymPass").type(c.password);
        });
    }
    // The right settings still open it.
    symmetric(false);
    run(kSymDecrypt, sealed);
    EXPECT_EQ(box("txtContSym").text(), "the secret");
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
}

TEST_F(BadCipherText, CutExtendedOrFlippedCipherTextIsOneBoxInEveryEncoding) {
    const std::string plain = enginetest::pseudoRandom(1000, 4);
    for (int encoding : {kBinary, kBase64, kHex}) {
        SCOPED_TRACE(kEncodingNames[encoding]);
        const std::string whole = container(plain, encoding);
        const std::pair<const char*, std::string> damaged[] = {
            {"cut in the header", container(plain, encoding, [](std::string& b) { b.resize(40); })},
            {"cut in the middle", container(plain, encoding, [](std::string& b) { b.resize(b.size() / 2); })},
            {"cut by one byte", container(plain, encoding, [](std::string& b) { b.pop_back(); })},
            {"cut inside a digit group", whole.substr(0, whole.size() - (encoding == kBinary ? 1 : 3))},
            {"extended by a block", container(plain, encoding, [](std::string& b) { b += std::string(16, 'x'); })},
            {"extended by a byte", container(plain, encoding, [](std::string& b) { b += '\0'; })},
            {"a bit flipped in the header", container(plain, encoding, [](std::string& b) { b[20] ^= 0x01; })},
            {"a bit flipped in the data", container(plain, encoding, [](std::string& b) { b[500] ^= 0x10; })},
            {"a bit flipped in the tag", container(plain, encoding, [](std::string& b) { b.back() ^= 0x80; })},
        };
        for (const auto& [what, input] : damaged) {
            SCOPED_TRACE(what);
            expectBothRefused(kSymDecrypt, input, kDamaged, [&](bool file) { symmetric(file, encoding); });
        }
        symmetric(false, encoding);
        run(kSymDecrypt, whole);
        EXPECT_TRUE(box("txtContSym").text() == plain) << "the undamaged one still opens";
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
    }
}

TEST_F(BadCipherText, InvalidBase64OrHexInACipherTextIsNamedByItsPosition) {
    std::string base64 = container("x", kBase64);
    base64[20] = '*';
    expectBothRefused(kSymDecrypt, base64, "Invalid Base64 character '*' at position 21.",
                      [&](bool file) { symmetric(file); });
    std::string hex = container("x", kHex);
    hex[30] = 'g';
    expectBothRefused(kSymDecrypt, hex, "Invalid Hex character 'g' at position 31.",
                      [&](bool file) { symmetric(file); });
    // Outside printable ASCII the byte is shown by its value.
    hex[30] = '\x01';
    expectBothRefused(kSymDecrypt, hex, "Invalid Hex character (byte 0x01) at position 31.",
                      [&](bool file) { symmetric(file); });
}

TEST_F(BadCipherText, DataThatIsNotACipherTextOfThisKindIsSaidToBeSo) {
    const std::string notOurs = "This is not data encrypted by this program (its format is not recognised).";
    std::string newer = container("x", kBinary);
    newer[6] = 2;
    // No version wrote a 0: such data is no container at all, not one of a newer program.
    std::string version0 = newer;
    version0[6] = 0;
    // PBKDF2 iterations far above the bound, which would take minutes before any progress.
    std::string costly = container("x", kBinary);
    for (int i = 0; i < 4; ++i) costly[15 + 16 + 2 + 1 + i] = '\x7f';
    // The PBKDF2 key block replaced by an Argon2id one: KDF, memory (KiB), passes, lanes, salt.
    auto withArgon2 = [&](const std::string& cost) {
        std::string sealed = container("x", kBinary);
        const std::string block = cost + '\x10' + std::string(16, 's');
        sealed.replace(15 + 16, 2 + 22, std::string{'\0', static_cast<char>(block.size())} + block);
        return sealed;
    };
    const std::string argon2Costly = withArgon2(std::string("\x02\x00\x10\x00\x00\x00\x00\x00\x03\x04", 10));
    const std::string unknownKdf = withArgon2(std::string("\x03\x00\x00\x01\x00\x00\x00\x00\x03\x04", 10));
    const std::string noLane = withArgon2(std::string("\x02\x00\x00\x01\x00\x00\x00\x00\x03\x00", 10));
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    const auto privateKey =
        root2->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    const std::pair<std::string, std::string> cases[] = {
        {"plain text\n", notOurs},
        {"", notOurs},
        {enginetest::pseudoRandom(500, 9), notOurs},
        {"SGVsbG8gd29ybGQ=", notOurs},
        {newer,
         "This data was written in container format 2, which this version of the program cannot read."},
        {version0, notOurs},
        {costly, "This data asks for a key-derivation cost above the limit this program accepts."},
        {argon2Costly, "This data asks for a key-derivation cost above the limit this program accepts."},
        {unknownKdf, "This data uses a key derivation this program does not support."},
        {noLane, kDamaged},
        {publicKey->EncryptText("for a key pair"),
         "This data was encrypted with an RSA public key; decrypt it with the matching RSA private key."},
    };
    for (const auto& [input, says] : cases) {
        SCOPED_TRACE(says);
        expectBothRefused(kSymDecrypt, input, says, [&](bool file) { symmetric(file); });
    }
}

TEST_F(BadCipherText, AZlibBombAsATextIsRefusedAndAsAFileDecryptsInFixedMemory) {
    // 64 MiB and one byte of zeros, compressed into a few dozen KiB: only a file can hold it.
    const uint64_t size = (64ull << 20) + 1;
    {
        std::ofstream(file("zeros")).close();
        fs::resize_file(file("zeros"), size);
    }
    maker->Compression(9);
    maker->EncryptFile(file("zeros"), file("bomb"));
    fs::remove(file("zeros"));
    const std::string bomb = readAll(file("bomb"));
    fs::remove(file("bomb"));
    ASSERT_LT(bomb.size(), 1u << 20);

    symmetric(false, kBinary);
    run(kSymDecrypt, bomb);
    expectRefused(kSymDecrypt, bomb,
                  {errorBox(kSymDecrypt.title,
                            "The decrypted text would be larger than 64 MiB; decrypt it as a file instead.")});
    // Damaged, the same text is damaged data: nothing tells how far it would have grown.
    std::string damaged = bomb;
    damaged[damaged.size() / 2] ^= 0x04;
    run(kSymDecrypt, damaged);
    expectRefused(kSymDecrypt, damaged, {errorBox(kSymDecrypt.title, kDamaged)});

    // As a file it is what it says: 64 MiB of zeros, made with a fixed buffer.
    symmetric(true, kBinary);
    const std::string source = writeFile("bomb.bin", bomb);
    run(kSymDecrypt, source);
    EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
    const std::string opened = outputOf(kSymDecrypt, source);
    EXPECT_EQ(box("txtContSym").text(), opened);
    EXPECT_EQ(fs::file_size(opened), size);
    EXPECT_EQ(readAll(source), bomb);

    // A text too large to come back as a text is not encrypted as one.
    symmetric(false, kBinary);
    const std::string huge(size, 'h');
    open(kSymEncrypt, false);
    run(kSymEncrypt, huge);
    expectRefused(kSymEncrypt, huge,
                  {errorBox(kSymEncrypt.title, "The text is larger than 64 MiB, the most a decrypted text can "
                                               "hold; encrypt it as a file instead.")});
}

// --- RSA -----------------------------------------------------------------------------

class BadRsaCipherText : public BadCipherText {
protected:
    void rsa(bool fileSource, int encoding = kBase64) {
        open(kRsaDecrypt, fileSource);
        form.option("optTypeAsym", encoding).userClick();
    }
    // Encrypts through the window, with the tab's own public key.
    std::string sealed(const std::string& plain, int encoding) {
        rsa(false, encoding);
        box("txtContAsym").setText(plain);
        form.button("cmdEncAsym").userClick();
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
        return box("txtResAsym").text();
    }
    std::string reencoded(const std::string& text, int encoding, const std::function<void(std::string&)>& damage) {
        std::string bytes = encoding == kBinary ? text
                                                : root2->NewEncoder(static_cast<engine::OutputEncoding>(encoding))
                                                      ->DecodeText(text);
        damage(bytes);
        return inForm(bytes, encoding);
    }
};

TEST_F(BadRsaCipherText, AnotherKeyOrDamageInEveryEncodingIsOneBoxAndLosesNothing) {
    const std::string plain = enginetest::pseudoRandom(700, 5);
    std::shared_ptr<engine::EngineAsymKey> otherPublic;
    root2->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, otherPublic);
    for (int encoding : {kBinary, kBase64, kHex}) {
        SCOPED_TRACE(kEncodingNames[encoding]);
        const std::string whole = sealed(plain, encoding);
        otherPublic->Encoding(static_cast<engine::OutputEncoding>(encoding));
        const std::pair<const char*, std::string> bad[] = {
            {"for another key", otherPublic->EncryptText(plain)},
            {"cut", reencoded(whole, encoding, [](std::string& b) { b.resize(b.size() - 7); })},
            {"extended", reencoded(whole, encoding, [](std::string& b) { b += "more"; })},
            {"a bit flipped in the wrapped key", reencoded(whole, encoding, [](std::string& b) { b[60] ^= 0x02; })},
            {"a bit flipped in the data", reencoded(whole, encoding, [](std::string& b) { b[300] ^= 0x02; })},
        };
        for (const auto& [what, input] : bad) {
            SCOPED_TRACE(what);
            expectBothRefused(kRsaDecrypt, input, kDamaged, [&](bool file) { rsa(file, encoding); });
        }
    }
    expectBothRefused(kRsaDecrypt, container("for a password", kBase64),
                      "This data was encrypted with a password; decrypt it with that password.",
                      [&](bool file) { rsa(file); });
}

// --- Encode/Decode ---------------------------------------------------------------------

using BadEncodedText = BadCipherText;

TEST_F(BadEncodedText, InvalidBase64OrHexIsNamedByItsPositionAsATextAndAsAFile) {
    const struct {
        int encoding;
        std::string input;
        std::string says;
    } cases[] = {
        {kBase64, "Zm9v*mFy", "Invalid Base64 character '*' at position 5."},
        {kBase64, "Zg==Zg==", "Invalid Base64 character 'Z' after the padding at position 5."},
        {kBase64, "Zm9vY", "Invalid Base64 text: it ends with an incomplete group at position 5."},
        {kBase64, "Zm9v\nYm\xC3\xA9", "Invalid Base64 character (byte 0xC3) at position 8."},
        {kHex, "66g6", "Invalid Hex character 'g' at position 3."},
        {kHex, "666", "Invalid Hex text: the last digit has no partner at position 3."},
        {kHex, "66 6f\t6x", "Invalid Hex character 'x' at position 8."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        expectBothRefused(kDecode, c.input, c.says, [&](bool file) {
            open(kDecode, file);
            form.option("optTypeED", c.encoding).userClick();
        });
    }
    // Far into a file, past the chunks already decoded.
    const std::string late = std::string(600000, 'A') + "!AAA";
    expectBothRefused(kDecode, late, "Invalid Base64 character '!' at position 600001.", [&](bool file) {
        open(kDecode, file);
        form.option("optTypeED", kBase64).userClick();
    });
}

}  // namespace
