// SPDX-License-Identifier: Apache-2.0
// The asymmetric wrapper on its own: list positions to engine values, the
// missing-key failures and notices, and what creation and destruction do.

#include "tests/logic/asymmetric/AsymTestSupport.h"

using namespace fake;
using ::testing::_;
using ::testing::Throw;

namespace {

class AsymWrapper : public AsymFixture {
protected:
    // No window: nothing else watches the buttons.
    void SetUp() override { scriptEngine(); }
    std::shared_ptr<clsAsym> make() { return std::make_shared<clsAsym>(ui, keyForm); }
    std::shared_ptr<frmKey> keyForm = std::make_shared<frmKey>(ui);
};

TEST_F(AsymWrapper, ListPositionsMapToKeyBitsAndSchemaCodesAndBack) {
    auto asym = make();
    EXPECT_EQ(asym->iAsymKey(), 0) << "a new wrapper";
    EXPECT_EQ(asym->iAsymSchema(), 1) << "schema code 0 reads as PCKS1";
    const int32_t bits[] = {512, 1024, 2048};
    for (int16_t position = 0; position < 3; ++position) {
        asym->iAsymKey(position);
        EXPECT_EQ(asym->iAsymKey(), position);
        asym->InitKey(root);
        EXPECT_EQ(generations.back().bits, bits[position]);
    }
    asym->iAsymKey(3);
    asym->iAsymKey(-1);
    EXPECT_EQ(asym->iAsymKey(), 2) << "other positions leave the length";

    asym->iAsymSchema(0);
    asym->InitKey(root);
    EXPECT_EQ(generations.back().schema, 1);
    EXPECT_EQ(asym->iAsymSchema(), 0);
    asym->iAsymSchema(1);
    asym->InitKey(root);
    EXPECT_EQ(generations.back().schema, 0);
    asym->iAsymSchema(2);
    EXPECT_EQ(asym->iAsymSchema(), 1);
    EXPECT_TRUE(ui.messageBoxes.empty());
}

TEST_F(AsymWrapper, TheCompressionTextReachesTheKeyAsANumber) {
    auto asym = make();
    asym->iAsymKey(0);
    asym->InitKey(root);
    asym->AsymComp("-1");
    asym->AsymEncod(1);
    asym->CryptAsym("x");
    EXPECT_EQ(compressions.back(), -1);
    EXPECT_EQ(encodings.back(), 1);
    asym->AsymComp("9");
    asym->SignAsym("x");
    EXPECT_EQ(compressions.back(), 9);
    for (const char* bad : {"", "abc", "4x", "70000"}) asym->AsymComp(bad);
    asym->DecryptAsym("x");
    EXPECT_EQ(compressions.back(), 9) << "a text that is no 16-bit number leaves the level";
}

TEST_F(AsymWrapper, OperationsWithoutTheirKeyFailOnceWithTheirOwnTitle) {
    auto asym = make();
    asym->iAsymKey(0);
    asym->InitKey(root);
    asym->KeyLoad(true);
    // Only a private key: load one into a wrapper whose public half goes.
    chooseKind(1);
    answerFile("/keys/private.pem");
    ASSERT_TRUE(asym->KeyLoadFromFile(root, false));
    ASSERT_FALSE(asym->HasPublicKey());
    auto& bar = form.progressBar("pgBar");
    EXPECT_EQ(asym->CryptAsym("x"), "");
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function CryptAsym ");
    EXPECT_EQ(ui.messageBoxes[0].icon, ui::MsgIcon::Error);
    EXPECT_FALSE(bar.isVisible());

    auto publicOnly = make();
    chooseKind(0);
    answerFile("/keys/public.pem");
    ASSERT_TRUE(publicOnly->KeyLoadFromFile(root, false));
    EXPECT_EQ(publicOnly->DecryptAsym("x"), "");
    EXPECT_EQ(ui.messageBoxes.back().title, "clsAsym ->Function DecryptAsym ");
    EXPECT_EQ(publicOnly->SignAsym("x"), "");
    EXPECT_EQ(ui.messageBoxes.back().title, "clsAsym ->Function SignAsym ");
    EXPECT_EQ(ui.messageBoxes.size(), 3u);
    EXPECT_FALSE(bar.isVisible());
}

TEST_F(AsymWrapper, AKeyFileThatGaveNoKeyIsNamedAsTheEngineNamesFiles) {
    auto asym = make();
    EXPECT_CALL(*root, LoadKey(_, _, _)).WillOnce(::testing::Return(nullptr));
    chooseKind(0);
    answerFile("/keys/a\nb\xE2\x80\xAE.pem");
    EXPECT_FALSE(asym->KeyLoadFromFile(root, false));
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].text, "No key was read from \"/keys/a\\nb\\u202E.pem\".");
}

