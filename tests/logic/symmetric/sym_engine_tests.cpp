// SPDX-License-Identifier: Apache-2.0
// The "Symetric Encrypt/Decrypt" tab end to end over the real engine: round
// trips through both boxes for every setting, bad input, files large and
// small, abort, and what a failed run leaves on disk.

#include <array>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

using namespace fake;
using namespace enginetest;

namespace {

struct Settings {
    int algorithm;  // list positions and option indexes, as the user picks them
    int key;
    int mode;
    int padding;
    int level;
    int encoding;
};

std::ostream& operator<<(std::ostream& out, const Settings& s) {
    return out << "alg " << s.algorithm << " key " << s.key << " mode " << s.mode << " pad " << s.padding
               << " level " << s.level << " enc " << s.encoding;
}

class SymEngine : public WindowFixture {
protected:
    void SetUp() override {
        load([this] { return engine::CreateEngineRoot(options()); });
        selectTab(2);
    }
    // Cheap key derivation keeps the many round trips fast.
    virtual engine::EngineOptions options() const { return fastOptions(); }

    void pick(const Settings& s) {
        form.comboBox("cboSymAlg").userSelect(s.algorithm);
        form.comboBox("cboSymKey").userSelect(s.key);
        form.option("optCip", s.mode).userClick();
        form.comboBox("cboSymPad").userSelect(s.padding);
        form.upDown("udSymLev").setValue(s.level);
        form.option("optTypeSym", s.encoding).userClick();
    }
    void password(const std::string& text) { form.textBox("txtSymPass").type(text); }
    void fileMode() { form.option("optSym", 1).userClick(); }

    FakeTextBox& source() { return form.textBox("txtContSym"); }
    FakeTextBox& result() { return form.textBox("txtResSym"); }

    std::string encrypt(const std::string& plain) {
        source().setText(plain);
        form.button("cmdEncSym").userClick();
        return result().text();
    }
    // Decrypts what the right box holds, untouched.
    std::string decrypt() {
        source().setText("stale");
        form.button("cmdDecSym").userClick();
        return source().text();
    }

