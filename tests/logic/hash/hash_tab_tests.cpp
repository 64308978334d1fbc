// SPDX-License-Identifier: Apache-2.0
// The hash wrapper and the "Hash" tab's operation over a scripted engine:
// wrapper reuse, failure reporting, the busy state and abort.

#include "hash/clsHash.h"
#include "support/WindowFixture.h"

using namespace fake;
using ::testing::_;
using ::testing::Invoke;
using ::testing::InSequence;
using ::testing::NiceMock;
using ::testing::Return;
using ::testing::Throw;

namespace {

class HashTab : public WindowFixture {
protected:
    void SetUp() override {
        load();
        ON_CALL(*root, NewHash(_)).WillByDefault(Invoke([this](engine::HashAlgorithm algorithm) {
            algorithms.push_back(codeOf(algorithm));
            auto hash = std::make_shared<NiceMock<MockEngineHash>>();
            ON_CALL(*hash, Encoding(_)).WillByDefault(Invoke([this](engine::OutputEncoding e) {
                encodings.push_back(codeOf(e));
            }));
            ON_CALL(*hash, HashText(_)).WillByDefault(Invoke([this](const engine::Text& t) {
                return "digest of " + t + " #" + std::to_string(encodings.back());
            }));
            ON_CALL(*hash, HashFile(_)).WillByDefault(Invoke([](const engine::Text& p) { return "file " + p; }));
            lastHash = hash;
            return hash;
        }));
    }

    void hash() { form.button("cmdHashBin").userClick(); }
    std::string result() { return form.textBox("txtRes").text(); }

    std::vector<int32_t> algorithms;
    std::vector<int32_t> encodings;
    std::shared_ptr<NiceMock<MockEngineHash>> lastHash;
};

TEST_F(HashTab, TheFirstRunMakesAnMd5WrapperAndShowsTheDigest) {
    form.textBox("txtCont").type("abc");
    hash();
    EXPECT_EQ(algorithms, (std::vector<int32_t>{0}));
    EXPECT_EQ(result(), "digest of abc #0");
    EXPECT_EQ(window->hashTab().hashWrapper()->iHashCrypto(), 0);
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
}

TEST_F(HashTab, OneWrapperServesEveryEncodingAndANewAlgorithmMakesANewOne) {
    form.textBox("txtCont").type("abc");
    hash();
    auto first = window->hashTab().hashWrapper();
    form.option("optType", 1).userClick();
    hash();
    EXPECT_EQ(window->hashTab().hashWrapper(), first);
    EXPECT_EQ(result(), "digest of abc #1");
    form.option("optType", 2).userClick();
    hash();
    EXPECT_EQ(result(), "digest of abc #2");
    EXPECT_EQ(algorithms.size(), 1u) << "one InitKey";

    form.comboBox("cboEncHash").userSelect(1);
    hash();
    auto second = window->hashTab().hashWrapper();
    form.comboBox("cboEncHash").userSelect(0);
    hash();
    EXPECT_NE(window->hashTab().hashWrapper(), second);
    EXPECT_NE(second, first);
    EXPECT_EQ(algorithms, (std::vector<int32_t>{0, 1, 0})) << "MD5, SHA, MD5: three wrappers, three InitKey";
}

TEST_F(HashTab, WithFileSelectedTheBoxIsAPath) {
    form.option("optHash", 1).userClick();
    form.textBox("txtCont").type("/data/x.bin");
    hash();
    EXPECT_EQ(result(), "file /data/x.bin");
}

TEST_F(HashTab, AnEmptySourceReachesTheEngine) {
    EXPECT_CALL(*root, NewHash(Code(0)));
    hash();
    EXPECT_EQ(result(), "digest of  #0");
}

TEST_F(HashTab, AFailedInitKeyIsReportedOnceAndKeepsTheResultAndTheWrapper) {
    form.textBox("txtCont").type("abc");
    hash();
    ASSERT_EQ(result(), "digest of abc #0");
    EXPECT_CALL(*root, NewHash(Code(2))).WillOnce(Throw(engineFailure("Tiger is unavailable")));
    form.comboBox("cboEncHash").userSelect(2);
    form.textBox("txtRes").setText("previous");
    hash();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsHash ->Function InitKey ");
    EXPECT_EQ(ui.messageBoxes[0].text, "Tiger is unavailable");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_EQ(result(), "previous");
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(window->hashTab().hashWrapper()->iHashCrypto(), 2) << "the failed wrapper stays";

    // Same algorithm again: no new InitKey; the wrapper's hashing fails and says so.
    hash();
    ASSERT_EQ(ui.messageBoxes.size(), 2u);
    EXPECT_EQ(ui.messageBoxes[1].title, "clsHash ->Function HashBinary ");
    EXPECT_EQ(result(), "");
}

TEST_F(HashTab, AFailingHashShowsOneBoxAfterTheBarIsHiddenAndEmptiesTheResult) {
    form.textBox("txtCont").type("abc");
    hash();
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Throw(engineFailure("disk on fire")));
    bool barVisibleAtBox = true;
    ui.onMessageBox = [&](const RecordedMessageBox&) { barVisibleAtBox = form.progressBar("pgBar").isVisible(); };
    form.option("optType", 1).userClick();
    form.textBox("txtRes").setText("old");
    hash();
    ASSERT_EQ(ui.messageBoxes.size(), 1u) << "never both the wrapper's and the window's box";
    EXPECT_EQ(ui.messageBoxes[0].title, "clsHash ->Function HashBinary ");
    EXPECT_EQ(ui.messageBoxes[0].text, "disk on fire");
    EXPECT_FALSE(barVisibleAtBox);
    EXPECT_EQ(result(), "");
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(HashTab, AFailingEncodingStepStillHashesButReportsAndReturnsNothing) {
    form.textBox("txtCont").type("abc");
    hash();
    EXPECT_CALL(*lastHash, Encoding(_)).WillOnce(Throw(engineFailure("bad encoding")));
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Return("digest"));
    hash();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "bad encoding");
    EXPECT_EQ(result(), "");
}

