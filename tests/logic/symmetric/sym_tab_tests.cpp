// SPDX-License-Identifier: Apache-2.0
// The symmetric wrapper and the "Symetric Encrypt/Decrypt" tab over a
// recording engine: when the wrapper is re-keyed, the order in which settings
// reach the engine, failure boxes, the overwrite question and abort.

#include <fstream>

#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"
#include "symmetric/clsSym.h"

using namespace fake;
using ::testing::_;
using ::testing::Invoke;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;

namespace {

struct Creation {
    int32_t algorithm;
    std::string password;
    int32_t keyBits;
    bool operator==(const Creation& o) const {
        return algorithm == o.algorithm && password == o.password && keyBits == o.keyBits;
    }
};

std::ostream& operator<<(std::ostream& out, const Creation& c) {
    return out << "{" << c.algorithm << ", \"" << c.password << "\", " << c.keyBits << "}";
}

class SymTab : public WindowFixture {
protected:
    void SetUp() override {
        load();
        selectTab(2);
        ON_CALL(*root, NewSymCipher(_, _, _))
            .WillByDefault(Invoke([this](engine::SymAlgorithm algorithm, const engine::Text& password,
                                         int32_t keyBits) {
                creations.push_back({codeOf(algorithm), password, keyBits});
                auto cipher = std::make_shared<NiceMock<MockEngineSymCipher>>();
                auto note = [this](std::string what) { log.push_back(std::move(what)); };
                // A call that does the work: what shows while it runs is noted too.
                auto work = [this, note](const std::string& what) {
                    busyDuringWork.push_back(what.substr(0, what.find(' ')) + ": " + busyState());
                    note(what);
                };
                ON_CALL(*cipher, Encoding(_)).WillByDefault(Invoke([note](engine::OutputEncoding v) {
                    note("Encoding " + std::to_string(codeOf(v)));
                }));
                ON_CALL(*cipher, CipherMode(_)).WillByDefault(Invoke([note](engine::ModeOfOperation v) {
                    note("CipherMode " + std::to_string(codeOf(v)));
                }));
                ON_CALL(*cipher, Compression(_)).WillByDefault(Invoke([note](int16_t v) { note("Compression " + std::to_string(v)); }));
                ON_CALL(*cipher, Padding(_)).WillByDefault(Invoke([note](engine::BlockPadding v) {
                    note("Padding " + std::to_string(codeOf(v)));
                }));
                ON_CALL(*cipher, IV(_)).WillByDefault(Invoke([note](const engine::Text& v) { note("IV " + v); }));
                ON_CALL(*cipher, EncryptText(_)).WillByDefault(Invoke([work](const engine::Text& t) {
                    work("EncryptText " + t);
                    return "enc(" + t + ")";
                }));
                ON_CALL(*cipher, DecryptText(_)).WillByDefault(Invoke([work](const engine::Text& t) {
                    work("DecryptText " + t);
                    return "dec(" + t + ")";
                }));
                ON_CALL(*cipher, EncryptFile(_, _))
                    .WillByDefault(Invoke([work](const engine::Text& s, const engine::Text& t) {
                        work("EncryptFile " + s + " " + t);
                    }));
                ON_CALL(*cipher, DecryptFile(_, _))
                    .WillByDefault(Invoke([work](const engine::Text& s, const engine::Text& t) {
                        work("DecryptFile " + s + " " + t);
                    }));
                lastCipher = cipher;
                return cipher;
            }));
    }

    void encrypt() { ASSERT_TRUE(form.button("cmdEncSym").userClick()); }
    void decrypt() { ASSERT_TRUE(form.button("cmdDecSym").userClick()); }
    FakeTextBox& source() { return form.textBox("txtContSym"); }
    FakeTextBox& result() { return form.textBox("txtResSym"); }
    // The last n entries of the engine's log.
    std::vector<std::string> lastCalls(size_t n) {
        return std::vector<std::string>(log.end() - static_cast<long>(std::min(n, log.size())), log.end());
    }
    void expectIdle() {
        EXPECT_FALSE(form.button("cmdAbort").isEnabled());
        EXPECT_FALSE(form.progressBar("pgBar").isVisible());
        EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
    }