    // Decrypting must fail with one box under the decryption title and leave the left box empty.
    std::string expectDecryptionRefused() {
        ui.messageBoxes.clear();
        EXPECT_EQ(decrypt(), "");
        EXPECT_EQ(ui.messageBoxes.size(), 1u);
        if (ui.messageBoxes.empty()) return "";
        EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function DecryptSym");
        EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
        return ui.messageBoxes[0].text;
    }
};

std::vector<std::string> sampleTexts() {
    std::string nul("a\0b\0\0c", 6);
    for (int i = 0; i < 256; ++i) nul.push_back(static_cast<char>(i));
    return {"",
            "x",
            "0123456789abcdef",   // one block
            "0123456789abcdefg",  // one byte over
            "h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93 \xd0\xba\xd0\xbb\xd1\x8e\xd1\x87 \xe9\x8d\xb5",
            nul,
            std::string(15, '\0'),
            pseudoRandom(100000, 3) + std::string(100000, 'z')};
}

TEST_F(SymEngine, EveryCombinationOfSettingsRoundTripsThroughBothBoxes) {
    const std::vector<std::string> texts = sampleTexts();
    password("p\xc3\xa4ss");
    size_t runs = 0;
    for (int algorithm = 0; algorithm < 2; ++algorithm)
        for (int key = 0; key < 3; ++key)
            for (int mode = 0; mode < 2; ++mode)
                for (int padding = 0; padding < 3; ++padding)
                    for (int level = -1; level <= 9; ++level)
                        for (int encoding = 0; encoding < 3; ++encoding) {
                            const Settings s{algorithm, key, mode, padding, level, encoding};
                            const std::string& plain = texts[runs++ % texts.size()];
                            pick(s);
                            const std::string cipher = encrypt(plain);
                            ASSERT_FALSE(cipher.empty()) << s;
                            ASSERT_EQ(decrypt(), plain) << s << " text " << (runs - 1) % texts.size();
                        }
    EXPECT_EQ(runs, 1188u) << "every text meets every encoding and algorithm";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(SymEngine, BinaryCipherTextWithNulBytesDecryptsFromTheBoxAsItStands) {
    pick({1, 2, 1, 1, 0, 0});
    std::string cipher;
    for (int attempt = 0; attempt < 64 && cipher.find('\0') == std::string::npos; ++attempt)
        cipher = encrypt("a text whose cipher text holds NUL bytes");
    ASSERT_NE(cipher.find('\0'), std::string::npos) << "every container has a fresh salt";
    EXPECT_EQ(decrypt(), "a text whose cipher text holds NUL bytes");
}

TEST_F(SymEngine, BadInputGivesOneClearBoxAndAnEmptyBox) {
    password("right");
    pick({1, 1, 1, 1, -1, 1});  // Twofish, 192 bits
    ASSERT_FALSE(encrypt("secret text").empty());
    const std::string cipher = result().text();

    // Every settings change empties the right box: put the cipher text back each time.
    password("wrong");
    result().setText(cipher);
    EXPECT_NE(expectDecryptionRefused().find("wrong password"), std::string::npos);

    password("right");
    form.comboBox("cboSymAlg").userSelect(0);
    result().setText(cipher);
    std::string text = expectDecryptionRefused();
    EXPECT_NE(text.find("Twofish"), std::string::npos) << text;
    EXPECT_NE(text.find("192"), std::string::npos) << text;
    form.comboBox("cboSymAlg").userSelect(1);
    form.comboBox("cboSymKey").userSelect(2);
    result().setText(cipher);
    text = expectDecryptionRefused();
    EXPECT_NE(text.find("192"), std::string::npos) << text;

    form.comboBox("cboSymKey").userSelect(1);
    for (size_t at : {size_t(0), size_t(20), cipher.size() / 2, cipher.size() - 3}) {
        std::string damaged = cipher;
        damaged[at] = damaged[at] == 'A' ? 'B' : 'A';
        result().setText(damaged);
        expectDecryptionRefused();
    }
    result().setText(cipher.substr(0, cipher.size() - 5));
    expectDecryptionRefused();
    for (const char* never : {"secret text", "", "8f515256431a", "j1FSVkMa"}) {
        result().setText(never);
        expectDecryptionRefused();
    }

    result().setText(cipher);
    ui.messageBoxes.clear();
    EXPECT_EQ(decrypt(), "secret text") << "the right settings still work";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

class SymEngineFiles : public SymEngine {
protected:
    void SetUp() override {
        SymEngine::SetUp();
        fileMode();
    }
    std::string encryptFile(const std::string& path) {
        source().setText(path);
        form.button("cmdEncSym").userClick();
        return result().text();
    }
    std::string decryptFile(const std::string& path) {
        result().setText(path);
        form.button("cmdDecSym").userClick();
        return source().text();
    }

    ScratchDir dir;
};

TEST_F(SymEngineFiles, SmallFilesRoundTripWithEverySettingAndTheSourceStaysAsItWas) {
    const std::vector<std::string> contents = {"", "x", pseudoRandom(16), pseudoRandom(17), pseudoRandom(300000, 9)};
    int n = 0;
    for (int algorithm = 0; algorithm < 2; ++algorithm)
        for (int encoding = 0; encoding < 3; ++encoding)
            for (int level : {-1, 0, 9})
                for (const std::string& content : contents) {
                    const Settings s{algorithm, n % 3, n % 2, (n / 2) % 3, level, encoding};
                    ++n;
                    pick(s);
                    const std::string plain = dir.file("data" + std::to_string(n) + ".bin");
                    writeAll(plain, content);
                    const std::string sealed = encryptFile(plain);
                    ASSERT_EQ(sealed, dir.file("data" + std::to_string(n) + "Enc.bin")) << s;
                    const std::string opened = decryptFile(sealed);
                    ASSERT_EQ(opened, dir.file("data" + std::to_string(n) + "EncDec.bin")) << s;
                    EXPECT_EQ(readAll(opened), content) << s << " size " << content.size();
                    EXPECT_EQ(readAll(plain), content) << "the source is never modified";
                }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

// Compares two files in pieces, so that large ones need little memory.
bool sameFiles(const std::string& a, const std::string& b) {
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> p(1 << 20), q(1 << 20);
    while (x && y) {
        x.read(p.data(), static_cast<std::streamsize>(p.size()));
        y.read(q.data(), static_cast<std::streamsize>(q.size()));
        if (x.gcount() != y.gcount() || !std::equal(p.begin(), p.begin() + x.gcount(), q.begin())) return false;
    }
    return x.eof() && y.eof();
}

void writeLarge(const std::string& path, uint64_t bytes) {
    std::ofstream out(path, std::ios::binary);
    std::vector<uint64_t> block(1 << 17);
    uint64_t state = 0x9E3779B97F4A7C15ull;
    for (uint64_t done = 0; done < bytes;) {
        for (auto& word : block) {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            word = state;
        }
        const uint64_t n = std::min<uint64_t>(bytes - done, block.size() * sizeof(uint64_t));
        out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
        done += n;
    }
}

TEST_F(SymEngineFiles, AFileOfAFewHundredMiBRoundTripsByteForByteWithARisingBar) {
    const std::string plain = dir.file("large.bin");
    writeLarge(plain, (256ull << 20) + 12345);
    pick({0, 2, 1, 1, 0, 0});  // AES-256 CBC
    // An interval passes every few reads: a busy machine could otherwise run
    // many reads between two of its turns.
    const TestPacingClock clock(engine::detail::Progress::kMinInterval / 4);
    int yields = 0;
    ui.onDoEvents = [&](int) { ++yields; };
    const std::string sealed = encryptFile(plain);
    ASSERT_EQ(sealed, dir.file("largeEnc.bin"));
    EXPECT_GT(yields, 10) << "the window stayed responsive";
    const std::vector<int>& values = form.progressBar("pgBar").values;
    EXPECT_GT(std::count_if(values.begin(), values.end(), [](int v) { return v > 0 && v < 100; }), 5);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end() - 1)) << "the bar only rises until it is reset";
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());

    const std::string opened = decryptFile(sealed);
    ASSERT_EQ(opened, dir.file("largeEncDec.bin"));
    EXPECT_TRUE(sameFiles(plain, opened));
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
}

TEST_F(SymEngineFiles, AbortLeavesNoFileAndAnExistingTargetIntact) {
    const std::string plain = dir.file("big.bin");
    writeLarge(plain, 96ull << 20);
    pick({1, 2, 1, 1, 0, 0});
    // The third report comes while the file is read, however busy the machine.
    const TestPacingClock clock(engine::detail::Progress::kMinInterval / 4);
    ui.onDoEvents = [&](int call) {
        if (call == 3) form.button("cmdAbort").userClick();
    };
    EXPECT_EQ(encryptFile(plain), "");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function CryptSym");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"big.bin"}) << "no output and no temporary file";

    writeAll(dir.file("bigEnc.bin"), "precious");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    ui.doEventsCount = 0;
    EXPECT_EQ(encryptFile(plain), "");
    EXPECT_EQ(ui.messageBoxes.size(), 3u) << "the question, then the abort";
    EXPECT_EQ(readAll(dir.file("bigEnc.bin")), "precious");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"big.bin", "bigEnc.bin"}));
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
}

