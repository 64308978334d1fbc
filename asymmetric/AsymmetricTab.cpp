// SPDX-License-Identifier: Apache-2.0
#include "asymmetric/AsymmetricTab.h"

#include "asymmetric/clsAsym.h"
#include "asymmetric/frmKey.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

// Key files and verification show no busy pointer, yet their engine calls
// yield to the window too: a second action must not start meanwhile.
class QuietOperation {
public:
    QuietOperation(TabHost& host, ui::Windowing& windowing) : m_operation(host) {
        windowing.setScreenPointer(ui::MousePointer::Default);
    }

private:
    TabHost::Operation m_operation;
};

}  // namespace

AsymmetricTab::AsymmetricTab(TabHost& host)
    : m_host(host),
      m_windowing(host.windowing()),
      m_form(host.form()),
      frTxtAsym(m_form.frame("frTxtAsym")),
      txtContAsym(m_form.textBox("txtContAsym")),
      txtResAsym(m_form.textBox("txtResAsym")),
      txtAsymComp(m_form.textBox("txtAsymComp")),
      txtAsymSeed(m_form.textBox("txtAsymSeed")),
      cboAsymKey(m_form.comboBox("cboAsymKey")),
      cboAsymSchema(m_form.comboBox("cboAsymSchema")),
      udAsym(m_form.upDown("udAsym")),
      cmdEncAsym(m_form.button("cmdEncAsym")),
      cmdDecAsym(m_form.button("cmdDecAsym")),
      cmdAsign(m_form.button("cmdAsign")),
      cmdAsymGenKey(m_form.button("cmdAsymGenKey")),
      cmdAsymSave(m_form.button("cmdAsymSave")),
      cmdAsymLoad(m_form.button("cmdAsymLoad")),
      cmdAsymLoadRelat(m_form.button("cmdAsymLoadRelat")),
      cmdAsymVerifSign(m_form.button("cmdAsymVerifSign")),
      cmdAbort(m_form.button("cmdAbort")),
      m_keyForm(std::make_shared<frmKey>(m_windowing)) {
    // Connected before any wrapper exists: the window's reaction to "Load key"
    // always runs before the wrapper's relabelling.
    m_host.connectAction(cmdAsymGenKey, [this] { cmdAsymGenKey_Click(); });
    m_host.connectAction(cmdEncAsym, [this] { cmdEncAsym_Click(); });
    m_host.connectAction(cmdDecAsym, [this] { cmdDecAsym_Click(); });
    m_host.connectAction(cmdAsign, [this] { cmdAsign_Click(); });
    m_host.connectAction(cmdAsymVerifSign, [this] { cmdAsymVerifSign_Click(); });
    m_host.connectAction(cmdAsymSave, [this] { cmdAsymSave_Click(); });
    m_host.connectAction(cmdAsymLoad, [this] { cmdAsymLoad_Click(); });
    m_host.connectAction(cmdAsymLoadRelat, [this] { cmdAsymLoadRelat_Click(); });
}

AsymmetricTab::~AsymmetricTab() = default;

// ---------------------------------------------------------------- panel

void AsymmetricTab::RefreshAsymPanel(bool bSaveAllowed) {
    const bool K = bAsymKeyReady;
    const ui::SysColor back = K ? ui::SysColor::WindowBackground : ui::SysColor::InactiveBorder;
    frTxtAsym.setEnabled(K);
    m_form.option("optAsym", 0).setEnabled(K);
    m_form.option("optAsym", 1).setEnabled(K);
    txtResAsym.setEnabled(K);
    txtResAsym.setBackColor(back);
    txtResAsym.setText("");
    txtContAsym.setBackColor(back);
    txtContAsym.setEnabled(K);
    txtContAsym.setText("");
    cmdEncAsym.setEnabled(K);
    cmdDecAsym.setEnabled(K);
    cmdAsign.setEnabled(K);
    for (int i = 0; i < 3; ++i) m_form.option("optTypeAsym", i).setEnabled(K);
    txtAsymComp.setEnabled(K);
    udAsym.setEnabled(K);
    cmdAsymLoadRelat.setEnabled(K);
    ensureWrapper();
    cmdAsymSave.setEnabled(bSaveAllowed && K);
    cmdAsymVerifSign.setEnabled(false);
}

