// SPDX-License-Identifier: Apache-2.0
// The asymmetric tab end to end over the real engine: round trips and
// signatures at every key size and schema, key files checked with OpenSSL,
// and bad input that must give one clear message and lose nothing.

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "engine/EngineTestSupport.h"
#include "tests/logic/asymmetric/AsymTestSupport.h"

using namespace fake;
using enginetest::pseudoRandom;
using enginetest::readAll;
namespace fs = std::filesystem;

namespace {

int run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()); }

class AsymEngine : public AsymFixture {
protected:
    void SetUp() override {
        load([] { return engine::CreateEngineRoot(); });
        selectTab(3);
    }

    std::string path(const std::string& name) { return dir.file(name); }
    std::string writeFile(const std::string& name, const std::string& content) {
        enginetest::writeAll(path(name), content);
        return path(name);
    }

    void generateKeys(int size, int schema) {
        form.comboBox("cboAsymKey").userSelect(size);
        form.comboBox("cboAsymSchema").userSelect(schema);
        generate();
        ASSERT_TRUE(tab().asymKeyReady());
    }
    void useText() { form.option("optAsym", 0).userClick(); }
    void useFile() { form.option("optAsym", 1).userClick(); }
    void encoding(int code) { form.option("optTypeAsym", code).userClick(); }

    std::string encryptText(const std::string& plain) {
        type("txtContAsym", plain);
        click("cmdEncAsym");
        return text("txtResAsym");
    }
    // Decrypts what the result box holds.
    std::string decrypt() {
        click("cmdDecAsym");
        return text("txtContAsym");
    }
    std::string verify() {
        const size_t before = ui.messageBoxes.size();
        click("cmdAsymVerifSign");
        if (ui.messageBoxes.size() != before + 1)
            return "(" + std::to_string(ui.messageBoxes.size() - before) + " boxes)";
        const std::string answer = ui.messageBoxes.back().text;
        ui.messageBoxes.pop_back();
        return answer;
    }
    void expectNoMessages(const char* where) {
        EXPECT_TRUE(ui.messageBoxes.empty())
            << where << ": " << (ui.messageBoxes.empty() ? "" : ui.messageBoxes[0].text);
    }
    void expectOneError(const std::string& title, const char* where) {
        ASSERT_EQ(ui.messageBoxes.size(), 1u) << where;
        EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error) << where;
        EXPECT_EQ(ui.messageBoxes[0].title, title) << where;
        EXPECT_FALSE(ui.messageBoxes[0].text.empty());
        ui.messageBoxes.clear();
    }

    enginetest::ScratchDir dir;
};

TEST_F(AsymEngine, EveryKeySizeAndSchemaRoundTripsTextsAndFilesAndSigns) {
    const std::string longText = pseudoRandom(300000, 7);  // far more than one RSA block
    const std::string file = writeFile("data.bin", pseudoRandom(1500000, 8));
    const std::string empty = writeFile("none.txt", "");
    for (int size = 0; size < 3; ++size) {
        for (int schema = 0; schema < 2; ++schema) {
            SCOPED_TRACE("key " + std::to_string(size) + " schema " + std::to_string(schema));
            useText();
            generateKeys(size, schema);
            for (int enc = 0; enc < 3; ++enc) {
                encoding(enc);
                for (const std::string& plain : {std::string("Hello, Quorval!"), std::string(), longText}) {
                    const std::string cipher = encryptText(plain);
                    EXPECT_FALSE(cipher.empty());
                    EXPECT_EQ(decrypt(), plain);
                }
                type("txtContAsym", "sign me");
                click("cmdAsign");
                EXPECT_FALSE(text("txtResAsym").empty());
                EXPECT_EQ(verify(), "Valid signature ") << "encoding " << enc;
                type("txtContAsym", "sign me!");
                EXPECT_EQ(verify(), "Invalid signature ") << "a changed text";
            }
            useFile();
            for (const std::string& source : {file, empty}) {
                type("txtContAsym", source);
                click("cmdEncAsym");
                const std::string encrypted = modUtils::AddFileSuffix(source, "Enc");
                ASSERT_EQ(text("txtResAsym"), encrypted);
                ui.messageAnswers.push_back(ui::MsgAnswer::Yes);  // the earlier round's output
                click("cmdDecAsym");
                ASSERT_EQ(text("txtContAsym"), modUtils::AddFileSuffix(encrypted, "Dec"));
                EXPECT_EQ(readAll(text("txtContAsym")), readAll(source));
                ui.messageAnswers.clear();
                fs::remove(encrypted);
                fs::remove(modUtils::AddFileSuffix(encrypted, "Dec"));
            }
            type("txtContAsym", file);
            click("cmdAsign");
            EXPECT_EQ(verify(), "Valid signature ") << "a file";
            expectNoMessages("round trips");
            ui.messageBoxes.clear();
        }
    }
}

