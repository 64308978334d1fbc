// SPDX-License-Identifier: Apache-2.0
// Key files over a scripted engine: the key-kind dialog and its answers,
// "Save key to file", "Load key" and the related-key button, with the key
// states, enabled states and captions each outcome leaves.

#include "tests/logic/asymmetric/AsymTestSupport.h"

using namespace fake;
using ::testing::_;
using ::testing::Throw;

namespace {

using AsymKeyFiles = AsymFixture;

// ---- saving

TEST_F(AsymKeyFiles, SavingAfterGenerationOffersEitherKeyAndRemembersTheChoice) {
    generate();
    save(1, "/keys/private.pem");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "Save Key ");
    EXPECT_EQ(seen[0].preset, 0) << "a new pair presets the public key";
    EXPECT_FALSE(seen[0].locked);
    EXPECT_EQ(saves, (std::vector<std::string>{"private1 -> /keys/private.pem"}));
    ASSERT_EQ(ui.fileRequests.size(), 1u);
    EXPECT_EQ(ui.fileRequests[0].title, "Save to file ");
    EXPECT_TRUE(ui.fileRequests[0].save);

    save(0, "/keys/public.pem");
    EXPECT_EQ(seen[1].preset, 1) << "the next save presets the kind chosen last";
    EXPECT_EQ(saves.back(), "public1 -> /keys/public.pem");
    EXPECT_TRUE(ui.messageBoxes.empty()) << "the save dialog asks about replacing; nothing asks twice";
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(AsymKeyFiles, KeyFileDialogsShowTheDefaultPointer) {
    generate();
    std::vector<ui::MousePointer> pointers;
    keyDialog([&](FakeForm& f) {
        pointers.push_back(ui.screenPointer());
        f.button("cmdOk").userClick();
    });
    answerFile("/keys/public.pem");
    click("cmdAsymSave");
    keyDialog([&](FakeForm& f) {
        pointers.push_back(ui.screenPointer());
        f.button("cmdOk").userClick();
    });
    answerFile("/keys/public.pem");
    click("cmdAsymLoad");
    EXPECT_EQ(pointers,
              (std::vector<ui::MousePointer>{ui::MousePointer::Default, ui::MousePointer::Default}));
    EXPECT_EQ(ui.screenPointer(), ui::MousePointer::Default);
}

TEST_F(AsymKeyFiles, ACancelledSaveWritesNothingAndSaysNothing) {
    generate();
    cancelKind();
    click("cmdAsymSave");
    EXPECT_TRUE(ui.fileRequests.empty());
    chooseKind(1);
    answerFile(std::nullopt);
    click("cmdAsymSave");
    EXPECT_TRUE(saves.empty());
    EXPECT_TRUE(ui.messageBoxes.empty());
    EXPECT_EQ(wrapper()->CryptoKey(), 1) << "the chosen kind is kept";
    keyDialog(nullptr);  // the close box
    click("cmdAsymSave");
    EXPECT_TRUE(saves.empty());
    EXPECT_EQ(ui.fileRequests.size(), 1u) << "closing the dialog is a Cancel";
}

TEST_F(AsymKeyFiles, AFailedSaveIsReportedWithTheSaveTitle) {
    generate();
    EXPECT_CALL(*keys["public1"], SaveToFile(_))
        .WillOnce(Throw(engineFailure("Cannot create \"/x\": denied.")));
    save(0, "/x");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function KeySaveToFile ");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
}

TEST_F(AsymKeyFiles, SavingWithChangedKeySettingsSavesANewPair) {
    generate();
    form.comboBox("cboAsymKey").userSelect(1);
    save(0, "/keys/public.pem");
    EXPECT_EQ(generations.size(), 2u);
    EXPECT_EQ(saves, (std::vector<std::string>{"public2 -> /keys/public.pem"}));
}

// ---- loading

TEST_F(AsymKeyFiles, LoadingAPrivateKeyThenItsPublicKeyGivesAWholePair) {
    generate();
    form.comboBox("cboAsymSchema").userSelect(1);
    type("txtContAsym", "left over");
    loadKey(1, "/keys/private.pem");
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].caption, "Load Key ");
    EXPECT_FALSE(seen[0].locked);
    EXPECT_EQ(ui.fileRequests.back().title, "Load to file ");
    EXPECT_FALSE(ui.fileRequests.back().save);
    ASSERT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].kind, 3);
    EXPECT_EQ(loads[0].schema, 0) << "the schema selected now";
    EXPECT_TRUE(tab().asymKeyReady());
    expectWorkingControls(true, "after loading a private key");
    EXPECT_EQ(actions(), "Dec Sign");
    EXPECT_EQ(captions(), "Load Key Private / Load Key Public Related");
    EXPECT_EQ(text("txtContAsym"), "");
    EXPECT_FALSE(wrapper()->HasPublicKey()) << "the generated public key is dropped";

    type("txtContAsym", "kept");
    loadRelated("/keys/public.pem");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].preset, 0);
    EXPECT_TRUE(seen[1].locked);
    EXPECT_EQ(loads[1].kind, 4);
    EXPECT_EQ(actions(), "Enc Dec Sign");
    EXPECT_EQ(captions(), "Load Key Private / Load Key Public Related")
        << "the related load relabels nothing";
    EXPECT_EQ(text("txtContAsym"), "kept") << "the related load refreshes nothing";

    click("cmdEncAsym");
    EXPECT_EQ(text("txtResAsym"), "enc[/keys/public.pem](kept)");
    click("cmdDecAsym");
    EXPECT_EQ(text("txtContAsym"), "dec[/keys/private.pem](enc[/keys/public.pem](kept))");
    click("cmdAsign");
    click("cmdAsymVerifSign");
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"Valid signature "}));
}

