// SPDX-License-Identifier: Apache-2.0
// The asymmetric tab over a scripted engine: key generation and the key
// state, the enabled states and colours, the load-button captions, the
// operations between the two boxes, and signature verification.

#include <fstream>

#include "engine/EngineTestSupport.h"
#include "tests/logic/asymmetric/AsymTestSupport.h"

using namespace fake;
using ::testing::_;
using ::testing::Invoke;
using ::testing::Return;
using ::testing::Throw;

namespace {

using AsymTab = AsymFixture;

TEST_F(AsymTab, GenerateKeysMakesAPairFromTheSettingsAndOpensTheTab) {
    EXPECT_EQ(captions(), "Load key / Load key private related");
    EXPECT_EQ(actions(), "");
    expectWorkingControls(false, "first showing");
    ui.pointerHistory.clear();

    generate();
    ASSERT_EQ(generations.size(), 1u);
    EXPECT_EQ(generations[0].kind, 2);
    EXPECT_EQ(generations[0].bits, 512);
    EXPECT_EQ(generations[0].seed, "");
    EXPECT_EQ(generations[0].schema, 1) << "OAEP is schema code 1";
    EXPECT_TRUE(tab().asymKeyReady());
    expectWorkingControls(true, "after Generate keys");
    EXPECT_EQ(actions(), "Enc Dec Sign Save");
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    EXPECT_TRUE(form.progressBar("pgBar").visibility.empty()) << "key generation shows no bar";
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_TRUE(ui.messageBoxes.empty());

    form.comboBox("cboAsymKey").userSelect(2);
    form.comboBox("cboAsymSchema").userSelect(1);
    type("txtAsymSeed", "Seed Text");
    generate();
    ASSERT_EQ(generations.size(), 2u);
    EXPECT_EQ(generations[1].bits, 2048);
    EXPECT_EQ(generations[1].seed, "Seed Text");
    EXPECT_EQ(generations[1].schema, 0) << "PCKS1 is schema code 0";
    EXPECT_EQ(wrapper()->iAsymKey(), 2);
    EXPECT_EQ(wrapper()->iAsymSchema(), 1);
}

TEST_F(AsymTab, GeneratingAgainWithTheSameSettingsKeepsThePairButRefreshesTheTab) {
    generate();
    auto first = wrapper();
    type("txtContAsym", "plain");
    click("cmdEncAsym");
    form.button("cmdAsymLoad").setCaption("marker");
    generate();
    EXPECT_EQ(generations.size(), 1u);
    EXPECT_EQ(wrapper(), first);
    EXPECT_EQ(form.button("cmdAsymLoad").caption(), "marker") << "captions are not reset";
    EXPECT_EQ(text("txtContAsym"), "");
    EXPECT_EQ(text("txtResAsym"), "");
    EXPECT_EQ(actions(), "Enc Dec Sign Save");

    type("txtAsymSeed", "seed");
    generate();
    EXPECT_EQ(generations.size(), 2u) << "the seed is a key setting";
    type("txtAsymSeed", "Seed");
    generate();
    EXPECT_EQ(generations.size(), 3u) << "compared case-sensitively";
}

TEST_F(AsymTab, TheKeylessWrapperOfTheFirstShowingCountsAsChanged) {
    // Its settings read back as 512 bits, PCKS1 and no seed: exactly these controls.
    form.comboBox("cboAsymSchema").userSelect(1);
    ASSERT_EQ(wrapper()->iAsymSchema(), 1);
    generate();
    ASSERT_EQ(generations.size(), 1u) << "a wrapper without keys is no pair to keep";
    EXPECT_TRUE(wrapper()->HasPrivateKey());
    type("txtContAsym", "x");
    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "enc[public1](x)");
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymTab, AFailedGenerationIsReportedAndClosesTheTab) {
    generate();
    EXPECT_CALL(*root, NewKeyPair(_, _, _, _, _)).WillOnce(Throw(engineFailure("no primes today")));
    type("txtAsymSeed", "other");
    generate();
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "no primes today");
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function InitKey ");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(tab().asymKeyReady());
    expectWorkingControls(false, "after a failed generation");
    EXPECT_EQ(actions(), "");
    EXPECT_FALSE(wrapper()->HasPrivateKey());
    EXPECT_FALSE(wrapper()->HasPublicKey());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(AsymTab, EncryptDecryptAndSignRunBetweenTheBoxesWithTheTabsSettings) {
    generate();
    form.option("optTypeAsym", 2).userClick();
    form.upDown("udAsym").userClickUp();
    form.upDown("udAsym").userClickUp();
    type("txtContAsym", "hello");
    auto& bar = form.progressBar("pgBar");
    bool abortDuring = false, barDuring = false;
    EXPECT_CALL(*keys["public1"], EncryptText(_)).Times(::testing::AnyNumber());
    EXPECT_CALL(*keys["public1"], EncryptText("hello"))
        .WillOnce(Invoke([&](const engine::Text&) {
            abortDuring = form.button("cmdAbort").isEnabled();
            barDuring = bar.isVisible() && bar.value() == 0;
            return std::string("cipher");
        }))
        .RetiresOnSaturation();
    ui.pointerHistory.clear();
    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "cipher");
    EXPECT_TRUE(abortDuring);
    EXPECT_TRUE(barDuring);
    EXPECT_FALSE(bar.isVisible());
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(compressions.back(), 1);
    EXPECT_EQ(encodings.back(), 2);
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));

    click("cmdDecAsym");
    EXPECT_EQ(text("txtContAsym"), "dec[private1](cipher)") << "decrypting reads the result box";
    click("cmdAsign");
    EXPECT_EQ(text("txtResAsym"), "sig[private1](dec[private1](cipher))");
    EXPECT_EQ(actions(), "Enc Dec Sign Save Verify");
    click("cmdEncAsym");
    EXPECT_EQ(actions(), "Enc Dec Sign Save") << "encrypting disables Verify signature";
    click("cmdAsign");
    click("cmdDecAsym");
    EXPECT_EQ(actions(), "Enc Dec Sign Save") << "so does decrypting";
    EXPECT_EQ(generations.size(), 1u);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymTab, ChangedKeySettingsMakeTheNextOperationGenerateAPairFirst) {
    generate();
    form.button("cmdAsymLoad").setCaption("marker");
    form.comboBox("cboAsymKey").userSelect(1);
    type("txtContAsym", "hello");
    click("cmdEncAsym");
    ASSERT_EQ(generations.size(), 2u);
    EXPECT_EQ(generations[1].bits, 1024);
    EXPECT_EQ(text("txtResAsym"), "enc[public2](hello)");
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_EQ(text("txtContAsym"), "hello") << "the tab is not refreshed";
    EXPECT_EQ(actions(), "Enc Dec Sign Save");

    form.comboBox("cboAsymSchema").userSelect(1);
    click("cmdAsign");
    ASSERT_EQ(generations.size(), 3u) << "the schema is a key setting too";
    EXPECT_EQ(generations[2].schema, 0);
}

