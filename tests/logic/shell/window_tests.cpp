// SPDX-License-Identifier: Apache-2.0
// Start-up, tabs, shutdown, source input, progress and abort, and the
// compression-level fields of the main window, driven through the fake layer.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "engine/Root.h"
#include "support/WindowFixture.h"

using namespace fake;
using ::testing::_;
using ::testing::Return;

namespace {

class MainWindow : public WindowFixture {
protected:
    void SetUp() override { load(); }
};

TEST_F(MainWindow, StartsOnTheHashTabWithTheDefaultSettings) {
    EXPECT_EQ(window->currentTab(), 1);
    EXPECT_EQ(form.caption(), "Exemple");
    for (const char* f : {"frEncHash", "frTxtHash"}) EXPECT_TRUE(form.frame(f).isVisible()) << f;
    for (const char* f : {"frTxtSym", "frEncSym", "frTxtAsym", "frEncAsym", "frTxtED", "frEDType"})
        EXPECT_FALSE(form.frame(f).isVisible()) << f;
    EXPECT_EQ(form.comboBox("cboEncHash").listIndex(), 0);
    EXPECT_EQ(form.comboBox("cboSymKey").listIndex(), 2);
    EXPECT_EQ(form.comboBox("cboSymPad").listIndex(), 0);
    EXPECT_EQ(form.comboBox("cboSymAlg").listIndex(), 1);
    EXPECT_EQ(form.comboBox("cboAsymKey").listIndex(), 0);
    EXPECT_EQ(form.comboBox("cboAsymSchema").listIndex(), 0);
    EXPECT_TRUE(form.option("optHash", 0).value());
    EXPECT_TRUE(form.option("optType", 0).value());
    EXPECT_TRUE(form.option("optTypeED", 1).value());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(form.textBox("txtSymComp").text(), "-1");
    EXPECT_EQ(window->engineRoot(), root);
    EXPECT_TRUE(root->handler) << "the window listens to the engine's progress";
    EXPECT_FALSE(window->asymmetricTab().asymKeyReady());
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST(MainWindowStartUp, AnEngineThatCannotStartIsReportedToTheCaller) {
    FakeWindowing ui{frmMainLayout()};
    frmMain window(ui, []() -> std::shared_ptr<engine::EngineRoot> {
        throw engine::EngineError(engine::ErrorKind::Internal, "self-test failed");
    });
    EXPECT_THROW(window.Form_Load(), engine::EngineError);
    frmMain noEngine(ui, [] { return std::shared_ptr<engine::EngineRoot>(); });
    EXPECT_THROW(noEngine.Form_Load(), engine::EngineError);
}

TEST(MainWindowStartUp, AFailedLibrarySelfTestIsNamedByEveryPressOnEveryTab) {
    FakeWindowing ui{frmMainLayout()};
    const std::string failure =
        "The cryptography library failed its start-up self-test: MD5 gives a wrong digest.";
    auto root =
        engine::detail::NewRoot({}, [&] { throw engine::EngineError(engine::ErrorKind::Internal, failure); });
    frmMain window(ui, [&] { return root; });
    window.Form_Load();
    FakeForm& form = ui.mainForm();
    const std::tuple<int, const char*, const char*> presses[] = {
        {1, "txtCont", "cmdHashBin"},  {2, "txtContSym", "cmdEncSym"}, {2, "txtResSym", "cmdDecSym"},
        {3, nullptr, "cmdAsymGenKey"}, {3, nullptr, "cmdAsymLoad"},    {4, "txtContED", "cmdEncED"},
        {4, "txtResED", "cmdDecED"},
    };
    for (int round = 1; round <= 2; ++round) {
        for (const auto& [tab, box, button] : presses) {
            SCOPED_TRACE(std::string(button) + ", press " + std::to_string(round));
            form.tabStrip("TabStrip1").userSelect(tab);
            if (box) form.textBox(box).setText("abc");
            if (std::string(button) == "cmdAsymLoad") {
                ui.modalScripts.push_back([](FakeForm& dialog) { dialog.button("cmdOk").userClick(); });
                ui.fileAnswers.push_back("/nonexistent/key.pem");
            }
            ui.messageBoxes.clear();
            form.button(button).userClick();
            ASSERT_EQ(ui.messageBoxes.size(), 1u);
            EXPECT_EQ(ui.messageBoxes[0].text, failure);
        }
    }
}

TEST_F(MainWindow, SwitchingTabsShowsOnlyThatTabsFramesMovesFocusAndResetsTheBar) {
    auto& bar = form.progressBar("pgBar");
    bar.setValue(40);
    selectTab(2);
    EXPECT_EQ(window->currentTab(), 2);
    EXPECT_TRUE(form.frame("frTxtSym").isVisible());
    EXPECT_TRUE(form.frame("frEncSym").isVisible());
    EXPECT_FALSE(form.frame("frTxtHash").isVisible());
    EXPECT_EQ(form.focusedControl, "optSym(0)");
    EXPECT_EQ(bar.value(), 0);
    EXPECT_FALSE(bar.isVisible()) << "visibility is not touched";

    selectTab(4);
    EXPECT_TRUE(form.frame("frTxtED").isVisible());
    EXPECT_TRUE(form.frame("frEDType").isVisible());
    EXPECT_EQ(form.focusedControl, "optSym(0)") << "no focus move for tab 4";

    selectTab(1);
    EXPECT_EQ(form.focusedControl, "optHash(0)");
}

TEST_F(MainWindow, ClickingTheCurrentTabChangesNothing) {
    auto& bar = form.progressBar("pgBar");
    bar.setValue(40);
    form.focusedControl = "txtCont";
    selectTab(1);
    EXPECT_EQ(bar.value(), 40);
    EXPECT_EQ(form.focusedControl, "txtCont");
}

TEST_F(MainWindow, OkCancelAndTheCloseBoxEndTheProgramAndReleaseTheEngine) {
    for (int way = 0; way < 3; ++way) {
        FakeWindowing ui2{frmMainLayout()};
        auto root2 = std::make_shared<::testing::NiceMock<MockEngineRoot>>();
        frmMain w(ui2, [&] { return root2; });
        w.Form_Load();
        if (way == 0) ui2.mainForm().button("cmdOk").userClick();
        if (way == 1) ui2.mainForm().button("cmdCancel").userClick();
        if (way == 2) ui2.mainForm().userClose();
        EXPECT_EQ(ui2.unloadCount, 1) << way;
        EXPECT_FALSE(w.engineRoot()) << way;
        EXPECT_EQ(root2.use_count(), 1) << "only the test holds the root now";
        EXPECT_TRUE(ui2.messageBoxes.empty()) << "no question is asked";
    }
}

TEST_F(MainWindow, HelpSaysNotImplementedWithoutIcon) {
    form.button("cmdHelp").userClick();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "Not implemented");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::None);
    EXPECT_EQ(ui.messageBoxes[0].buttons, ui::MsgButtons::Ok);
    EXPECT_EQ(ui.messageBoxes[0].title, "Quorval");
}

