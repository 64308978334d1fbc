// SPDX-License-Identifier: Apache-2.0
// Password containers both ways: what the "Symetric Encrypt/Decrypt" tab
// writes, from its boxes and from files, opens in quorval-cli, and what
// quorval-cli writes opens in the tab, over a covering design of the settings.

#include "tests/parity/ParitySupport.h"

using namespace fake;
using namespace parity;
using enginetest::readAll;
using enginetest::writeAll;

namespace {

// The window's list positions and option indexes, and the CLI's words for them.
const char* const kAlgorithms[] = {"aes", "twofish"};
const char* const kBits[] = {"128", "192", "256"};
const char* const kModes[] = {"ecb", "cbc"};
const char* const kPaddings[] = {"x923", "pkcs7", "zeros"};  // "FIPS81", "PCKS5", "ZeroPadding"
const char* const kEncodings[] = {"binary", "base64", "hex"};
const std::string kPassword = "p\xc3\xa4ss w0rd";
const std::string kIv = "an IV of our own";

enum { kAlgorithm, kKey, kMode, kPadding, kLevel, kEncoding, kSource, kIvGiven };

std::string describe(const std::vector<int>& row) {
    return std::string(kAlgorithms[row[kAlgorithm]]) + " " + kBits[row[kKey]] + " " + kModes[row[kMode]] + " " +
           kPaddings[row[kPadding]] + " level " + std::to_string(row[kLevel] - 1) + " " + kEncodings[row[kEncoding]] +
           (row[kSource] ? " file" : " text") + (row[kIvGiven] ? " iv" : "");
}

// Texts that trip padding, compression and encodings: empty, a block and a
// byte over, trailing zero bytes, UTF-8, every byte value, a larger one.
std::vector<std::string> samples() {
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(i);
    return {"", "0123456789abcdef", "0123456789abcdefg", std::string("ends in zeros\0\0\0", 16),
            "h\xc3\xa9llo w\xc3\xb6rld \xe2\x9c\x93", bytes,
            enginetest::pseudoRandom(300000, 5) + std::string(200000, 'z')};
}

class SymParity : public WindowFixture {
protected:
    void SetUp() override {
        // The window's derivation is cheap here; decryption takes the cost the data records.
        load([] { return engine::CreateEngineRoot(enginetest::fastOptions()); });
        selectTab(2);
        form.textBox("txtSymPass").type(kPassword);
        writeAll(dir.file("password"), kPassword);
    }

    void pick(const std::vector<int>& row) {
        form.comboBox("cboSymAlg").userSelect(row[kAlgorithm]);
        form.comboBox("cboSymKey").userSelect(row[kKey]);
        form.option("optCip", row[kMode]).userClick();
        form.comboBox("cboSymPad").userSelect(row[kPadding]);
        form.upDown("udSymLev").setValue(row[kLevel] - 1);
        form.option("optTypeSym", row[kEncoding]).userClick();
        form.textBox("txtSymIV").type(row[kIvGiven] ? kIv : "");
        form.option("optSym", row[kSource]).userClick();
        form.textBox("txtSymPass").type(kPassword);
    }
    // Encrypts or decrypts what the box reading it holds; the other box's text after.
    std::string run(bool encrypt, const std::string& input) {
        form.textBox(encrypt ? "txtContSym" : "txtResSym").setText(input);
        form.button(encrypt ? "cmdEncSym" : "cmdDecSym").userClick();
        return form.textBox(encrypt ? "txtResSym" : "txtContSym").text();
    }

    CliRun cli(const std::string& command, const std::vector<int>& row, std::vector<std::string> more) {
        std::vector<std::string> words = {QUORVAL_CLI, command, "--password-file", dir.file("password"),
                                          "--algorithm", kAlgorithms[row[kAlgorithm]], "--bits", kBits[row[kKey]]};
        words.insert(words.end(), more.begin(), more.end());
        return runIn(dir.path(), words);
    }