TEST_F(AsymTab, FailuresOfAnOperationAreReportedByTheWrapperAndEmptyTheTargetBox) {
    generate();
    type("txtContAsym", "hello");
    click("cmdEncAsym");
    EXPECT_CALL(*keys["private1"], DecryptText(_))
        .WillOnce(Throw(engineFailure("Cannot decrypt: wrong key.")));
    click("cmdDecAsym");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function DecryptAsym ");
    EXPECT_EQ(ui.messageBoxes[0].text, "Cannot decrypt: wrong key.");
    EXPECT_EQ(text("txtContAsym"), "");
    EXPECT_EQ(text("txtResAsym"), "enc[public1](hello)") << "the cipher text is kept";
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);

    EXPECT_CALL(*keys["private1"], SignText(_)).WillOnce(Throw(engineFailure("cannot sign")));
    click("cmdAsign");
    EXPECT_EQ(ui.messageBoxes.back().title, "clsAsym ->Function SignAsym ");
    EXPECT_EQ(text("txtResAsym"), "");
    EXPECT_EQ(actions(), "Enc Dec Sign Save Verify") << "Sign-> enables Verify even when signing fails";
}

TEST_F(AsymTab, AnOperationWhoseGenerationFailsStopsBeforeTheEngineCall) {
    generate();
    type("txtContAsym", "hello");
    form.comboBox("cboAsymKey").userSelect(2);
    EXPECT_CALL(*root, NewKeyPair(_, _, _, _, _)).WillOnce(Throw(engineFailure("no primes")));
    ui.pointerHistory.clear();
    click("cmdEncAsym");
    ASSERT_EQ(messageTexts(), (std::vector<std::string>{"no primes"}));
    EXPECT_EQ(text("txtResAsym"), "");
    EXPECT_EQ(text("txtContAsym"), "hello");
    EXPECT_TRUE(tab().asymKeyReady()) << "an operation does not change the key state";
    EXPECT_EQ(ui.pointerHistory,
              (std::vector<ui::MousePointer>{ui::MousePointer::Hourglass, ui::MousePointer::Default}));
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
}