// ---------------------------------------------------------------- source input

TEST_F(MainWindow, SwitchingTheSourceKindEmptiesTheSourceBox) {
    form.textBox("txtCont").type("hello");
    form.textBox("txtRes").setText("digest");
    form.option("optHash", 1).userClick();
    EXPECT_EQ(form.textBox("txtCont").text(), "");
    EXPECT_EQ(form.textBox("txtRes").text(), "") << "the hash result follows its source";

    selectTab(2);
    form.textBox("txtContSym").type("plain");
    form.textBox("txtResSym").type("cipher");
    form.option("optSym", 1).userClick();
    EXPECT_EQ(form.textBox("txtContSym").text(), "");
    EXPECT_EQ(form.textBox("txtResSym").text(), "cipher");
    form.textBox("txtContSym").type("plain");
    form.option("optSym", 1).userClick();
    EXPECT_EQ(form.textBox("txtContSym").text(), "") << "a click on the selected option empties it too";

    selectTab(4);
    form.textBox("txtContED").type("kept");
    form.option("optED", 1).userClick();
    EXPECT_EQ(form.textBox("txtContED").text(), "kept") << "tab 4 has no reaction";
}

TEST_F(MainWindow, TheOpenButtonSelectsFileAndFillsTheBoxFromTheDialog) {
    auto& box = form.textBox("txtContSym");
    selectTab(2);
    box.type("some text");
    ui.fileAnswers.push_back(std::string("/home/u/a.txt"));
    form.button("cmdOpenSym").userClick();
    EXPECT_TRUE(form.option("optSym", 1).value());
    EXPECT_EQ(box.text(), "/home/u/a.txt");
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    const ui::FileDialogRequest& r = ui.fileRequests[0];
    EXPECT_FALSE(r.save);
    EXPECT_EQ(r.title, "Open file ");
    EXPECT_EQ(r.filter, "All Files (*.*)|*.*| Text Files (*.txt)|*.txt");
    EXPECT_EQ(r.filterIndex, 1);
    EXPECT_EQ(r.fileName, "");
    EXPECT_EQ(r.flags, 4);
    EXPECT_TRUE(r.cancelError);

    // Cancelled: File stays selected and the box is emptied, whatever it held.
    form.button("cmdOpenSym").userClick();
    EXPECT_TRUE(form.option("optSym", 1).value());
    EXPECT_EQ(box.text(), "");

    selectTab(4);
    ui.fileAnswers.push_back(std::string("/data/b.bin"));
    form.button("cmdOpenED").userClick();
    EXPECT_TRUE(form.option("optED", 1).value());
    EXPECT_EQ(form.textBox("txtContED").text(), "/data/b.bin");
}