TEST_F(AsymKeyFiles, LoadingAPublicKeyAloneAllowsOnlyEncryptingAndPresetsThePrivateAsRelated) {
    generate();
    loadKey(0, "/keys/public.pem");
    EXPECT_EQ(actions(), "Enc");
    EXPECT_EQ(captions(), "Load Key Public / Load Key Private Related");
    EXPECT_FALSE(wrapper()->HasPrivateKey());

    type("txtContAsym", "hello");
    click("cmdEncAsym");
    click("cmdAsign");  // not usable: nothing happens
    EXPECT_EQ(text("txtResAsym"), "enc[/keys/public.pem](hello)");

    loadRelated("/keys/private.pem");
    EXPECT_EQ(seen.back().preset, 1);
    EXPECT_TRUE(seen.back().locked);
    EXPECT_TRUE(wrapper()->HasPublicKey()) << "the loaded public key stays";
    EXPECT_EQ(actions(), "Enc Dec Sign");
}

TEST_F(AsymKeyFiles, VerifyingWithOnlyAPrivateKeyNamesTheMissingKeyThenSaysInvalid) {
    generate();
    loadKey(1, "/keys/private.pem");
    type("txtContAsym", "hello");
    click("cmdAsign");
    click("cmdAsymVerifSign");
    EXPECT_EQ(messageTexts(), (std::vector<std::string>{"There is no public key", "Invalid signature "}));
    for (const RecordedMessageBox& box : ui.messageBoxes) {
        EXPECT_EQ(box.icon, ui::MsgIcon::Warning);
        EXPECT_EQ(box.title, ui.applicationTitle());
    }
    EXPECT_TRUE(verified.empty()) << "no engine call";
}

TEST_F(AsymKeyFiles, TheRelatedButtonRightAfterGenerationReplacesThePairByAPrivateKey) {
    generate();
    loadRelated("/keys/private.pem");
    EXPECT_EQ(seen[0].preset, 1) << "a new wrapper's kind is public, so the related one is private";
    EXPECT_TRUE(seen[0].locked);
    EXPECT_FALSE(wrapper()->HasPublicKey());
    EXPECT_EQ(actions(), "Enc Dec Sign Save") << "all three enabled; the rest unchanged";
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
}

TEST_F(AsymKeyFiles, ACancelledLoadClosesTheTabAndKeepsTheKeys) {
    generate();
    auto before = wrapper();
    cancelKind();
    click("cmdAsymLoad");
    EXPECT_FALSE(tab().asymKeyReady());
    expectWorkingControls(false, "after a cancelled load");
    EXPECT_EQ(actions(), "");
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_TRUE(ui.fileRequests.empty());
    EXPECT_TRUE(wrapper()->HasPrivateKey() && wrapper()->HasPublicKey());
    EXPECT_EQ(wrapper(), before);

    chooseKind(1);
    answerFile(std::nullopt);
    click("cmdAsymLoad");
    EXPECT_FALSE(tab().asymKeyReady());
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_EQ(wrapper()->CryptoKey(), 1) << "the chosen kind is kept";
    EXPECT_FALSE(wrapper()->KeyLoad());
    EXPECT_TRUE(loads.empty());
    EXPECT_TRUE(ui.messageBoxes.empty());

    generate();
    EXPECT_EQ(generations.size(), 1u) << "the generated pair is still whole and current";
    EXPECT_EQ(actions(), "Enc Dec Sign Save");
}