void AsymmetricTab::ensureWrapper() {
    if (mAsym) return;
    // A new wrapper drops a stale abort request, never one made for the running operation.
    const bool pending = modUtils::bAbort;
    mAsym = std::make_shared<clsAsym>(m_windowing, m_keyForm);
    if (m_host.operationRunning()) modUtils::bAbort = pending;
}

// ---------------------------------------------------------------- keys

bool AsymmetricTab::GenerateAsymKeys(bool force) {
    if (mAsym && !force && !AsymSettingsChanged()) return true;
    mAsym = std::make_shared<clsAsym>(m_windowing, m_keyForm);
    const std::shared_ptr<clsAsym> asym = mAsym;
    asym->iAsymSeed(txtAsymSeed.text());
    asym->iAsymKey(static_cast<int16_t>(cboAsymKey.listIndex()));
    asym->iAsymSchema(static_cast<int16_t>(cboAsymSchema.listIndex()));
    asym->LabelLoadButtons("Load Key", "Load Key Related");
    return asym->InitKey(m_host.engineRoot());
}

bool AsymmetricTab::AsymSettingsChanged() {
    if (mAsym->KeyLoad()) return false;
    // Keys that came from no file and do not form a pair are nothing to keep:
    // the panel's keyless wrapper, or one whose half a failed load dropped.
    if (!(mAsym->HasPrivateKey() && mAsym->HasPublicKey()) && !mAsym->HoldsKeyFromFile()) return true;
    const bool same = txtAsymSeed.text() == mAsym->iAsymSeed() &&
                      cboAsymKey.listIndex() == mAsym->iAsymKey() &&
                      cboAsymSchema.listIndex() == mAsym->iAsymSchema();
    return !same;
}

bool AsymmetricTab::PrepareAsymOperation() {
    if (!GenerateAsymKeys(false)) return false;
    ApplyAsymSettings();
    return true;
}

void AsymmetricTab::ApplyAsymSettings() {
    mAsym->AsymSource(SourceOf(m_form, "optAsym"));
    mAsym->AsymEncod(EncodingOf(m_form, "optTypeAsym"));
    mAsym->AsymComp(txtAsymComp.text());
    mAsym->iAsymSchema(static_cast<int16_t>(cboAsymSchema.listIndex()));
}

void AsymmetricTab::cmdAsymGenKey_Click() {
    TabHost::Operation operation(m_host);
    bool force = false;
    // Keys from files make way for a new pair, also once a cancelled or failed
    // load has cleared KeyLoad: the tab never opens on one key it cannot use.
    if (mAsym && (mAsym->KeyLoad() || mAsym->HoldsKeyFromFile())) {
        mAsym->KeyLoad(false);
        force = true;
    }
    bAsymKeyReady = GenerateAsymKeys(force);
    RefreshAsymPanel(true);
}

// ---------------------------------------------------------------- operations

void AsymmetricTab::cmdEncAsym_Click() {
    cmdAsymVerifSign.setEnabled(false);
    RunAsymEncrypt();
}

void AsymmetricTab::cmdDecAsym_Click() {
    cmdAsymVerifSign.setEnabled(false);
    RunAsymDecrypt();
}

void AsymmetricTab::cmdAsign_Click() {
    cmdAsymVerifSign.setEnabled(true);
    RunAsymSign();
}

void AsymmetricTab::RunAsymEncrypt() {
    RunAsym(txtContAsym, txtResAsym, &clsAsym::CryptAsym, "Enc", BoxReadBy("left-hand", cmdEncAsym));
}

