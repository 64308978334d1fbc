// SPDX-License-Identifier: Apache-2.0
// The encoder wrapper and the "Encode/Decode" tab's operations over a scripted
// engine: wrapper reuse across directions, failure reporting, the replace
// question, the busy state and abort.

#include <fstream>

#include "encoding/clsEnc.h"
#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

using namespace fake;
using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;

namespace {

class EncodingTab : public WindowFixture {
protected:
    void SetUp() override {
        load();
        selectTab(4);
        ON_CALL(*root, NewEncoder(_)).WillByDefault(Invoke([this](engine::OutputEncoding code) {
            codes.push_back(codeOf(code));
            auto encoder = std::make_shared<NiceMock<MockEngineEncoder>>();
            const std::string tag = std::to_string(codeOf(code));
            ON_CALL(*encoder, EncodeText(_)).WillByDefault(Invoke([tag](const engine::Text& t) {
                return "enc" + tag + "(" + t + ")";
            }));
            ON_CALL(*encoder, DecodeText(_)).WillByDefault(Invoke([tag](const engine::Text& t) {
                return "dec" + tag + "(" + t + ")";
            }));
            lastEncoder = encoder;
            return encoder;
        }));
    }

    void encode() { form.button("cmdEncED").userClick(); }
    void decode() { form.button("cmdDecED").userClick(); }
    FakeTextBox& left() { return form.textBox("txtContED"); }
    FakeTextBox& right() { return form.textBox("txtResED"); }

    std::vector<int32_t> codes;
    std::shared_ptr<NiceMock<MockEngineEncoder>> lastEncoder;
};

TEST_F(EncodingTab, StartsOnBase64WithBinaryGreyedAndTheFirstEncodeMakesABase64Wrapper) {
    EXPECT_TRUE(form.option("optTypeED", 1).value());
    EXPECT_FALSE(form.option("optTypeED", 0).isEnabled());
    EXPECT_TRUE(form.option("optED", 0).value());
    left().type("abc");
    encode();
    EXPECT_EQ(codes, (std::vector<int32_t>{1}));
    EXPECT_EQ(right().text(), "enc1(abc)");
    EXPECT_EQ(window->encodingTab().encWrapper()->iEncodingType(), 1);
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
}

TEST_F(EncodingTab, UnloadReleasesItsWrapperWithTheOtherTabs) {
    left().type("abc");
    encode();
    ASSERT_TRUE(window->encodingTab().encWrapper());
    form.button("cmdOk").userClick();
    EXPECT_FALSE(window->encodingTab().encWrapper());
    EXPECT_EQ(lastEncoder.use_count(), 1) << "only the test holds the encoder now";
}

TEST_F(EncodingTab, BothDirectionsShareOneWrapperUntilTheEncodingChanges) {
    left().type("abc");
    encode();
    auto first = window->encodingTab().encWrapper();
    right().type("Zm9v");
    decode();
    EXPECT_EQ(left().text(), "dec1(Zm9v)") << "decoding reads the right box and writes the left one";
    EXPECT_EQ(right().text(), "Zm9v");
    EXPECT_EQ(window->encodingTab().encWrapper(), first);

    form.option("optTypeED", 2).userClick();
    EXPECT_EQ(right().text(), "Zm9v") << "changing the encoding clears nothing";
    decode();
    EXPECT_EQ(left().text(), "dec2(Zm9v)");
    auto hex = window->encodingTab().encWrapper();
    EXPECT_NE(hex, first);
    encode();
    EXPECT_EQ(window->encodingTab().encWrapper(), hex);
    form.option("optTypeED", 1).userClick();
    encode();
    EXPECT_EQ(codes, (std::vector<int32_t>{1, 2, 1})) << "one InitEncode per change of encoding";
}

TEST_F(EncodingTab, AFailedInitEncodeKeepsBothBoxesAndTheWrapperWhoseNextRunReportsItself) {
    EXPECT_CALL(*root, NewEncoder(Code(2))).WillOnce(Throw(engineFailure("no hex today")));
    form.option("optTypeED", 2).userClick();
    left().type("abc");
    right().type("old");
    encode();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsEnc ->Function InitEncode ");
    EXPECT_EQ(ui.messageBoxes[0].text, "no hex today");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_EQ(left().text(), "abc");
    EXPECT_EQ(right().text(), "old");
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
    ASSERT_TRUE(window->encodingTab().encWrapper());
    EXPECT_EQ(window->encodingTab().encWrapper()->iEncodingType(), 2) << "the failed wrapper stays";

    // Same encoding, other direction: no second InitEncode; the run reports and empties its target.
    decode();
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "clsEnc ->Function Decode ");
    EXPECT_EQ(left().text(), "");
    EXPECT_EQ(right().text(), "old");
}