TEST_F(SymEngineFiles, AFailedDecryptionNeverDamagesAnExistingFile) {
    const std::string plain = dir.file("note.txt");
    writeAll(plain, "the note");
    password("right");
    pick({0, 0, 0, 2, 5, 2});
    const std::string sealed = encryptFile(plain);
    ASSERT_EQ(sealed, dir.file("noteEnc.txt"));
    writeAll(dir.file("noteEncDec.txt"), "older decryption");

    password("wrong");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    EXPECT_EQ(decryptFile(sealed), "");
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "clsSym -> Function DecryptSym");
    EXPECT_EQ(readAll(dir.file("noteEncDec.txt")), "older decryption");

    // Damaged in the middle: refused before anything is written.
    std::string bytes = readAll(sealed);
    bytes[bytes.size() / 2] = bytes[bytes.size() / 2] == '0' ? '1' : '0';
    writeAll(sealed, bytes);
    password("right");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    EXPECT_EQ(decryptFile(sealed), "");
    EXPECT_EQ(ui.messageBoxes.size(), 4u);
    EXPECT_EQ(readAll(dir.file("noteEncDec.txt")), "older decryption");

    EXPECT_EQ(decryptFile(dir.file("absent.txt")), "");
    EXPECT_EQ(ui.messageBoxes.size(), 5u);
    EXPECT_NE(ui.messageBoxes[4].text.find("absent.txt"), std::string::npos) << ui.messageBoxes[4].text;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"note.txt", "noteEnc.txt", "noteEncDec.txt"}));
}

// At the engine's own key-derivation cost, as the program runs.
class SymProductionCost : public SymEngine {
protected:
    engine::EngineOptions options() const override { return {}; }
};

TEST_F(SymProductionCost, RoundTripsAndThePublishedVectorDecrypt) {
    password("Quorval test vector");
    form.comboBox("cboSymAlg").userSelect(0);
    result().setText(readAll(std::string(QUORVAL_TEST_DATA) + "/aes256-cbc-pkcs7.b64"));
    EXPECT_EQ(decrypt(), "The quick brown fox jumps over the lazy dog.\n");

    const struct {
        Settings settings;
        std::string plain;
    } cases[] = {{{0, 2, 1, 1, 0, 1}, "AES-256 CBC PKCS#7"},
                 {{1, 0, 0, 2, 9, 2}, std::string(5000, 'r')},
                 {{1, 2, 1, 0, -1, 0}, std::string("\0\x01\x02", 3)}};
    for (const auto& c : cases) {
        pick(c.settings);
        encrypt(c.plain);
        EXPECT_EQ(decrypt(), c.plain) << c.settings;
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

}  // namespace