TEST_F(HashTab, AFailureInTheWindowsOwnStepsHasTheWindowsTitleAndTheRestStillRuns) {
    const ui::Connection refusing = form.textBox("txtRes").change.connect(
        [] { throw std::runtime_error("the result box refused the text"); });
    form.textBox("txtCont").type("abc");
    hash();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "frmMain->Function HashBinary");
    EXPECT_EQ(ui.messageBoxes[0].text, "the result box refused the text");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(HashTab, TheBarShowsDuringTheCallAndTheAbortButtonIsEnabledOnlyThen) {
    bool abortEnabledDuringCall = false;
    bool barVisibleDuringCall = false;
    form.textBox("txtCont").type("abc");
    hash();
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Invoke([&](const engine::Text&) {
        abortEnabledDuringCall = form.button("cmdAbort").isEnabled();
        barVisibleDuringCall = form.progressBar("pgBar").isVisible();
        EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Hourglass);
        return std::string("d");
    }));
    hash();
    EXPECT_TRUE(abortEnabledDuringCall);
    EXPECT_TRUE(barVisibleDuringCall);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
}

TEST_F(HashTab, ASecondActionDuringARunIsIgnoredButAbortAndTabsStillWork) {
    form.textBox("txtCont").type("abc");
    hash();
    int hashCalls = 0;
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        ++hashCalls;
        for (int p = 0; p <= 100; p += 25)
            if (root->report(p)) throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call == 1) {
            form.button("cmdHashBin").userClick();  // ignored
            form.button("cmdOpen").userClick();     // ignored: no dialog
            form.button("cmdHelp").userClick();     // ignored: no box
            selectTab(2);
        }
        if (call == 2) form.button("cmdAbort").userClick();
    };
    hash();
    EXPECT_EQ(hashCalls, 1);
    EXPECT_TRUE(ui.fileRequests.empty());
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "The operation was aborted.");
    EXPECT_EQ(ui.messageBoxes[0].title, "clsHash ->Function HashBinary ");
    EXPECT_EQ(window->currentTab(), 2);
    EXPECT_EQ(result(), "");
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);

    // Actions work again once the run has returned.
    ui.onDoEvents = nullptr;
    form.button("cmdHelp").userClick();
    EXPECT_EQ(ui.messageBoxes.size(), 2u);
}