    std::vector<Creation> creations;
    std::vector<std::string> log;
    std::vector<std::string> busyDuringWork;  // "EncryptText: abort bar busy"
    std::shared_ptr<NiceMock<MockEngineSymCipher>> lastCipher;
};

TEST_F(SymTab, TheFirstRunKeysTheDefaultsAndWritesTheSettingsInOrderBeforeEncrypting) {
    source().type("abc");
    encrypt();
    EXPECT_EQ(creations, (std::vector<Creation>{{1, "", 256}}));
    EXPECT_EQ(log, (std::vector<std::string>{"Encoding 0", "CipherMode 0", "Compression -1", "Padding 2", "IV ",
                                             "EncryptText abc"}));
    EXPECT_EQ(result().text(), "enc(abc)");
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    expectIdle();

    decrypt();
    EXPECT_EQ(source().text(), "dec(enc(abc))");
    EXPECT_EQ(creations.size(), 1u);
}

TEST_F(SymTab, PerRunSettingsReuseTheWrapperAndKeyDefiningOnesMakeANewOne) {
    source().type("abc");
    encrypt();
    auto first = window->symmetricTab().symWrapper();

    form.comboBox("cboSymPad").userSelect(1);
    form.option("optCip", 1).userClick();
    form.option("optTypeSym", 2).userClick();
    form.textBox("txtSymIV").type("my iv");
    form.upDown("udSymLev").userClickUp();
    encrypt();
    EXPECT_EQ(window->symmetricTab().symWrapper(), first);
    EXPECT_EQ(lastCalls(6), (std::vector<std::string>{"Encoding 2", "CipherMode 1", "Compression 0", "Padding 1",
                                                     "IV my iv", "EncryptText abc"}));
    form.comboBox("cboSymPad").userSelect(2);
    form.option("optTypeSym", 1).userClick();
    encrypt();
    EXPECT_EQ(lastCalls(6)[0], "Encoding 1");
    EXPECT_EQ(lastCalls(6)[3], "Padding 0") << "ZeroPadding is code 0";
    EXPECT_EQ(creations.size(), 1u) << "one engine object for all of these";

    form.textBox("txtSymPass").type("pw");
    encrypt();
    form.textBox("txtSymPass").type("Pw");  // compared case-sensitively
    encrypt();
    form.comboBox("cboSymAlg").userSelect(0);
    encrypt();
    form.comboBox("cboSymKey").userSelect(0);
    encrypt();
    form.comboBox("cboSymKey").userSelect(1);
    decrypt();
    EXPECT_EQ(creations, (std::vector<Creation>{
                             {1, "", 256}, {1, "pw", 256}, {1, "Pw", 256}, {0, "Pw", 256}, {0, "Pw", 128}, {0, "Pw", 192}}));
    EXPECT_NE(window->symmetricTab().symWrapper(), first);
    EXPECT_EQ(log.back().rfind("DecryptText ", 0), 0u) << "re-keyed before decrypting";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(SymTab, AFailedInitKeyKeepsNoWrapperLeavesBothBoxesAndIsTriedAgain) {
    source().type("abc");
    encrypt();
    ASSERT_TRUE(window->symmetricTab().symWrapper());
    EXPECT_CALL(*root, NewSymCipher(Code(0), _, _))
        .Times(2)
        .WillRepeatedly(Throw(engineFailure("AES is unavailable")));
    form.comboBox("cboSymAlg").userSelect(0);
    result().setText("cipher");
    ui.pointerHistory.clear();
    FakeProgressBar& bar = form.progressBar("pgBar");
    bar.visibility.clear();
    encrypt();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function InitKey");
    EXPECT_EQ(ui.messageBoxes[0].text, "AES is unavailable");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(window->symmetricTab().symWrapper());
    EXPECT_EQ(source().text(), "abc");
    EXPECT_EQ(result().text(), "cipher");
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    EXPECT_EQ(std::count(bar.visibility.begin(), bar.visibility.end(), true), 0) << "the bar never showed";
    expectIdle();

    decrypt();
    EXPECT_EQ(ui.messageBoxes.size(), 2u) << "no wrapper was kept, so the creation is tried again";
    EXPECT_EQ(source().text(), "abc");
    EXPECT_EQ(result().text(), "cipher");
}

TEST_F(SymTab, AFailingOperationShowsOneBoxOnceTheBarIsHiddenAndEmptiesTheTargetBox) {
    source().type("abc");
    encrypt();
    EXPECT_CALL(*lastCipher, EncryptText(_)).WillOnce(Throw(engineFailure("out of memory")));
    EXPECT_CALL(*lastCipher, DecryptText(_)).WillOnce(Throw(engineFailure("wrong password", engine::ErrorKind::WrongKeyOrDamaged)));
    bool barVisibleAtBox = true;
    ui.onMessageBox = [&](const RecordedMessageBox&) { barVisibleAtBox = form.progressBar("pgBar").isVisible(); };
    encrypt();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function CryptSym");
    EXPECT_EQ(ui.messageBoxes[0].text, "out of memory");
    EXPECT_FALSE(barVisibleAtBox);
    EXPECT_EQ(result().text(), "");
    expectIdle();

    result().setText("garbage");
    barVisibleAtBox = true;
    decrypt();
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "clsSym -> Function DecryptSym");
    EXPECT_EQ(ui.messageBoxes[1].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(barVisibleAtBox);
    EXPECT_EQ(source().text(), "");
    expectIdle();
}

TEST_F(SymTab, SettingsTheEngineRefusesAreDroppedSilentlyAndTheRunGoesOn) {
    source().type("abc");
    encrypt();
    EXPECT_CALL(*lastCipher, IV(_)).WillOnce(Throw(engineFailure("bad IV")));
    EXPECT_CALL(*lastCipher, Encoding(_)).WillOnce(Throw(engineFailure("bad encoding")));
    EXPECT_CALL(*lastCipher, Padding(_)).WillOnce(Invoke([this](engine::BlockPadding p) {
        log.push_back("Padding " + std::to_string(codeOf(p)));
    }));
    encrypt();
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(lastCalls(2), (std::vector<std::string>{"Padding 2", "EncryptText abc"}));
    EXPECT_EQ(result().text(), "enc(abc)");
}

TEST_F(SymTab, ACompressionTextThatIsNoSmallIntegerFailsTheRunWithoutCallingTheEngine) {
    source().type("abc");
    for (const char* bad : {"abc", "", "70000", "-32769", "1.5", "3x", "+-3"}) {
        form.textBox("txtSymComp").setText(bad);
        result().setText("old");
        ui.messageBoxes.clear();
        log.clear();
        encrypt();
        ASSERT_EQ(ui.messageBoxes.size(), 1u) << bad;
        EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function CryptSym");
        EXPECT_NE(ui.messageBoxes[0].text.find(std::string("\"") + bad + "\""), std::string::npos)
            << ui.messageBoxes[0].text;
        EXPECT_EQ(result().text(), "");
        EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& c) { return c.rfind("Encrypt", 0) == 0; }))
            << bad;
        expectIdle();
    }
    ui.messageBoxes.clear();
    form.textBox("txtSymComp").setText(" +7 ");
    encrypt();
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(lastCalls(4)[0], "Compression 7");
    form.textBox("txtSymComp").setText("-32768");
    encrypt();
    EXPECT_EQ(lastCalls(4)[0], "Compression -32768") << "in range for the wrapper; the engine judges the level";
}

