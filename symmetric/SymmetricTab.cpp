// SPDX-License-Identifier: Apache-2.0
#include "symmetric/SymmetricTab.h"

#include "symmetric/clsSym.h"
#include "util/modUtils.h"

SymmetricTab::SymmetricTab(TabHost& host)
    : m_host(host),
      m_windowing(host.windowing()),
      m_form(host.form()),
      txtContSym(m_form.textBox("txtContSym")),
      txtResSym(m_form.textBox("txtResSym")),
      cboSymAlg(m_form.comboBox("cboSymAlg")),
      cboSymKey(m_form.comboBox("cboSymKey")),
      cboSymPad(m_form.comboBox("cboSymPad")),
      txtSymPass(m_form.textBox("txtSymPass")),
      txtSymComp(m_form.textBox("txtSymComp")),
      txtSymIV(m_form.textBox("txtSymIV")),
      cmdEncSym(m_form.button("cmdEncSym")),
      cmdDecSym(m_form.button("cmdDecSym")),
      cmdAbort(m_form.button("cmdAbort")) {
    m_host.connectAction(cmdEncSym, [this] { cmdEncSym_Click(); });
    m_host.connectAction(cmdDecSym, [this] { cmdDecSym_Click(); });
}

SymmetricTab::~SymmetricTab() = default;

void SymmetricTab::cmdEncSym_Click() {
    RunSymEncrypt();
}

void SymmetricTab::cmdDecSym_Click() {
    RunSymDecrypt();
}

void SymmetricTab::RunSymEncrypt() {
    RunSym(txtContSym, txtResSym, &clsSym::CryptSym, "Enc", BoxReadBy("left-hand", cmdEncSym));
}

void SymmetricTab::RunSymDecrypt() {
    RunSym(txtResSym, txtContSym, &clsSym::DecryptSym, "Dec", BoxReadBy("right-hand", cmdDecSym));
}

void SymmetricTab::RunSym(ui::TextBox& source, ui::TextBox& target,
                          std::string (clsSym::*operation)(const std::string&), const char* outputSuffix,
                          const std::string& sourceBox) {
    TabHost::Operation busy(m_host);
    if (!PrepareSym()) return;
    // The wrapper stays alive for this run even if the window unloads meanwhile.
    std::shared_ptr<clsSym> sym = mSym;
    sym->SourceBox(sourceBox);
    // Asked before the run starts: a file the user keeps leaves both boxes as they were.
    if (FileSelected(m_form, "optSym") && !modUtils::ConfirmOutput(m_windowing, source.text(), outputSuffix))
        return;
    AbortEnabled abortEnabled(cmdAbort);
    target.setText(((*sym).*operation)(source.text()));
}

bool SymmetricTab::PrepareSym() {
    if (!mSym && !CreateSym()) return false;
    if (SymKeyChanged()) {
        mSym.reset();
        if (!CreateSym()) return false;
    }
    CopySymSettings();
    return true;
}

bool SymmetricTab::SymKeyChanged() const {
    return cboSymAlg.listIndex() != mSym->iSymAlg() || cboSymKey.listIndex() != mSym->iSymKey() ||
           txtSymPass.text() != mSym->SymPas();
}

bool SymmetricTab::CreateSym() {
    // Creating the wrapper drops a stale abort request. The action guard lets
    // no other operation run now, so no request of a running one is lost.
    mSym = std::make_shared<clsSym>(m_windowing);
    mSym->iSymAlg(static_cast<int16_t>(cboSymAlg.listIndex()));
    mSym->iSymKey(static_cast<int16_t>(cboSymKey.listIndex()));
    mSym->SymPas(txtSymPass.text());
    if (!mSym->InitKey(m_host.engineRoot())) {
        mSym.reset();
        return false;
    }
    return true;
}

void SymmetricTab::CopySymSettings() {
    mSym->SymSource(SourceOf(m_form, "optSym"));
    mSym->SymPadding(static_cast<int16_t>(cboSymPad.listIndex()));
    mSym->SymEncod(EncodingOf(m_form, "optTypeSym"));
    mSym->SymCip(m_form.option("optCip", 0).value() ? 0 : 1);
    mSym->SymComp(txtSymComp.text());
    mSym->SymIV(txtSymIV.text());
}