TEST_F(AsymEngine, ASignatureInAnyEncodingVerifiesAndAChangedOneDoesNot) {
    generateKeys(1, 0);
    type("txtContAsym", "signed text");
    std::vector<std::string> signatures;
    for (int enc = 0; enc < 3; ++enc) {
        encoding(enc);
        click("cmdAsign");
        signatures.push_back(text("txtResAsym"));
    }
    EXPECT_EQ(signatures[0].size(), 128u);
    EXPECT_EQ(signatures[2].size(), 256u);
    for (const std::string& signature : signatures) {
        type("txtResAsym", signature);
        EXPECT_EQ(verify(), "Valid signature ");
        std::string changed = signature;
        // '0' and '1' differ in every encoding (hex digits ignore case).
        changed[changed.size() / 2] = changed[changed.size() / 2] == '0' ? '1' : '0';
        type("txtResAsym", changed);
        EXPECT_EQ(verify(), "Invalid signature ") << "no error box, only the answer";
        type("txtResAsym", signature.substr(0, signature.size() - 3));
        EXPECT_EQ(verify(), "Invalid signature ");
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymEngine, SavedKeysAreStandardFilesAndWorkAfterLoadingBack) {
    generateKeys(1, 0);
    encoding(1);
    const std::string cipher = encryptText("secret words");
    type("txtContAsym", "signed words");
    click("cmdAsign");
    const std::string signature = text("txtResAsym");

    const std::string privateFile = path("private.pem");
    const std::string publicFile = writeFile("public.pem", "an old file the save replaces");
    fs::permissions(publicFile, fs::perms::all);
    save(1, privateFile);
    save(0, publicFile);
    expectNoMessages("saving");
    struct stat st {};
    ASSERT_EQ(stat(privateFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "a private key is readable by its owner only";
    EXPECT_EQ(run("openssl pkey -in '" + privateFile + "' -check -noout"), 0);
    EXPECT_EQ(run("openssl pkey -pubin -in '" + publicFile + "' -noout"), 0);
    EXPECT_EQ(run("openssl pkey -in '" + privateFile + "' -pubout | cmp -s - '" + publicFile + "'"), 0)
        << "the public file is the private key's public half";

    // A private key, then its related public key: a whole pair again.
    loadKey(1, privateFile);
    EXPECT_EQ(actions(), "Dec Sign");
    type("txtResAsym", cipher);
    EXPECT_EQ(decrypt(), "secret words");
    loadRelated(publicFile);
    expectNoMessages("loading the pair");
    EXPECT_EQ(actions(), "Enc Dec Sign");
    type("txtContAsym", "signed words");
    click("cmdAsign");
    EXPECT_EQ(text("txtResAsym"), signature) << "the same key signs alike";
    type("txtContAsym", "signed words");
    EXPECT_EQ(verify(), "Valid signature ");
    encryptText("round trip");
    EXPECT_EQ(decrypt(), "round trip");

    // A public key alone encrypts for the saved private key.
    ui.messageBoxes.clear();
    loadKey(0, publicFile);
    EXPECT_EQ(actions(), "Enc");
    const std::string forPrivate = encryptText("to the owner");
    loadKey(1, privateFile);
    type("txtResAsym", forPrivate);
    EXPECT_EQ(decrypt(), "to the owner");
    expectNoMessages("public then private");
}

TEST_F(AsymEngine, KeysMadeByOpenSslLoadAndWork) {
    const std::string privateFile = path("ossl.pem");
    const std::string publicFile = path("ossl-pub.pem");
    ASSERT_EQ(run("openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:1024 -out '" + privateFile + "'"),
              0);
    ASSERT_EQ(run("openssl pkey -in '" + privateFile + "' -pubout -out '" + publicFile + "'"), 0);
    generateKeys(0, 0);
    loadKey(0, publicFile);
    const std::string cipher = encryptText("interoperable");
    loadKey(1, privateFile);
    type("txtResAsym", cipher);
    EXPECT_EQ(decrypt(), "interoperable");
    expectNoMessages("OpenSSL keys");
}

TEST_F(AsymEngine, BadKeyFilesGiveOneMessageAndCloseTheTab) {
    generateKeys(0, 0);
    const std::string privateFile = path("private.pem");
    const std::string publicFile = path("public.pem");
    save(1, privateFile);
    save(0, publicFile);
    const std::string pem = readAll(privateFile);
    const struct {
        const char* what;
        int kind;
        std::string file;
    } cases[] = {
        {"garbage", 1, writeFile("garbage.pem", pseudoRandom(700, 3))},
        {"a public key loaded as private", 1, publicFile},
        {"a private key loaded as public", 0, privateFile},
        {"a truncated key file", 1, writeFile("cut.pem", pem.substr(0, pem.size() / 2))},
        {"a missing file", 0, path("nowhere.pem")},
        {"an empty file", 0, writeFile("empty.pem", "")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui.messageBoxes.clear();
        loadKey(c.kind, c.file);
        expectOneError("clsAsym ->Function KeyLoadFromFile ", c.what);
        EXPECT_FALSE(tab().asymKeyReady());
        EXPECT_EQ(actions(), "");
        EXPECT_EQ(captions(), "Load Key / Load Key Related");
    }
    EXPECT_EQ(readAll(privateFile), pem) << "nothing is written by loading";

    // A failed related load keeps the key loaded before it.
    loadKey(1, privateFile);
    ui.messageBoxes.clear();
    loadRelated(path("garbage.pem"));
    expectOneError("clsAsym ->Function KeyLoadFromFile ", "related");
    EXPECT_EQ(actions(), "Dec Sign");
    type("txtContAsym", "still signs");
    click("cmdAsign");
    EXPECT_FALSE(text("txtResAsym").empty());
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymEngine, ForeignOrDamagedCipherTextsAreRefusedAndWriteNothing) {
    generateKeys(1, 0);
    encoding(2);
    const std::string cipher = encryptText("for the first key only");
    type("txtAsymSeed", "another pair");
    generate();
    type("txtResAsym", cipher);
    EXPECT_EQ(decrypt(), "");
    expectOneError("clsAsym ->Function DecryptAsym ", "another key");
    EXPECT_EQ(text("txtResAsym"), cipher) << "the cipher text stays";

    const std::string mine = encryptText("mine");
    std::string damaged = mine;
    damaged[damaged.size() - 10] = damaged[damaged.size() - 10] == '0' ? '1' : '0';
    type("txtResAsym", damaged);
    EXPECT_EQ(decrypt(), "");
    expectOneError("clsAsym ->Function DecryptAsym ", "damaged");
    type("txtResAsym", mine.substr(0, mine.size() / 2));
    EXPECT_EQ(decrypt(), "");
    expectOneError("clsAsym ->Function DecryptAsym ", "cut short");

    // A file: no output appears, an existing one is kept.
    useFile();
    const std::string source = writeFile("letter.txt", "file contents");
    type("txtContAsym", source);
    click("cmdEncAsym");
    const std::string encrypted = text("txtResAsym");
    std::string bytes = readAll(encrypted);
    bytes[bytes.size() / 2] ^= 0x40;
    writeFile("letterEnc.txt", bytes);
    click("cmdDecAsym");
    expectOneError("clsAsym ->Function DecryptAsym ", "damaged file");
    EXPECT_FALSE(fs::exists(path("letterEncDec.txt")));
    writeFile("letterEncDec.txt", "keep me");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    click("cmdDecAsym");
    ASSERT_EQ(ui.messageBoxes.size(), 2u) << "the question, then the failure";
    EXPECT_EQ(readAll(path("letterEncDec.txt")), "keep me") << "a failed run destroys nothing";
    ui.messageBoxes.clear();

    type("txtResAsym", path("missing.bin"));
    click("cmdDecAsym");
    expectOneError("clsAsym ->Function DecryptAsym ", "missing file");
}

TEST_F(AsymEngine, AFailedSaveLeavesWhatWasThere) {
    generateKeys(0, 1);
    save(1, path("no-such-folder/key.pem"));
    expectOneError("clsAsym ->Function KeySaveToFile ", "a missing folder");
    fs::create_directories(path("taken.pem"));
    writeFile("taken.pem/inside", "x");
    save(0, path("taken.pem"));
    expectOneError("clsAsym ->Function KeySaveToFile ", "a folder of that name");
    EXPECT_EQ(readAll(path("taken.pem/inside")), "x");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "no temporary file left";
}

}  // namespace