TEST_F(AsymTab, VerifySignatureAnswersValidOrInvalidWithoutWritingSettings) {
    generate();
    type("txtContAsym", "hello");
    click("cmdAsign");
    const size_t encodingsBefore = encodings.size();
    click("cmdAsymVerifSign");
    EXPECT_EQ(verified, (std::vector<std::string>{"public1: hello / sig[private1](hello)"}));
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "Valid signature ");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Warning);
    EXPECT_EQ(ui.messageBoxes[0].title, ui.applicationTitle());
    EXPECT_EQ(encodings.size(), encodingsBefore) << "no settings are written before verifying";

    type("txtResAsym", "forged");
    form.comboBox("cboAsymKey").userSelect(1);
    click("cmdAsymVerifSign");
    EXPECT_EQ(ui.messageBoxes.back().text, "Invalid signature ");
    EXPECT_EQ(generations.size(), 1u) << "verifying never generates";
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(AsymTab, VerifyingUsesTheSourceKindWrittenBeforeTheLastOtherOperation) {
    generate();
    type("txtContAsym", "hello");
    click("cmdAsign");
    form.option("optAsym", 1).userClick();  // File, but nothing runs to write it
    type("txtContAsym", "hello");
    click("cmdAsymVerifSign");
    EXPECT_EQ(verified.size(), 1u) << "still verifies the text";
}

TEST_F(AsymTab, AFileSourceGivesTheOutputPathsAndAsksBeforeReplacing) {
    const enginetest::ScratchDir scratch;
    const std::string dir = scratch.path();
    const std::string source = dir + "/report.txt";
    std::ofstream(dir + "/reportEnc.txt") << "already there";
    generate();
    form.option("optAsym", 1).userClick();
    type("txtContAsym", source);
    type("txtResAsym", "previous");
    // The question comes before the run: neither the bar nor "Abort transaction" is on while it is open.
    std::vector<std::string> atQuestion;
    ui.onMessageBox = [&](const RecordedMessageBox&) { atQuestion.push_back(busyState()); };

    ui.messageAnswers.push_back(ui::MsgAnswer::No);
    click("cmdEncAsym");
    EXPECT_TRUE(fileCalls.empty()) << "No keeps the existing file";
    EXPECT_EQ(text("txtResAsym"), "previous") << "and changes no box";
    EXPECT_EQ(text("txtContAsym"), source);
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].buttons, ui::MsgButtons::YesNo);
    EXPECT_EQ(ui.messageBoxes[0].defaultAnswer, ui::MsgAnswer::No);

    ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
    click("cmdEncAsym");
    EXPECT_EQ(fileCalls,
              (std::vector<std::string>{"encrypt[public1] " + source + " -> " + dir + "/reportEnc.txt"}));
    EXPECT_EQ(text("txtResAsym"), dir + "/reportEnc.txt");

    click("cmdDecAsym");
    EXPECT_EQ(fileCalls.back(),
              "decrypt[private1] " + dir + "/reportEnc.txt -> " + dir + "/reportEncDec.txt");
    EXPECT_EQ(text("txtContAsym"), dir + "/reportEncDec.txt");
    EXPECT_EQ(ui.messageBoxes.size(), 2u) << "no question for a new file";

    std::ofstream(dir + "/reportEncDec.txt") << "already there";
    ui.messageAnswers.push_back(ui::MsgAnswer::No);
    click("cmdDecAsym");
    EXPECT_EQ(fileCalls.size(), 2u);
    EXPECT_EQ(text("txtContAsym"), dir + "/reportEncDec.txt") << "No on decrypting changes no box either";
    EXPECT_EQ(text("txtResAsym"), dir + "/reportEnc.txt");
    EXPECT_EQ(atQuestion, (std::vector<std::string>(3, "- - busy")));
}

