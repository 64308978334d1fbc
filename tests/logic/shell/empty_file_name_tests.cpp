// SPDX-License-Identifier: Apache-2.0
// A file operation started with "File" selected and an empty box: over the
// real engine, every tab's message names the box that was read, under the
// title its wrapper always reports with, and nothing asks about or touches a
// file named after the suffix alone.

#include <filesystem>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

using namespace fake;

namespace {

namespace fs = std::filesystem;

// Runs a test in a folder holding files named "Enc" and "Dec": what an empty
// name with its suffix would call a target.
class InScratchFolder {
public:
    InScratchFolder() : m_previous(fs::current_path()) {
        for (const char* name : {"Enc", "Dec"}) std::ofstream(m_dir.file(name)) << "keep";
        fs::current_path(m_dir.path());
    }
    ~InScratchFolder() { fs::current_path(m_previous); }
    const enginetest::ScratchDir& dir() const { return m_dir; }

private:
    enginetest::ScratchDir m_dir;
    fs::path m_previous;
};

struct Operation {
    int tab;
    const char* option;  // the tab's source-kind pair
    const char* button;
    const char* read;   // the box the button reads, left empty
    const char* other;  // the other box, holding a real file's path
    const char* title;
    const char* message;
};

const Operation kOperations[] = {
    {1, "optHash", "cmdHashBin", "txtCont", "txtRes", "clsHash ->Function HashBinary ",
     "the left-hand box, which \"Hash->\" reads"},
    {2, "optSym", "cmdEncSym", "txtContSym", "txtResSym", "clsSym -> Function CryptSym",
     "the left-hand box, which \"Encrypting->\" reads"},
    {2, "optSym", "cmdDecSym", "txtResSym", "txtContSym", "clsSym -> Function DecryptSym",
     "the right-hand box, which \"<-Decrypting\" reads"},
    {3, "optAsym", "cmdEncAsym", "txtContAsym", "txtResAsym", "clsAsym ->Function CryptAsym ",
     "the left-hand box, which \"Encrypting->\" reads"},
    {3, "optAsym", "cmdDecAsym", "txtResAsym", "txtContAsym", "clsAsym ->Function DecryptAsym ",
     "the right-hand box, which \"<-Decrypting\" reads"},
    {3, "optAsym", "cmdAsign", "txtContAsym", "txtResAsym", "clsAsym ->Function SignAsym ",
     "the left-hand box, which \"Sign->\" reads"},
    {4, "optED", "cmdEncED", "txtContED", "txtResED", "clsEnc ->Function Encode ",
     "the left-hand box, which \"Encoding->\" reads"},
    {4, "optED", "cmdDecED", "txtResED", "txtContED", "clsEnc ->Function Decode ",
     "the right-hand box, which \"<-Decoding\" reads"},
};

void PrintTo(const Operation& op, std::ostream* out) { *out << op.button; }

class EmptyFileName : public WindowFixture, public ::testing::WithParamInterface<Operation> {
protected:
    void SetUp() override {
        load([] { return engine::CreateEngineRoot(enginetest::fastOptions()); });
        std::ofstream(folder.dir().file("data.txt")) << "data";
    }
    std::string message(const char* box) const {
        return std::string("No file name was given: ") + box + ", is empty.";
    }

    InScratchFolder folder;
};

TEST_P(EmptyFileName, TheMessageNamesTheBoxThatWasRead) {
    const Operation& op = GetParam();
    selectTab(op.tab);
    if (op.tab == 3) form.button("cmdAsymGenKey").userClick();
    form.option(op.option, 1).userClick();
    const std::string path = folder.dir().file("data.txt");
    form.textBox(op.other).setText(path);
    form.textBox(op.read).setText("");
    ui.messageBoxes.clear();

    form.button(op.button).userClick();
    ASSERT_EQ(ui.messageBoxes.size(), 1u) << "no question about a file named Enc or Dec";
    EXPECT_EQ(ui.messageBoxes[0].title, op.title);
    EXPECT_EQ(ui.messageBoxes[0].text, message(op.message));
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_EQ(ui.messageBoxes[0].buttons, ui::MsgButtons::Ok);
    // A failed run empties its target box, the other one, as any failure does.
    EXPECT_EQ(form.textBox(op.read).text(), "");
    EXPECT_EQ(form.textBox(op.other).text(), "");
    EXPECT_EQ(folder.dir().names(), (std::vector<std::string>{"Dec", "Enc", "data.txt"}));
    EXPECT_EQ(enginetest::readAll(folder.dir().file("Enc")), "keep");
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

INSTANTIATE_TEST_SUITE_P(EveryFileOperation, EmptyFileName, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<Operation>& info) {
                             return std::string(info.param.button);
                         });

TEST_F(EmptyFileName, VerifyingAFileNamesTheLeftHandBox) {
    selectTab(3);
    form.button("cmdAsymGenKey").userClick();
    form.option("optAsym", 1).userClick();
    form.button("cmdAsign").userClick();  // fails, and still offers verification
    ui.messageBoxes.clear();
    form.textBox("txtResAsym").type("c2lnbmF0dXJl");
    form.button("cmdAsymVerifSign").userClick();
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function VerifySign ");
    EXPECT_EQ(ui.messageBoxes[0].text, message("the left-hand box, which \"Verify signature\" reads"));
    EXPECT_EQ(ui.messageBoxes[1].text, "Invalid signature ");
    EXPECT_EQ(folder.dir().names(), (std::vector<std::string>{"Dec", "Enc", "data.txt"}));
}

}  // namespace
