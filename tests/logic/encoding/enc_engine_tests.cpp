// SPDX-License-Identifier: Apache-2.0
// The "Encode/Decode" tab end to end over the real engine: round trips of
// texts and files, outputs checked against coreutils on the same bytes, what
// users paste, bad input and abort leave no output and keep an existing file.

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

using namespace fake;
using enginetest::readAll;
using enginetest::writeAll;
namespace fs = std::filesystem;

namespace {

enum { kBase64 = 1, kHex = 2 };

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

// What a command prints, or nullopt when it cannot run.
std::optional<std::string> outputOf(const std::string& command) {
    return enginetest::run(command + " 2>/dev/null");
}

// Sizes that break group code (0 to 4 bytes), every byte value, and more than
// several chunks of the engine's file streaming, past its two-thread threshold.
std::vector<std::string> samples() {
    std::vector<std::string> out = {"", "a", "ab", "abc", std::string("\0\xff\x10\x80", 4)};
    std::string all(256, '\0');
    for (int i = 0; i < 256; ++i) all[i] = static_cast<char>(i);
    out.push_back(all);
    std::string large((3 << 20) + 2, '\0');
    uint32_t x = 12345;
    for (char& c : large) c = static_cast<char>((x = x * 1103515245 + 12345) >> 23);
    out.push_back(large);
    return out;
}

class EncodingTabEngine : public WindowFixture {
protected:
    void SetUp() override {
        load([] { return engine::CreateEngineRoot(); });
        selectTab(4);
    }