void AsymmetricTab::RunAsymDecrypt() {
    RunAsym(txtResAsym, txtContAsym, &clsAsym::DecryptAsym, "Dec", BoxReadBy("right-hand", cmdDecAsym));
}

void AsymmetricTab::RunAsymSign() {
    RunAsym(txtContAsym, txtResAsym, &clsAsym::SignAsym, nullptr, BoxReadBy("left-hand", cmdAsign));
}

void AsymmetricTab::RunAsym(ui::TextBox& source, ui::TextBox& target,
                            std::string (clsAsym::*operation)(const std::string&), const char* outputSuffix,
                            const std::string& sourceBox) {
    TabHost::Operation busy(m_host);
    if (!PrepareAsymOperation()) return;
    const std::shared_ptr<clsAsym> asym = mAsym;
    asym->SourceBox(sourceBox);
    // Asked before the run starts: a file the user keeps leaves both boxes as they were.
    if (outputSuffix && FileSelected(m_form, "optAsym") &&
        !modUtils::ConfirmOutput(m_windowing, source.text(), outputSuffix))
        return;
    {
        AbortEnabled abortEnabled(cmdAbort);
        target.setText(((*asym).*operation)(source.text()));
    }
    // A signature just made can be checked.
    if (operation == &clsAsym::SignAsym && !target.text().empty()) cmdAsymVerifSign.setEnabled(true);
}

void AsymmetricTab::cmdAsymVerifSign_Click() {
    QuietOperation operation(m_host, m_windowing);
    ensureWrapper();
    const std::shared_ptr<clsAsym> asym = mAsym;
    asym->SourceBox(BoxReadBy("left-hand", cmdAsymVerifSign));
    const bool valid = asym->VerifySign(txtContAsym.text(), txtResAsym.text());
    // Closing the window stopped the check: its answer is no news.
    if (modUtils::bUnloading) return;
    ShowWarningBox(m_windowing, valid ? "Valid signature " : "Invalid signature ");
}

// ---------------------------------------------------------------- key files

void AsymmetricTab::cmdAsymSave_Click() {
    QuietOperation operation(m_host, m_windowing);
    if (!PrepareAsymOperation()) return;
    const std::shared_ptr<clsAsym> asym = mAsym;
    asym->KeySaveToFile();
}

void AsymmetricTab::cmdAsymLoad_Click() {
    {
        QuietOperation operation(m_host, m_windowing);
        ensureWrapper();
        const std::shared_ptr<clsAsym> asym = mAsym;
        ApplyAsymSettings();
        bAsymKeyReady = asym->KeyLoadFromFile(m_host.engineRoot(), false);
        RefreshAsymPanel(false);
        cmdEncAsym.setEnabled(bAsymKeyReady && asym->keyFileKind() == KeyFileKind::Public);
        cmdDecAsym.setEnabled(bAsymKeyReady && asym->keyFileKind() == KeyFileKind::Private);
        cmdAsign.setEnabled(bAsymKeyReady && asym->keyFileKind() == KeyFileKind::Private);
        asym->LoadClickHandled();
    }
    m_windowing.doEvents();
}

void AsymmetricTab::cmdAsymLoadRelat_Click() {
    {
        QuietOperation operation(m_host, m_windowing);
        ensureWrapper();
        const std::shared_ptr<clsAsym> asym = mAsym;
        const KeyFileKind kind = asym->keyFileKind();
        asym->keyFileKind(kind == KeyFileKind::Private ? KeyFileKind::Public : KeyFileKind::Private);
        if (asym->KeyLoadFromFile(m_host.engineRoot(), true)) {
            cmdEncAsym.setEnabled(bAsymKeyReady);
            cmdDecAsym.setEnabled(bAsymKeyReady);
            cmdAsign.setEnabled(bAsymKeyReady);
        } else {
            // Nothing was loaded (cancelled or refused): the next press offers
            // the same kind again, the one its caption names.
            asym->keyFileKind(kind);
        }
    }
    m_windowing.doEvents();
}