TEST_F(AsymKeyFiles, ClosingTheDialogIsACancelEvenAfterAnEarlierOk) {
    generate();
    loadKey(1, "/keys/private.pem");
    keyDialog(nullptr);
    click("cmdAsymLoad");
    EXPECT_EQ(loads.size(), 1u) << "no file is asked for";
    EXPECT_FALSE(tab().asymKeyReady());
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_FALSE(tab().keyDialog().LoadForm());
}

TEST_F(AsymKeyFiles, EnterIsOkAndEscapeIsCancelInTheDialog) {
    generate();
    keyDialog([](FakeForm& f) {
        f.option("optAsymCrKey", 1).userClick();
        f.pressEnter();
    });
    answerFile("/keys/private.pem");
    click("cmdAsymLoad");
    EXPECT_EQ(loads.size(), 1u);
    EXPECT_EQ(loads[0].kind, 3);
    keyDialog([](FakeForm& f) { f.pressEscape(); });
    click("cmdAsymLoad");
    EXPECT_EQ(loads.size(), 1u);
    EXPECT_FALSE(tab().keyDialog().LoadForm());
    ASSERT_NE(tab().keyDialog().form(), nullptr);
    EXPECT_EQ(ui.lastCreatedForm, tab().keyDialog().form()) << "one dialog serves every use";
}

TEST_F(AsymKeyFiles, AFailedLoadIsReportedOnceAndClosesTheTab) {
    generate();
    loadKey(0, "/keys/bad.pem");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function KeyLoadFromFile ");
    EXPECT_EQ(ui.messageBoxes[0].text, "The file \"/keys/bad.pem\" is not a key file.");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(tab().asymKeyReady());
    expectWorkingControls(false, "after a failed load");
    EXPECT_EQ(actions(), "");
    EXPECT_EQ(captions(), "Load Key / Load Key Related");
    EXPECT_FALSE(wrapper()->KeyLoad());
    EXPECT_TRUE(wrapper()->KeyLoadPublic()) << "the flag is set before the engine reads";
    EXPECT_TRUE(wrapper()->HasPublicKey()) << "the key that was to be replaced stays";
    EXPECT_FALSE(wrapper()->HasPrivateKey()) << "the other kind was dropped first";

    generate();
    EXPECT_EQ(generations.size(), 2u) << "half a generated pair is no pair to keep";
    EXPECT_TRUE(tab().asymKeyReady());
    type("txtContAsym", "hello");
    click("cmdAsign");
    EXPECT_EQ(text("txtResAsym"), "sig[private2](hello)");
}

TEST_F(AsymKeyFiles, KeysFromFilesStayWhenTheSettingsChangeUntilGenerateKeys) {
    generate();
    loadKey(0, "/keys/public.pem");
    form.comboBox("cboAsymKey").userSelect(2);
    type("txtContAsym", "hello");
    click("cmdEncAsym");
    EXPECT_EQ(generations.size(), 1u);
    EXPECT_EQ(text("txtResAsym"), "enc[/keys/public.pem](hello)");
    generate();
    EXPECT_EQ(generations.size(), 2u) << "Generate keys replaces loaded keys";
    EXPECT_EQ(generations[1].bits, 2048);
    EXPECT_EQ(actions(), "Enc Dec Sign Save");
}

TEST_F(AsymKeyFiles, SaveStaysDisabledAfterAnyLoadUntilTheNextGeneration) {
    generate();
    loadKey(1, "/keys/private.pem");
    EXPECT_FALSE(form.button("cmdAsymSave").isEnabled());
    loadRelated("/keys/public.pem");
    EXPECT_FALSE(form.button("cmdAsymSave").isEnabled());
    selectTab(1);
    selectTab(3);
    EXPECT_FALSE(form.button("cmdAsymSave").isEnabled());
    generate();
    EXPECT_TRUE(form.button("cmdAsymSave").isEnabled());
}