TEST_F(HashTab, ClosingDuringARunAbortsItAndEndsTheProgramAfterTheCallReturns) {
    form.textBox("txtCont").type("abc");
    hash();
    bool sawAbort = false;
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        for (int p = 0; p <= 100; p += 10)
            if (root->report(p)) {
                sawAbort = true;
                EXPECT_EQ(ui.unloadCount, 0) << "the engine call has not returned yet";
                EXPECT_TRUE(window->engineRoot()) << "the engine stays while the call runs";
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
            }
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call == 1) form.userClose();
    };
    hash();
    EXPECT_TRUE(sawAbort);
    EXPECT_EQ(ui.unloadCount, 1);
    EXPECT_FALSE(window->engineRoot());
    EXPECT_TRUE(ui.messageBoxes.empty()) << "no news of an abort the user caused by closing";
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(HashTab, ShowingTheAsymmetricTabDuringARunKeepsTheUsersAbort) {
    form.textBox("txtCont").type("abc");
    hash();
    bool aborted = false;
    EXPECT_CALL(*lastHash, HashText(_)).WillOnce(Invoke([&](const engine::Text&) -> engine::Text {
        for (int p = 0; p <= 100; p += 25)
            if (root->report(p)) {
                aborted = true;
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
            }
        return "done";
    }));
    ui.onDoEvents = [&](int call) {
        if (call != 1) return;
        form.button("cmdAbort").userClick();
        selectTab(3);  // first showing: creates the asymmetric wrapper
    };
    hash();
    EXPECT_TRUE(window->asymmetricTab().asymWrapper());
    EXPECT_TRUE(aborted);
}

TEST_F(HashTab, APendingAbortIsClearedByANewWrapperButNotByAReusedOne) {
    form.textBox("txtCont").type("abc");
    hash();
    modUtils::SetAbort();
    form.comboBox("cboEncHash").userSelect(2);
    hash();
    EXPECT_FALSE(modUtils::bAbort) << "creating the Tiger wrapper cleared it";
    modUtils::SetAbort();
    hash();
    EXPECT_TRUE(modUtils::bAbort) << "reuse leaves it pending";
}

TEST(clsHashProperties, TheAlgorithmFilterAndTheSourceKind) {
    FakeWindowing ui{frmMainLayout()};
    clsHash hash(ui);
    EXPECT_EQ(hash.iHashCrypto(), 0);
    hash.iHashCrypto(2);
    hash.iHashCrypto(3);
    hash.iHashCrypto(-1);
    EXPECT_EQ(hash.iHashCrypto(), 2);

    auto root = std::make_shared<NiceMock<MockEngineRoot>>();
    auto engineHash = std::make_shared<NiceMock<MockEngineHash>>();
    EXPECT_CALL(*root, NewHash(Code(2))).WillOnce(Return(engineHash));
    ASSERT_TRUE(hash.InitKey(root));
    EXPECT_CALL(*engineHash, HashFile("/p")).Times(2).WillRepeatedly(Return("f"));
    hash.iSourceType(1);
    EXPECT_EQ(hash.HashBinary("/p"), "f");
    hash.iSourceType(7);
    EXPECT_EQ(hash.HashBinary("/p"), "f") << "any non-zero kind is a file";
    EXPECT_FALSE(hash.InitKey(nullptr));
    EXPECT_EQ(ui.messageBoxes.size(), 1u);
}

}  // namespace