class SymTabFiles : public SymTab {
protected:
    void SetUp() override {
        SymTab::SetUp();
        form.option("optSym", 1).userClick();
    }
    std::string path(const std::string& name) { return dir.file(name); }
    void touch(const std::string& name) { std::ofstream(path(name)) << "x"; }

    enginetest::ScratchDir dir;
};

TEST_F(SymTabFiles, OutputNamesTakeEncAndDecBeforeTheExtension) {
    source().type(path("report.txt"));
    encrypt();
    EXPECT_EQ(log.back(), "EncryptFile " + path("report.txt") + " " + path("reportEnc.txt"));
    EXPECT_EQ(result().text(), path("reportEnc.txt"));
    decrypt();
    EXPECT_EQ(log.back(), "DecryptFile " + path("reportEnc.txt") + " " + path("reportEncDec.txt"));
    EXPECT_EQ(source().text(), path("reportEncDec.txt"));
    EXPECT_TRUE(ui.messageBoxes.empty()) << "no question when the target does not exist";
}

TEST_F(SymTabFiles, AFailedFileRunReturnsNoPath) {
    source().type(path("a.txt"));
    encrypt();
    EXPECT_CALL(*lastCipher, EncryptFile(_, _)).WillOnce(Throw(engineFailure("disk full", engine::ErrorKind::Io)));
    encrypt();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function CryptSym");
    EXPECT_EQ(result().text(), "");
    expectIdle();
}