TEST_F(AsymWrapper, VerifyingNeedsBothKeysAndNamesTheMissingOneWithoutAnEngineCall) {
    auto none = make();
    EXPECT_FALSE(none->VerifySign("text", "sig"));
    auto publicOnly = make();
    chooseKind(0);
    answerFile("/keys/public.pem");
    publicOnly->KeyLoadFromFile(root, false);
    EXPECT_FALSE(publicOnly->VerifySign("text", "sig[x]"));
    EXPECT_EQ(messageTexts(),
              (std::vector<std::string>{"There is no public key", "There is no private key"}));
    for (const RecordedMessageBox& box : ui.messageBoxes) EXPECT_EQ(box.icon, ui::MsgIcon::Warning);
    EXPECT_TRUE(verified.empty());
    EXPECT_TRUE(form.progressBar("pgBar").visibility.empty()) << "verifying never touches the bar";
}

TEST_F(AsymWrapper, AFailedVerificationIsReportedAndIsFalse) {
    auto asym = make();
    asym->iAsymKey(0);
    asym->InitKey(root);
    asym->AsymSource(1);
    EXPECT_CALL(*keys["public1"], VerifyFile("/missing", "sig"))
        .WillOnce(Throw(
            engineFailure("Cannot open \"/missing\": No such file or directory.", engine::ErrorKind::Io)));
    EXPECT_FALSE(asym->VerifySign("/missing", "sig"));
    ASSERT_EQ(ui.messageBoxes.size(), 1u);
    EXPECT_EQ(ui.messageBoxes[0].title, "clsAsym ->Function VerifySign ");
}

TEST_F(AsymWrapper, AFailedGenerationLeavesNoPublicKeyAndKeepsThePrivateOne) {
    auto asym = make();
    asym->iAsymKey(0);
    ASSERT_TRUE(asym->InitKey(root));
    EXPECT_CALL(*root, NewKeyPair(_, _, _, _, _)).WillOnce(Throw(engineFailure("no primes")));
    EXPECT_FALSE(asym->InitKey(root));
    EXPECT_EQ(ui.messageBoxes.back().title, "clsAsym ->Function InitKey ");
    EXPECT_FALSE(asym->HasPublicKey());
    EXPECT_TRUE(asym->HasPrivateKey());

    auto fresh = make();
    EXPECT_CALL(*root, NewKeyPair(_, _, _, _, _)).WillOnce(Throw(engineFailure("no primes")));
    EXPECT_FALSE(fresh->InitKey(root));
    EXPECT_EQ(fresh->CryptAsym("x"), "");
    EXPECT_EQ(fresh->SignAsym("x"), "");
    EXPECT_EQ(ui.messageBoxes.size(), 4u) << "every operation of a keyless wrapper fails with its message";
    EXPECT_FALSE(fresh->InitKey(nullptr)) << "no engine";
}

TEST_F(AsymWrapper, CreationClearsAnAbortAndDestructionStopsWatchingLoadKey) {
    modUtils::SetAbort();
    auto asym = make();
    EXPECT_FALSE(modUtils::bAbort);
    auto& load = form.button("cmdAsymLoad");
    asym->LabelLoadButtons("a", "b");
    asym->LoadClickHandled();
    load.click.raise();
    EXPECT_EQ(load.caption(), "Load Key") << "a watched click relabels: the dialog has not said OK";
    asym.reset();
    load.setCaption("unchanged");
    load.click.raise();
    EXPECT_EQ(load.caption(), "unchanged");
}

}  // namespace