TEST_F(AsymTab, NoOtherActionStartsWhileAnOperationYields) {
    generate();
    type("txtContAsym", "hello");
    EXPECT_CALL(*keys["public1"], EncryptText(_)).WillOnce(Invoke([this](const engine::Text&) {
        click("cmdAsymGenKey");
        click("cmdAsign");
        loadKey(1, "/keys/private.pem");
        return std::string("cipher");
    }));
    const std::string before = captions();
    click("cmdEncAsym");
    EXPECT_EQ(generations.size(), 1u);
    EXPECT_TRUE(loads.empty());
    EXPECT_EQ(captions(), before) << "an ignored click on Load key relabels nothing";
    EXPECT_EQ(text("txtResAsym"), "cipher");
    ui.modalScripts.clear();
    ui.fileAnswers.clear();
}

TEST_F(AsymTab, AStaleAbortRequestIsDroppedWhenAnOperationMakesANewPair) {
    generate();
    type("txtContAsym", "hello");
    modUtils::SetAbort();
    form.comboBox("cboAsymKey").userSelect(1);
    EXPECT_CALL(*root, NewKeyPair(_, _, _, _, _))
        .WillOnce(Invoke([this](engine::KeyKind, int32_t, const engine::Text&, engine::EncryptionSchema,
                                std::shared_ptr<engine::EngineAsymKey>& pub) {
            EXPECT_FALSE(modUtils::bAbort) << "a new wrapper drops a stale request";
            pub = makeKey("public2");
            return std::shared_ptr<engine::EngineAsymKey>(makeKey("private2"));
        }));
    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "enc[public2](hello)");
}

TEST_F(AsymTab, AbortTransactionStopsAnEncryptionAndTheTabRecovers) {
    generate();
    type("txtContAsym", "long text");
    EXPECT_CALL(*keys["public1"], EncryptText(_)).Times(::testing::AnyNumber());
    EXPECT_CALL(*keys["public1"], EncryptText(_))
        .WillOnce(Invoke([this](const engine::Text&) -> engine::Text {
            root->report(10);
            click("cmdAbort");
            if (root->report(20))
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
            return "never";
        }))
        .RetiresOnSaturation();
    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "");
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"The operation was aborted."}));
    EXPECT_FALSE(modUtils::bAbort);
    EXPECT_FALSE(form.button("cmdAbort").isEnabled());
    EXPECT_FALSE(form.progressBar("pgBar").isVisible());
    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "enc[public1](long text)");
}