TEST_F(EncodingTab, AFailureInTheWindowsOwnStepsHasTheWindowsTitle) {
    const ui::Connection refusing =
        right().change.connect([] { throw std::runtime_error("the box refused the text"); });
    left().type("abc");
    encode();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "frmMain->Function EncodED");
    EXPECT_EQ(ui.messageBoxes[0].text, "the box refused the text");
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(EncodingTab, FilesGoByPathAndAnExistingTargetIsReplacedOnlyAfterYes) {
    const enginetest::ScratchDir dir;
    const std::string source = dir.file("data.bin");
    const std::string encoded = dir.file("dataEnc.bin");
    form.option("optED", 1).userClick();
    left().type(source);
    EXPECT_CALL(*root, NewEncoder(Code(1)));
    encode();
    ASSERT_TRUE(lastEncoder);
    EXPECT_EQ(right().text(), encoded) << "the path written, not the contents";
    EXPECT_TRUE(ui.messageBoxes.empty()) << "no question while the target is absent";

    // The target exists now: "No" (the default) keeps it, runs nothing and changes no box.
    std::ofstream(encoded) << "previous";
    EXPECT_CALL(*lastEncoder, EncodeFile(_, _)).Times(0);
    right().type("unchanged");
    std::string atQuestion;
    ui.onMessageBox = [&](const RecordedMessageBox&) { atQuestion = busyState(); };
    encode();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].buttons, ui::MsgButtons::YesNo);
    EXPECT_NE(ui.messageBoxes[0].text.find(encoded), std::string::npos);
    EXPECT_EQ(atQuestion, "- - busy") << "asked before the run starts";
    EXPECT_EQ(right().text(), "unchanged");
    EXPECT_EQ(left().text(), source);
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
    ::testing::Mock::VerifyAndClearExpectations(lastEncoder.get());

    EXPECT_CALL(*lastEncoder, EncodeFile(source, encoded));
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    encode();
    EXPECT_EQ(right().text(), encoded);

    // Decoding reads the path in the right box and names its output with "Dec".
    EXPECT_CALL(*lastEncoder, DecodeFile(encoded, dir.file("dataEncDec.bin")));
    decode();
    EXPECT_EQ(left().text(), dir.file("dataEncDec.bin"));
}

TEST_F(EncodingTab, TheBarAndAbortButtonShowOnlyDuringTheCallAndASecondActionIsIgnored) {
    left().type("abc");
    encode();
    int calls = 0;
    EXPECT_CALL(*lastEncoder, EncodeText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        ++calls;
        EXPECT_TRUE(form.button("cmdAbort").isEnabled());
        EXPECT_TRUE(form.progressBar("pgBar").isVisible());
        EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Hourglass);
        for (int p = 0; p <= 100; p += 25)
            if (root->report(p))
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call == 1) {
            encode();  // ignored
            decode();  // ignored
        }
        if (call == 2) form.button("cmdAbort").userClick();
    };
    encode();
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsEnc ->Function Encode ");
    EXPECT_EQ(right().text(), "");
    EXPECT_EQ(left().text(), "abc");
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(EncodingTab, BothDirectionsOfTextsAndFilesHaveTheBarAndAbortTransactionOnlyAroundTheCall) {
    left().type("abc");
    encode();  // makes the wrapper
    std::vector<std::string> during, after;
    auto note = [&](const char* call) { during.push_back(call + (": " + busyState())); };
    ON_CALL(*lastEncoder, EncodeText(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("EncodeText");
        return std::string("e");
    }));
    ON_CALL(*lastEncoder, DecodeText(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("DecodeText");
        return std::string("d");
    }));
    ON_CALL(*lastEncoder, EncodeFile(_, _))
        .WillByDefault(Invoke([&](const engine::Text&, const engine::Text&) { note("EncodeFile"); }));
    ON_CALL(*lastEncoder, DecodeFile(_, _))
        .WillByDefault(Invoke([&](const engine::Text&, const engine::Text&) { note("DecodeFile"); }));
    auto run = [&](const std::function<void()>& action) {
        action();
        after.push_back(busyState());
    };
    run([&] { encode(); });
    run([&] { decode(); });
    const enginetest::ScratchDir dir;
    form.option("optED", 1).userClick();
    left().type(dir.file("a.bin"));
    run([&] { encode(); });
    run([&] { decode(); });
    EXPECT_EQ(during, (std::vector<std::string>{"EncodeText: abort bar busy", "DecodeText: abort bar busy",
                                                "EncodeFile: abort bar busy", "DecodeFile: abort bar busy"}));
    EXPECT_EQ(after, (std::vector<std::string>(4, "- - -")));
}

TEST(clsEncProperties, TheCodeFilterTheFileBranchAndCreationClearingAnAbort) {
    FakeWindowing ui{frmMainLayout()};
    modUtils::SetAbort();
    clsEnc enc(ui);
    EXPECT_FALSE(modUtils::bAbort);
    enc.iEncodingType(7);
    EXPECT_EQ(enc.iEncodingType(), 0) << "stored unchanged, read back as 0";

    auto root = std::make_shared<NiceMock<MockEngineRoot>>();
    auto encoder = std::make_shared<NiceMock<MockEngineEncoder>>();
    EXPECT_CALL(*root, NewEncoder(Code(7))).WillOnce(Return(encoder));
    ASSERT_TRUE(enc.InitEncode(root));
    EXPECT_CALL(*encoder, DecodeFile("/d/x.b64", "/d/xDec.b64"));
    enc.iSourceType(7);
    EXPECT_EQ(enc.Decode("/d/x.b64"), "/d/xDec.b64") << "any non-zero kind is a file";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

}  // namespace