TEST_F(SymTabFiles, AnExistingTargetIsReplacedOnlyAfterYes) {
    touch("reportEnc.txt");
    source().type(path("report.txt"));
    result().setText("previous");
    // The question comes before the run: neither the bar nor "Abort transaction" is on while it is open.
    std::vector<std::string> atQuestion;
    ui.onMessageBox = [&](const RecordedMessageBox&) { atQuestion.push_back(busyState()); };
    encrypt();  // no scripted answer: the default, No
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    const RecordedMessageBox& question = ui.messageBoxes[0];
    EXPECT_EQ(question.icon, ui::MsgIcon::Warning);
    EXPECT_EQ(question.buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(question.defaultAnswer, ui::MsgAnswer::No);
    EXPECT_NE(question.text.find(path("reportEnc.txt")), std::string::npos) << question.text;
    EXPECT_TRUE(std::none_of(log.begin(), log.end(), [](const std::string& c) { return c.rfind("EncryptFile", 0) == 0; }));
    EXPECT_EQ(result().text(), "previous") << "No changes nothing";
    EXPECT_EQ(source().text(), path("report.txt"));
    EXPECT_FALSE(std::count(form.progressBar("pgBar").visibility.begin(), form.progressBar("pgBar").visibility.end(), true))
        << "the bar never showed";
    expectIdle();

    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    encrypt();
    EXPECT_EQ(ui.messageBoxes.size(), 2u) << "the question, and no error";
    EXPECT_EQ(log.back(), "EncryptFile " + path("report.txt") + " " + path("reportEnc.txt"));
    EXPECT_EQ(result().text(), path("reportEnc.txt"));

    touch("reportEncDec.txt");
    ui.messageAnswers.push_back(ui::MsgAnswer::No);
    source().setText("keep");
    decrypt();
    EXPECT_EQ(ui.messageBoxes.size(), 3u);
    EXPECT_EQ(ui.messageBoxes[2].icon, ui::MsgIcon::Warning);
    EXPECT_EQ(source().text(), "keep");
    EXPECT_EQ(result().text(), path("reportEnc.txt"));
    EXPECT_EQ(log.back().rfind("EncryptFile", 0), 0u) << "no DecryptFile call";
    EXPECT_EQ(atQuestion, (std::vector<std::string>(3, "- - busy")));
    expectIdle();
}

TEST_F(SymTab, AbortStopsTheRunAndOtherActionsWaitForIt) {
    source().type("abc");
    encrypt();
    int calls = 0;
    EXPECT_CALL(*lastCipher, EncryptText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        ++calls;
        EXPECT_TRUE(form.button("cmdAbort").isEnabled());
        EXPECT_TRUE(form.progressBar("pgBar").isVisible());
        EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Hourglass);
        for (int p = 0; p <= 100; p += 20)
            if (root->report(p)) throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call == 1) {
            form.button("cmdEncSym").userClick();  // ignored while the run lasts
            form.button("cmdDecSym").userClick();
        }
        if (call == 2) form.button("cmdAbort").userClick();
    };
    encrypt();
    EXPECT_EQ(calls, 1);
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function CryptSym");
    EXPECT_EQ(result().text(), "");
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_EQ(creations.size(), 1u);
    expectIdle();
}

