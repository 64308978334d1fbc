// SPDX-License-Identifier: Apache-2.0
// A file dropped on a box, and the folder the file dialogs start in, driven
// through the fake layer.

#include "support/WindowFixture.h"

using namespace fake;
using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;

namespace {

class FileInput : public WindowFixture {
protected:
    void SetUp() override { load(); }

    FakeTextBox& box(const char* name) { return form.textBox(name); }
};

// ---------------------------------------------------------------- drops

TEST_F(FileInput, ADropOnASourceBoxDoesWhatTheOpenButtonDoes) {
    const struct {
        int tab;
        const char* option;
        const char* source;
        const char* result;
        bool resultFollows;  // the hash result empties with its source
    } tabs[] = {{1, "optHash", "txtCont", "txtRes", true},
                {2, "optSym", "txtContSym", "txtResSym", false},
                {4, "optED", "txtContED", "txtResED", false}};
    for (const auto& t : tabs) {
        selectTab(t.tab);
        box(t.source).type("typed");
        box(t.result).setText("result");
        int clicks = 0;
        const ui::Connection counting = form.option(t.option, 1).click.connect([&clicks] { ++clicks; });
        box(t.source).dropFile("/data/report one.txt");
        EXPECT_TRUE(form.option(t.option, 1).value()) << t.source;
        EXPECT_EQ(clicks, 1) << t.source;
        EXPECT_EQ(box(t.source).text(), "/data/report one.txt") << t.source;
        EXPECT_EQ(box(t.result).text(), t.resultFollows ? "" : "result") << t.source;

        // With "File" already selected the box is simply overwritten.
        box(t.source).dropFile("/data/b.bin");
        EXPECT_EQ(clicks, 1) << t.source;
        EXPECT_EQ(box(t.source).text(), "/data/b.bin") << t.source;
    }
    EXPECT_TRUE(ui.fileRequests.empty()) << "a drop opens no dialog";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(FileInput, ADropOnTheBoxThatTheBackwardButtonsReadPutsThePathThere) {
    selectTab(2);
    box("txtContSym").type("plain");
    box("txtResSym").dropFile("/x/aEnc.txt");
    EXPECT_TRUE(form.option("optSym", 1).value());
    EXPECT_EQ(box("txtContSym").text(), "") << "choosing File empties the left box, as a click does";
    EXPECT_EQ(box("txtResSym").text(), "/x/aEnc.txt");
    box("txtContSym").setText("/x/a.txt");
    box("txtResSym").dropFile("/x/bEnc.txt");
    EXPECT_EQ(box("txtContSym").text(), "/x/a.txt") << "File was already selected";
    EXPECT_EQ(box("txtResSym").text(), "/x/bEnc.txt");

    selectTab(4);
    box("txtContED").type("kept");
    box("txtResED").dropFile("/x/cEnc.txt");
    EXPECT_TRUE(form.option("optED", 1).value());
    EXPECT_EQ(box("txtContED").text(), "kept") << "the tab 4 options have no reaction";
    EXPECT_EQ(box("txtResED").text(), "/x/cEnc.txt");

    // The hash result box is read by no button: a drop there changes nothing.
    selectTab(1);
    box("txtCont").type("abc");
    box("txtRes").dropFile("/x/d.txt");
    EXPECT_TRUE(form.option("optHash", 0).value());
    EXPECT_EQ(box("txtCont").text(), "abc");
    EXPECT_EQ(box("txtRes").text(), "");
}

TEST_F(FileInput, TheAsymmetricBoxesTakeADropOnlyOnceAKeyIsReady) {
    ON_CALL(*root, NewKeyPair(_, _, _, _, _))
        .WillByDefault(Invoke([](engine::KeyKind, int32_t, const engine::Text&, engine::EncryptionSchema,
                                 std::shared_ptr<engine::EngineAsymKey>& publicKey) {
            publicKey = std::make_shared<NiceMock<MockEngineAsymKey>>();
            return std::shared_ptr<engine::EngineAsymKey>(std::make_shared<NiceMock<MockEngineAsymKey>>());
        }));
    selectTab(3);
    box("txtContAsym").dropFile("/k/a.txt");
    // Even an event that reached the disabled box changes nothing.
    box("txtResAsym").fileDropped.raise("/k/b.txt");
    EXPECT_TRUE(form.option("optAsym", 0).value());
    EXPECT_EQ(box("txtContAsym").text(), "");
    EXPECT_EQ(box("txtResAsym").text(), "");

    form.button("cmdAsymGenKey").userClick();
    ASSERT_TRUE(window->asymmetricTab().asymKeyReady());
    box("txtResAsym").dropFile("/k/aEnc.txt");
    EXPECT_TRUE(form.option("optAsym", 1).value());
    EXPECT_EQ(box("txtResAsym").text(), "/k/aEnc.txt");
    box("txtContAsym").dropFile("/k/a.txt");
    EXPECT_EQ(box("txtContAsym").text(), "/k/a.txt");
}

TEST_F(FileInput, ADropWhileAnOperationRunsDoesNothing) {
    auto hash = std::make_shared<NiceMock<MockEngineHash>>();
    ON_CALL(*root, NewHash(_)).WillByDefault(Invoke([hash](engine::HashAlgorithm) { return hash; }));
    ON_CALL(*hash, HashText(_)).WillByDefault(Invoke([this](const engine::Text& text) {
        root->report(50);
        return "digest of " + text;
    }));
    box("txtCont").type("abc");
    ui.onDoEvents = [this](int) { box("txtCont").dropFile("/d/a.txt"); };
    form.button("cmdHashBin").userClick();
    EXPECT_TRUE(form.option("optHash", 0).value());
    EXPECT_EQ(box("txtCont").text(), "abc");
    EXPECT_EQ(box("txtRes").text(), "digest of abc");
    EXPECT_EQ(modUtils::sLastFolder, "") << "nothing was chosen";
}

// ---------------------------------------------------------------- the dialogs' folder

TEST_F(FileInput, EveryFileDialogStartsInTheFolderOfTheFileChosenLast) {
    auto folders = [this] {
        std::vector<std::string> seen;
        for (const ui::FileDialogRequest& r : ui.fileRequests) seen.push_back(r.folder);
        return seen;
    };
    ui.fileAnswers = {std::string("/home/u/docs/a.txt"), std::nullopt, std::string("/b.bin")};
    form.button("cmdOpen").userClick();
    form.button("cmdOpen").userClick();  // cancelled: the folder stays
    selectTab(4);
    form.button("cmdOpenED").userClick();
    EXPECT_EQ(folders(), (std::vector<std::string>{"", "/home/u/docs", "/home/u/docs"}));
    EXPECT_EQ(modUtils::sLastFolder, "/");

    // A dropped file counts as chosen; so does a key file, both ways.
    box("txtContED").dropFile("/mnt/usb/photo.jpg");
    ui.fileAnswers = {std::string("/keys/k.pem")};
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Save to file "), "/keys/k.pem");
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Load to file "), "");
    form.button("cmdOpenED").userClick();
    const std::vector<std::string> seen = folders();
    EXPECT_EQ(std::vector<std::string>(seen.begin() + 3, seen.end()),
              (std::vector<std::string>{"/mnt/usb", "/keys", "/keys"}));
}

}  // namespace