    void settings(int encoding, int source) {
        form.option("optTypeED", encoding).userClick();
        form.option("optED", source).userClick();
    }
    std::string encodeText(int encoding, const std::string& text) {
        settings(encoding, 0);
        form.textBox("txtContED").type(text);
        form.button("cmdEncED").userClick();
        return form.textBox("txtResED").text();
    }
    std::string decodeText(int encoding, const std::string& text) {
        settings(encoding, 0);
        form.textBox("txtResED").type(text);
        form.button("cmdDecED").userClick();
        return form.textBox("txtContED").text();
    }
    std::string encodeFile(int encoding, const fs::path& path) {
        settings(encoding, 1);
        form.textBox("txtContED").type(path.string());
        form.button("cmdEncED").userClick();
        return form.textBox("txtResED").text();
    }
    std::string decodeFile(int encoding, const fs::path& path) {
        settings(encoding, 1);
        form.textBox("txtResED").type(path.string());
        form.button("cmdDecED").userClick();
        return form.textBox("txtContED").text();
    }
    // coreutils' encoding of the same bytes, hex in our lower case.
    std::string peer(int encoding, const fs::path& file) {
        auto out =
            outputOf((encoding == kBase64 ? "base64 -w0 '" : "basenc --base16 -w0 '") + file.string() + "'");
        if (!out) ADD_FAILURE() << "coreutils could not encode " << file;
        return encoding == kHex ? lower(out.value_or("?")) : out.value_or("?");
    }
    enginetest::ScratchDir scratch;
    const fs::path dir{scratch.path()};
};

TEST_F(EncodingTabEngine, TextsAndFilesMatchCoreutilsAndComeBackByteForByte) {
    int n = 0;
    for (const std::string& bytes : samples()) {
        for (int encoding : {kBase64, kHex}) {
            const fs::path source = dir / ("s" + std::to_string(n++) + ".bin");
            writeAll(source, bytes);
            const std::string expected = peer(encoding, source);
            const std::string encoded = encodeText(encoding, bytes);
            EXPECT_EQ(encoded, expected) << encoding << ", " << bytes.size() << " bytes";
            EXPECT_TRUE(decodeText(encoding, encoded) == bytes)
                << encoding << ", " << bytes.size() << " bytes";

            const std::string encodedFile = encodeFile(encoding, source);
            EXPECT_TRUE(readAll(encodedFile) == expected) << encoding << ", " << bytes.size() << " bytes";
            EXPECT_TRUE(readAll(decodeFile(encoding, encodedFile)) == bytes)
                << encoding << ", " << bytes.size();
            EXPECT_TRUE(readAll(source) == bytes) << "the source is only read";
        }
    }
    EXPECT_TRUE(ui.messageBoxes.empty()) << ui.messageBoxes[0].text;
}

TEST_F(EncodingTabEngine, DecodingTakesWhatUsersPaste) {
    EXPECT_EQ(decodeText(kBase64, "  Zm9v\r\nYmFy\n"), "foobar");
    EXPECT_EQ(decodeText(kHex, "66 6F\n6f626172\r\n"), "foobar");
    EXPECT_EQ(decodeText(kHex, "666F6F626172"), "foobar");

    // coreutils' own line-wrapped and upper-case forms, from files.
    const std::string bytes = samples().back();
    writeAll(dir / "src.bin", bytes);
    auto wrapped = outputOf("base64 '" + (dir / "src.bin").string() + "'");
    auto upper = outputOf("basenc --base16 '" + (dir / "src.bin").string() + "'");
    ASSERT_TRUE(wrapped && upper);
    writeAll(dir / "wrapped.txt", *wrapped);
    writeAll(dir / "upper.txt", *upper);
    EXPECT_TRUE(readAll(decodeFile(kBase64, dir / "wrapped.txt")) == bytes);
    EXPECT_TRUE(readAll(decodeFile(kHex, dir / "upper.txt")) == bytes);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(EncodingTabEngine, BadTextIsOneBoxSayingWhatAndWhereAndAnEmptyTarget) {
    const struct {
        int encoding;
        const char* text;
        const char* says;
    } cases[] = {
        {kBase64, "Zm9v*mFy", "'*' at position 5"},
        {kBase64, "Zm9vY", "position 5"},
        {kBase64, "Zg==Zg==", "'Z' after the padding at position 5"},
        {kBase64, "Zm9v=", "padding"},
        {kHex, "66g6", "'g' at position 3"},
        {kHex, "666", "position 3"},
    };
    bool barVisibleAtBox = true;
    ui.onMessageBox = [&](const RecordedMessageBox&) {
        barVisibleAtBox = form.progressBar("pgBar").isVisible();
    };
    for (const auto& c : cases) {
        ui.messageBoxes.clear();
        form.textBox("txtContED").setText("previous");
        EXPECT_EQ(decodeText(c.encoding, c.text), "") << c.text;
        ASSERT_EQ(ui.messageBoxes.size(), 1u) << c.text;
        EXPECT_EQ(ui.messageBoxes[0].title, "clsEnc ->Function Decode ");
        EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
        EXPECT_NE(ui.messageBoxes[0].text.find(c.says), std::string::npos) << ui.messageBoxes[0].text;
        EXPECT_EQ(form.textBox("txtResED").text(), c.text) << "the source box stays";
        EXPECT_FALSE(barVisibleAtBox) << "hidden before the box";
    }
}

TEST_F(EncodingTabEngine, ABadFileLeavesNoOutputAndAnExistingOneUntouchedEvenAfterYes) {
    // The fault lies past the first chunks, so output has begun before it is found.
    std::string text(600000, 'A');
    text += "!AAA";
    writeAll(dir / "bad.txt", text);
    EXPECT_EQ(decodeFile(kBase64, dir / "bad.txt"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsEnc ->Function Decode ");
    EXPECT_NE(ui.messageBoxes[0].text.find("'!' at position 600001"), std::string::npos)
        << ui.messageBoxes[0].text;
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"bad.txt"}));

    writeAll(dir / "badDec.txt", "keep");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    EXPECT_EQ(decodeFile(kBase64, dir / "bad.txt"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 3u) << "the question, then the failure";
    EXPECT_EQ(ui.messageBoxes[1].buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(readAll(dir / "badDec.txt"), "keep");
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"bad.txt", "badDec.txt"}));

    // A missing source names itself.
    ui.messageBoxes.clear();
    EXPECT_EQ(encodeFile(kHex, dir / "missing.bin"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_NE(ui.messageBoxes[0].text.find("missing.bin"), std::string::npos) << ui.messageBoxes[0].text;
}

TEST_F(EncodingTabEngine, AbortLeavesNoOutputAndAnExistingTargetAsItWas) {
    writeAll(dir / "big.bin", std::string(48 << 20, 'x'));
    writeAll(dir / "bigEnc.bin", "keep");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    ui.onDoEvents = [&](int call) {
        if (call == 1) form.button("cmdAbort").userClick();
    };
    EXPECT_EQ(encodeFile(kBase64, dir / "big.bin"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "clsEnc ->Function Encode ");
    EXPECT_NE(ui.messageBoxes[1].text.find("abort"), std::string::npos) << ui.messageBoxes[1].text;
    EXPECT_EQ(readAll(dir / "bigEnc.bin"), "keep");
    EXPECT_EQ(scratch.names(), (std::vector<std::string>{"big.bin", "bigEnc.bin"}));
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
}

}  // namespace