TEST_F(AsymTab, EveryOperationHasTheBarAndAbortTransactionOnlyAroundItsEngineCall) {
    generate();
    std::vector<std::string> during, after;
    auto note = [&](const char* call) { during.push_back(call + (": " + busyState())); };
    ON_CALL(*keys["public1"], EncryptText(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("EncryptText");
        return std::string("c");
    }));
    ON_CALL(*keys["private1"], DecryptText(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("DecryptText");
        return std::string("p");
    }));
    ON_CALL(*keys["private1"], SignText(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("SignText");
        return std::string("s");
    }));
    ON_CALL(*keys["public1"], EncryptFile(_, _))
        .WillByDefault(Invoke([&](const engine::Text&, const engine::Text&) { note("EncryptFile"); }));
    ON_CALL(*keys["private1"], DecryptFile(_, _))
        .WillByDefault(Invoke([&](const engine::Text&, const engine::Text&) { note("DecryptFile"); }));
    ON_CALL(*keys["private1"], SignFile(_)).WillByDefault(Invoke([&](const engine::Text&) {
        note("SignFile");
        return std::string("s");
    }));
    auto runAll = [&] {
        for (const char* button : {"cmdEncAsym", "cmdDecAsym", "cmdAsign"}) {
            click(button);
            after.push_back(button + (": " + busyState()));
        }
    };
    type("txtContAsym", "hello");
    runAll();
    const enginetest::ScratchDir dir;
    form.option("optAsym", 1).userClick();
    type("txtContAsym", dir.file("a.txt"));
    type("txtResAsym", dir.file("aEnc.txt"));
    runAll();
    EXPECT_EQ(during, (std::vector<std::string>{"EncryptText: abort bar busy", "DecryptText: abort bar busy",
                                                "SignText: abort bar busy", "EncryptFile: abort bar busy",
                                                "DecryptFile: abort bar busy", "SignFile: abort bar busy"}));
    const std::vector<std::string> idle = {"cmdEncAsym: - - -", "cmdDecAsym: - - -", "cmdAsign: - - -"};
    EXPECT_EQ(after, (std::vector<std::string>{idle[0], idle[1], idle[2], idle[0], idle[1], idle[2]}))
        << "the bar is hidden after signing too";
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymTab, KeyGenerationShowsTheBusyPointerButNeitherTheBarNorAbortTransaction) {
    std::vector<std::string> during;
    ON_CALL(*root, NewKeyPair(_, _, _, _, _))
        .WillByDefault(
            Invoke([this, &during](engine::KeyKind, int32_t, const engine::Text&, engine::EncryptionSchema,
                                   std::shared_ptr<engine::EngineAsymKey>& publicKey) {
                root->report(0);
                root->report(50);
                during.push_back(busyState());
                root->report(101);
                const std::string n = std::to_string(during.size());
                publicKey = makeKey("public" + n);
                return std::shared_ptr<engine::EngineAsymKey>(makeKey("private" + n));
            }));
    generate();
    EXPECT_EQ(busyState(), "- - -");
    form.comboBox("cboAsymKey").userSelect(1);
    type("txtContAsym", "hello");
    click("cmdEncAsym");  // generates a pair first, before the encryption's own run
    EXPECT_EQ(text("txtResAsym"), "enc[public2](hello)");
    EXPECT_EQ(during, (std::vector<std::string>(2, "- - busy")));
    EXPECT_EQ(busyState(), "- - -");
}

TEST_F(AsymTab, ClosingTheWindowDuringAVerificationEndsItWithoutAnAnswer) {
    generate();
    type("txtContAsym", "hello");
    click("cmdAsign");
    EXPECT_CALL(*keys["public1"], VerifyText(_, _))
        .WillOnce(Invoke([this](const engine::Text&, const engine::Text&) -> bool {
            form.userClose();
            if (root->report(0))
                throw engineFailure("The operation was aborted.", engine::ErrorKind::Aborted);
            return true;
        }));
    click("cmdAsymVerifSign");
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(ui.unloadCount, 1);
    EXPECT_FALSE(wrapper()) << "the wrapper is released once the verification has returned";
}

}  // namespace