TEST_F(MainWindow, TheOpenButtonRaisesTheOptionClickOnlyWhenItChangesTheSelection) {
    int clicks = 0;
    const ui::Connection counting = form.option("optHash", 1).click.connect([&] { ++clicks; });
    ui.fileAnswers.push_back(std::string("/x/one.txt"));
    form.button("cmdOpen").userClick();
    EXPECT_EQ(clicks, 1);
    ui.fileAnswers.push_back(std::string("/x/two.txt"));
    form.button("cmdOpen").userClick();
    EXPECT_EQ(clicks, 1);
    EXPECT_EQ(form.textBox("txtCont").text(), "/x/two.txt");
}

TEST(FileDialog, OnlyTheSaveTitleOpensTheSaveDialogAndFailuresGiveEmptyText) {
    FakeWindowing ui{frmMainLayout()};
    ui.fileAnswers = {std::string("/k/a.pem"), std::string("/k/b.pem"), std::string("/k/c.pem")};
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Save to file "), "/k/a.pem");
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Load to file "), "/k/b.pem");
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Save to file"), "/k/c.pem");
    ASSERT_EQ(ui.fileRequests.size(), 3u);
    EXPECT_TRUE(ui.fileRequests[0].save);
    EXPECT_FALSE(ui.fileRequests[1].save);
    EXPECT_FALSE(ui.fileRequests[2].save) << "the title must match exactly, trailing blank included";
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Open file "), "") << "cancelled";
}

TEST(FileDialog, AFailingDialogCountsAsNoFile) {
    struct Throwing : FakeWindowing {
        using FakeWindowing::FakeWindowing;
        std::optional<std::string> fileDialog(const ui::FileDialogRequest&) override {
            throw std::runtime_error("no dialog");
        }
    } ui{frmMainLayout()};
    EXPECT_EQ(modUtils::ShowFileDialog(ui, "Open file "), "");
}