TEST_F(SymTab, BothDirectionsOfTextsAndFilesHaveTheBarAndAbortTransactionOnlyAroundTheCall) {
    std::vector<std::string> after;
    source().type("abc");
    for (bool file : {false, true}) {
        const enginetest::ScratchDir dir;
        if (file) {
            form.option("optSym", 1).userClick();
            source().type(dir.file("a.txt"));
        }
        encrypt();
        after.push_back(busyState());
        decrypt();
        after.push_back(busyState());
    }
    EXPECT_EQ(busyDuringWork,
              (std::vector<std::string>{"EncryptText: abort bar busy", "DecryptText: abort bar busy",
                                        "EncryptFile: abort bar busy", "DecryptFile: abort bar busy"}));
    EXPECT_EQ(after, (std::vector<std::string>(4, "- - -")));
}

TEST_F(SymTab, ClosingDuringARunAbortsItAndUnloadsOnceTheCallReturns) {
    source().type("abc");
    encrypt();
    EXPECT_CALL(*lastCipher, DecryptText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        for (int p = 0; p <= 100; p += 10)
            if (root->report(p)) {
                EXPECT_EQ(ui.unloadCount, 0);
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
            }
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call == 1) form.userClose();
    };
    decrypt();
    EXPECT_EQ(ui.unloadCount, 1);
    EXPECT_FALSE(window->symmetricTab().symWrapper());
    EXPECT_TRUE(ui.messageBoxes.empty()) << "no news of an abort the user caused by closing";
    expectIdle();
}

TEST_F(SymTab, APendingAbortIsClearedByANewWrapperButNotByAReusedOne) {
    source().type("abc");
    encrypt();
    modUtils::SetAbort();
    encrypt();
    EXPECT_TRUE(modUtils::bAbort) << "reuse leaves it pending";
    form.textBox("txtSymPass").type("new");
    encrypt();
    EXPECT_FALSE(modUtils::bAbort) << "the new wrapper cleared it";
}

TEST(clsSymProperties, ListPositionsMapToEngineCodesAndOthersAreIgnored) {
    FakeWindowing ui{frmMainLayout()};
    clsSym sym(ui);
    EXPECT_EQ(sym.iSymKey(), 0);
    EXPECT_EQ(sym.iSymAlg(), 0);
    sym.iSymKey(1);
    sym.iSymKey(3);
    sym.iSymKey(-1);
    EXPECT_EQ(sym.iSymKey(), 1);
    sym.iSymAlg(1);
    sym.iSymAlg(2);
    EXPECT_EQ(sym.iSymAlg(), 1);
    sym.SymPadding(1);
    sym.SymPadding(5);
    sym.SymPas("secret");

    auto root = std::make_shared<NiceMock<MockEngineRoot>>();
    auto cipher = std::make_shared<NiceMock<MockEngineSymCipher>>();
    EXPECT_CALL(*root, NewSymCipher(Code(1), "secret", 192)).WillOnce(Return(cipher));
    ASSERT_TRUE(sym.InitKey(root));
    EXPECT_CALL(*cipher, Padding(Code(1)));  // PCKS5, kept after the out-of-range position
    EXPECT_CALL(*cipher, DecryptFile("/d/aEnc.txt", "/d/aEncDec.txt"));
    sym.SymSource(5);
    EXPECT_EQ(sym.DecryptSym("/d/aEnc.txt"), "/d/aEncDec.txt") << "any non-zero kind is a file";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST(clsSymProperties, AnOperationWithoutAnEngineObjectIsReportedUnderItsOwnTitle) {
    FakeWindowing ui{frmMainLayout()};
    clsSym sym(ui);
    auto root = std::make_shared<NiceMock<MockEngineRoot>>();
    EXPECT_CALL(*root, NewSymCipher(Code(0), "", 0))
        .WillOnce(Throw(engineFailure("Key length 0 bits is not supported")));
    EXPECT_FALSE(sym.InitKey(root));
    EXPECT_EQ(sym.CryptSym("abc"), "");
    EXPECT_EQ(sym.DecryptSym("abc"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 3u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsSym -> Function InitKey");
    EXPECT_EQ(ui.messageBoxes[1].title, "clsSym -> Function CryptSym");
    EXPECT_EQ(ui.messageBoxes[2].title, "clsSym -> Function DecryptSym");
    EXPECT_FALSE(ui.mainForm().progressBar("pgBar").isVisible());
}

}  // namespace