TEST_F(AsymKeyFiles, SavingAKeyFromAFileLocksTheKindToIt) {
    generate();
    loadRelated("/keys/private.pem");  // Save stays enabled after a related load
    form.comboBox("cboAsymKey").userSelect(2);
    save(0, "/keys/copy.pem");  // locked: the click on the public key is refused
    EXPECT_EQ(seen.back().preset, 1);
    EXPECT_TRUE(seen.back().locked);
    EXPECT_EQ(saves, (std::vector<std::string>{"/keys/private.pem -> /keys/copy.pem"}));
    EXPECT_EQ(generations.size(), 1u) << "keys from files are never replaced by an operation";
}

TEST_F(AsymKeyFiles, ACancelledRelatedLoadOffersTheSameKindAgain) {
    generate();
    loadKey(1, "/keys/private.pem");
    cancelKind();
    click("cmdAsymLoadRelat");
    EXPECT_EQ(seen.back().preset, 0);
    EXPECT_EQ(actions(), "Dec Sign") << "enabled states unchanged";
    confirmKind();
    answerFile(std::nullopt);
    click("cmdAsymLoadRelat");
    EXPECT_EQ(seen.back().preset, 0) << "still the public key";
    EXPECT_FALSE(wrapper()->KeyLoad()) << "a cancelled file dialog clears KeyLoad";
    loadRelated("/keys/public.pem");
    EXPECT_EQ(seen.back().preset, 0);
    EXPECT_EQ(loads.back().kind, 4);
    EXPECT_EQ(actions(), "Enc Dec Sign");
}

TEST_F(AsymKeyFiles, AFailedRelatedLoadIsReportedAndChangesNoControl) {
    generate();
    loadKey(1, "/keys/private.pem");
    type("txtContAsym", "kept");
    loadRelated("/keys/bad-public.pem");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function KeyLoadFromFile ");
    EXPECT_EQ(actions(), "Dec Sign");
    EXPECT_EQ(captions(), "Load Key Private / Load Key Public Related");
    EXPECT_EQ(text("txtContAsym"), "kept");
    EXPECT_TRUE(tab().asymKeyReady());
    EXPECT_TRUE(wrapper()->HasPrivateKey()) << "the loaded private key stays";
    click("cmdDecAsym");
    EXPECT_EQ(ui.messageBoxes.size(), 1u) << "the private key still works";
    EXPECT_EQ(generations.size(), 1u) << "a key from a file is kept";
}

// ---- "Generate keys" after keys from files

class AsymGenerateAfterFiles : public AsymFixture {
protected:
    // The wrapper holds one key from a file and KeyLoad is clear: "Generate
    // keys" still makes a pair, and the tab opens only on keys that work.
    void expectGenerateMakesAPair() {
        const size_t boxes = ui.messageBoxes.size();
        generate();
        EXPECT_EQ(generations.size(), 1u) << "a new pair";
        EXPECT_TRUE(tab().asymKeyReady());
        EXPECT_EQ(actions(), "Enc Dec Sign Save");
        EXPECT_EQ(captions(), "Load Key / Load Key Related");
        type("txtContAsym", "hello");
        click("cmdEncAsym");
        click("cmdDecAsym");
        EXPECT_EQ(text("txtContAsym"), "dec[private1](enc[public1](hello))");
        EXPECT_EQ(ui.messageBoxes.size(), boxes) << "no missing-key message";
    }
};

TEST_F(AsymGenerateAfterFiles, AfterAPublicKeyAndACancelledRelatedLoad) {
    loadKey(0, "/keys/public.pem");
    confirmKind();
    answerFile(std::nullopt);
    click("cmdAsymLoadRelat");
    ASSERT_FALSE(wrapper()->KeyLoad());
    ASSERT_TRUE(tab().asymKeyReady());
    expectGenerateMakesAPair();
}

TEST_F(AsymGenerateAfterFiles, AfterAFailedLoad) {
    loadKey(1, "/keys/private.pem");
    loadKey(1, "/keys/bad-private.pem");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    ASSERT_FALSE(wrapper()->KeyLoad());
    ASSERT_TRUE(wrapper()->HoldsKeyFromFile()) << "the key read before stays";
    expectGenerateMakesAPair();
}

}  // namespace