    enginetest::ScratchDir dir;
};

TEST_F(SymParity, WhatTheWindowEncryptsTheCliDecrypts) {
    const std::vector<std::string> texts = samples();
    const auto rows = coveringRows({{2}, {3}, {2}, {3}, {11}, {3}, {2}, {2}});
    size_t n = 0;
    for (const std::vector<int>& row : rows) {
        SCOPED_TRACE(describe(row));
        const std::string& plain = texts[n % texts.size()];
        const std::string name = dir.file("w" + std::to_string(n++) + ".txt");
        pick(row);
        std::string container;
        if (row[kSource]) {
            writeAll(name, plain);
            ASSERT_EQ(run(true, name), modUtils::AddFileSuffix(name, "Enc"));
            container = modUtils::AddFileSuffix(name, "Enc");
            // Without -o the CLI names its output as the window does.
            const CliRun r = cli("decrypt", row, {container});
            ASSERT_EQ(r.status, 0) << parity::describe(r);
            EXPECT_EQ(readAll(modUtils::AddFileSuffix(container, "Dec")), plain);
        } else {
            // The box's text, as a user saves it to a file.
            writeAll(name, run(true, plain));
            container = name;
            const CliRun r = cli("decrypt", row, {"-o", name + ".out", name});
            ASSERT_EQ(r.status, 0) << parity::describe(r);
            EXPECT_EQ(readAll(name + ".out"), plain);
        }
        EXPECT_EQ(headerOf(readAll(container)).form, "b6h"[row[kEncoding]]);
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_LE(rows.size(), 40u) << "a covering design, not the whole product";
}

TEST_F(SymParity, WhatTheCliEncryptsTheWindowDecryptsWithTheSettingsAsked) {
    const std::vector<std::string> texts = samples();
    // Every pair of the small settings and every level: the CLI derives its key at full cost.
    const auto rows = coveringRows({{2}, {3}, {2}, {3}, {11, false}, {3}, {2}, {2}});
    size_t n = 0;
    for (const std::vector<int>& row : rows) {
        SCOPED_TRACE(describe(row));
        const std::string& plain = texts[n % texts.size()];
        const std::string name = dir.file("c" + std::to_string(n++) + ".txt");
        writeAll(name, plain);
        std::vector<std::string> settings = {"--mode", kModes[row[kMode]], "--padding", kPaddings[row[kPadding]],
                                             "--level", std::to_string(row[kLevel] - 1),
                                             "--encoding", kEncodings[row[kEncoding]]};
        if (row[kIvGiven]) settings.insert(settings.end(), {"--iv", kIv});
        settings.push_back(name);
        const CliRun r = cli("encrypt", row, settings);
        ASSERT_EQ(r.status, 0) << parity::describe(r);
        const std::string container = modUtils::AddFileSuffix(name, "Enc");
        const std::string bytes = readAll(container);

        // The same header as the window writes for these settings, IV included when given.
        pick(row);
        form.option("optSym", 0).userClick();
        const Header ours = headerOf(bytes), window = headerOf(run(true, "x"));
        EXPECT_EQ(ours.form, window.form);
        EXPECT_EQ(enginetest::hexOf(ours.settings), enginetest::hexOf(window.settings));
        if (row[kIvGiven]) {
            EXPECT_EQ(ours.iv, window.iv);
        }

        if (row[kSource]) {
            form.option("optSym", 1).userClick();
            EXPECT_EQ(run(false, container), modUtils::AddFileSuffix(container, "Dec"));
            EXPECT_EQ(readAll(modUtils::AddFileSuffix(container, "Dec")), plain);
        } else {
            EXPECT_EQ(run(false, bytes), plain) << "pasted into the box";
        }
    }
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(SymParity, UnsetSettingsAreTheWindowsDefaults) {
    form.textBox("txtContSym").setText("x");
    form.button("cmdEncSym").userClick();
    const Header window = headerOf(form.textBox("txtResSym").text());
    writeAll(dir.file("plain.txt"), "x");
    const CliRun r = runIn(dir.path(), {QUORVAL_CLI, "encrypt", "--password-file", dir.file("password"), dir.file("plain.txt")});
    ASSERT_EQ(r.status, 0) << parity::describe(r);
    const Header cli = headerOf(readAll(dir.file("plainEnc.txt")));
    EXPECT_EQ(enginetest::hexOf(cli.settings), enginetest::hexOf(window.settings));
    EXPECT_EQ(cli.form, window.form);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

}  // namespace