TEST(AddFileSuffix, InsertsBeforeTheLastFourCharactersWithoutLeavingTheFolderOrSplittingOne) {
    const struct {
        const char* path;
        const char* suffix;
        const char* expected;
    } cases[] = {
        {"C:\\data\\report.txt", "Enc", "C:\\data\\reportEnc.txt"},
        {"C:\\data\\reportEnc.txt", "Dec", "C:\\data\\reportEncDec.txt"},
        {"abc", "Dec", "Decabc"},
        {"", "Enc", "Enc"},
        {"abcd", "Enc", "Encabcd"},
        {"C:\\data\\README", "Enc", "C:\\data\\REEncADME"},
        {"C:\\x\\a.docx", "Dec", "C:\\x\\a.Decdocx"},
        {"/home/u/a.txt", "Enc", "/home/u/aEnc.txt"},
        {"/tmp/ab", "Enc", "/tmp/Encab"},
        {"/tmp/abc", "Enc", "/tmp/Encabc"},
        {"/tmp/abcd", "Enc", "/tmp/Encabcd"},
        {"/tmp/abcde", "Dec", "/tmp/aDecbcde"},
        {"/a.d/x", "Enc", "/a.d/Encx"},
        {"/tmp/", "Enc", "/tmp/Enc"},
        {"/ab", "Enc", "/Encab"},
        {"a/b", "Enc", "a/Encb"},
        {"/tmp/\xc3\xa9.md", "Enc", "/tmp/Enc\xc3\xa9.md"},
        {"/tmp/a\xe2\x82\xac" "bc", "Dec", "/tmp/Deca\xe2\x82\xac" "bc"},
        {"/tmp/r\xc3\xa9sum\xc3\xa9.txt", "Enc", "/tmp/r\xc3\xa9sum\xc3\xa9" "Enc.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(modUtils::AddFileSuffix(c.path, c.suffix), c.expected) << c.path;
}

TEST(ConfirmReplace, AsksBeforeAnExistingFileIsReplacedWithNoAsTheDefault) {
    FakeWindowing ui{frmMainLayout()};
    // A folder of its own, so that runs side by side never share it.
    std::string pattern = (std::filesystem::temp_directory_path() / "quorval-confirm-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const std::filesystem::path dir = pattern;
    std::string existing = (dir / "there.txt").string();
    std::ofstream(existing) << "x";
    EXPECT_TRUE(modUtils::ConfirmReplace(ui, (dir / "absent.txt").string()));
    EXPECT_TRUE(ui.messageBoxes.empty());

    EXPECT_FALSE(modUtils::ConfirmReplace(ui, existing));
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    const RecordedMessageBox& box = ui.messageBoxes[0];
    EXPECT_EQ(box.text, "The file \"" + existing + "\" already exists. Replace it?");
    EXPECT_EQ(box.icon, ui::MsgIcon::Warning);
    EXPECT_EQ(box.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(box.defaultAnswer, ui::MsgAnswer::No);
    EXPECT_EQ(box.title, "Quorval");
    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    EXPECT_TRUE(modUtils::ConfirmReplace(ui, existing));
    std::filesystem::remove_all(dir);
}

// ---------------------------------------------------------------- progress and abort

TEST_F(MainWindow, ProgressReportsMoveTheBarAndYield) {
    auto& bar = form.progressBar("pgBar");
    bar.setVisible(true);
    EXPECT_FALSE(root->report(0));
    EXPECT_FALSE(root->report(37));
    EXPECT_EQ(bar.value(), 37);
    EXPECT_EQ(ui.doEventsCount, 2);
    root->report(100);
    EXPECT_EQ(bar.value(), 100);
    EXPECT_TRUE(bar.isVisible()) << "a full bar stays until the wrapper hides it";
    root->report(-5);
    EXPECT_EQ(bar.value(), 0) << "a negative position shows as 0";
    bar.values.clear();
    root->report(101);
    EXPECT_EQ(bar.values, (std::vector<int>{100, 0}));
    EXPECT_FALSE(bar.isVisible());
}

TEST_F(MainWindow, AnAbortClickIsPassedWithTheReportDuringWhichItWasMade) {
    auto& bar = form.progressBar("pgBar");
    auto& abort = form.button("cmdAbort");
    abort.setEnabled(true);
    bar.setVisible(true);
    EXPECT_FALSE(root->report(10));
    ui.onDoEvents = [&](int call) {
        if (call == 2) abort.userClick();
    };
    EXPECT_TRUE(root->report(20)) << "the click lands during this report's yield";
    EXPECT_FALSE(modUtils::bAbort) << "the request has been passed on";
    EXPECT_EQ(bar.value(), 0);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(root->report(30));

    // A click during the last report stops that call, and leaves nothing to stop the next run.
    ui.onDoEvents = [&](int call) {
        if (call == 4) abort.userClick();
    };
    EXPECT_TRUE(root->report(101));
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(root->report(0));

    // A request already pending is passed without a yield.
    modUtils::SetAbort();
    const int yields = ui.doEventsCount;
    EXPECT_TRUE(root->report(40));
    EXPECT_EQ(ui.doEventsCount, yields) << "no yield on the abort path";
}

TEST_F(MainWindow, TheAbortButtonShowsTheQuestionPointerAndEscapeClicksItOnlyWhenEnabled) {
    auto& abort = form.button("cmdAbort");
    abort.setEnabled(true);
    abort.moveMouse();
    EXPECT_EQ(abort.mousePointer(), ui::MousePointer::ArrowQuestion);
    form.pressEscape();
    EXPECT_TRUE(modUtils::bAbort);
    modUtils::bAbort = false;
    abort.setEnabled(false);
    form.pressEscape();
    EXPECT_FALSE(modUtils::bAbort);
}

// ---------------------------------------------------------------- compression level and settings reset

TEST_F(MainWindow, CompressionLevelStepsWithArrowKeysAndArrowsWithinItsRange) {
    selectTab(2);
    auto& box = form.textBox("txtSymComp");
    auto& upDown = form.upDown("udSymLev");
    box.focus();
    EXPECT_EQ(box.selLength, 2) << "focus selects \"-1\"";
    box.releaseKey(ui::Key::Down);
    EXPECT_EQ(box.text(), "-1");
    EXPECT_EQ(box.selLength, 2);
    for (int i = 0; i < 12; ++i) box.releaseKey(ui::Key::Up);
    EXPECT_EQ(box.text(), "9");
    EXPECT_EQ(upDown.value(), 9);
    box.selLength = 0;
    box.releaseKey('A');
    EXPECT_EQ(box.text(), "9");
    EXPECT_EQ(box.selLength, 1) << "any key re-selects";
    box.type("5");
    EXPECT_EQ(box.text(), "9") << "the box cannot be typed into";
    upDown.userClickUp();
    EXPECT_EQ(box.text(), "9");
    box.selLength = 0;
    upDown.userClickDown();
    EXPECT_EQ(box.text(), "8");
    EXPECT_EQ(box.selLength, 1);
    for (int i = 0; i < 12; ++i) upDown.userClickDown();
    EXPECT_EQ(box.text(), "-1");
}

TEST_F(MainWindow, TheDownKeyStepsEitherLevelDownToTheMinimum) {
    for (const auto& [tab, boxName, upDownName] :
         {std::tuple{2, "txtSymComp", "udSymLev"}, std::tuple{3, "txtAsymComp", "udAsym"}}) {
        SCOPED_TRACE(boxName);
        selectTab(tab);
        auto& box = form.textBox(boxName);
        auto& upDown = form.upDown(upDownName);
        upDown.setValue(2);
        std::vector<std::string> shown;
        for (int i = 0; i < 4; ++i) {
            box.releaseKey(ui::Key::Down);
            shown.push_back(box.text());
        }
        EXPECT_EQ(shown, (std::vector<std::string>{"1", "0", "-1", "-1"}));
        EXPECT_EQ(upDown.value(), -1);
        EXPECT_EQ(box.selLength, 2) << "\"-1\" is selected";
    }
}

TEST_F(MainWindow, ChangingASettingEmptiesTheStaleResult) {
    auto& res = form.textBox("txtRes");
    auto& resSym = form.textBox("txtResSym");
    auto& resAsym = form.textBox("txtResAsym");
    auto expectEmptied = [](FakeTextBox& box, const std::function<void()>& change, const char* what) {
        box.setText("stale");
        change();
        EXPECT_EQ(box.text(), "") << what;
    };
    expectEmptied(res, [&] { form.textBox("txtCont").type("new text"); }, "txtCont");
    expectEmptied(res, [&] { form.comboBox("cboEncHash").userSelect(1); }, "cboEncHash");
    expectEmptied(res, [&] { form.option("optType", 2).userClick(); }, "optType");

    selectTab(2);
    expectEmptied(resSym, [&] { form.comboBox("cboSymKey").userSelect(0); }, "cboSymKey");
    expectEmptied(resSym, [&] { form.comboBox("cboSymPad").userSelect(1); }, "cboSymPad");
    expectEmptied(resSym, [&] { form.comboBox("cboSymAlg").userSelect(0); }, "cboSymAlg");
    expectEmptied(resSym, [&] { form.option("optCip", 1).userClick(); }, "optCip");
    expectEmptied(resSym, [&] { form.option("optTypeSym", 1).userClick(); }, "optTypeSym");
    expectEmptied(resSym, [&] { form.textBox("txtSymIV").type("iv"); }, "txtSymIV");
    expectEmptied(resSym, [&] { form.textBox("txtSymPass").type("pw"); }, "txtSymPass");
    expectEmptied(resSym, [&] { form.textBox("txtSymComp").releaseKey(ui::Key::Up); }, "txtSymComp key");
    expectEmptied(resSym, [&] { form.upDown("udSymLev").userClickUp(); }, "udSymLev arrow");

    // Give the asymmetric tab's controls a key so they are usable.
    selectTab(3);
    for (const char* c : {"frTxtAsym", "txtResAsym", "txtAsymComp", "udAsym"}) {
        if (std::string(c) == "udAsym")
            form.upDown(c).setEnabled(true);
        else if (std::string(c) == "frTxtAsym")
            form.frame(c).setEnabled(true);
        else
            form.textBox(c).setEnabled(true);
    }
    for (int i = 0; i < 3; ++i) form.option("optTypeAsym", i).setEnabled(true);
    expectEmptied(resAsym, [&] { form.comboBox("cboAsymKey").userSelect(2); }, "cboAsymKey");
    expectEmptied(resAsym, [&] { form.comboBox("cboAsymSchema").userSelect(1); }, "cboAsymSchema");
    expectEmptied(resAsym, [&] { form.option("optTypeAsym", 1).userClick(); }, "optTypeAsym");
    expectEmptied(resAsym, [&] { form.textBox("txtAsymSeed").type("seed"); }, "txtAsymSeed");
    expectEmptied(resAsym, [&] { form.upDown("udAsym").userClickUp(); }, "udAsym");

    // Source text of the other tabs leaves their results alone.
    resSym.setText("kept");
    form.textBox("txtContSym").setText("plain");
    EXPECT_EQ(resSym.text(), "kept");
}

}  // namespace
