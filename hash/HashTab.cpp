// SPDX-License-Identifier: Apache-2.0
#include "hash/HashTab.h"

#include "hash/clsHash.h"
#include "util/ErrorTrap.h"

HashTab::HashTab(TabHost& host)
    : m_host(host),
      m_windowing(host.windowing()),
      m_form(host.form()),
      txtCont(m_form.textBox("txtCont")),
      txtRes(m_form.textBox("txtRes")),
      cboEncHash(m_form.comboBox("cboEncHash")),
      cmdHashBin(m_form.button("cmdHashBin")),
      cmdAbort(m_form.button("cmdAbort")) {
    m_host.connectAction(cmdHashBin, [this] { cmdHashBin_Click(); });
}

HashTab::~HashTab() = default;

void HashTab::cmdHashBin_Click() {
    RunHash(m_host.engineRoot());
}

void HashTab::RunHash(const std::shared_ptr<engine::EngineRoot>& mcls) {
    TabHost::Operation operation(m_host);
    const int algorithm = cboEncHash.listIndex();
    if (!mHash || mHash->iHashCrypto() != algorithm) {
        mHash = std::make_shared<clsHash>(m_windowing);
        mHash->iHashCrypto(static_cast<int16_t>(algorithm));
        if (!mHash->InitKey(mcls)) return;
    }
    std::shared_ptr<clsHash> hash = mHash;
    hash->iEncodingType(EncodingOf(m_form, "optType"));
    hash->iSourceType(SourceOf(m_form, "optHash"));
    hash->SourceBox(BoxReadBy("left-hand", cmdHashBin));

    ErrorTrap trap;
    trap.step([&] { cmdAbort.setEnabled(true); });
    trap.step([&] { txtRes.setText(hash->HashBinary(txtCont.text())); });
    trap.step([&] { cmdAbort.setEnabled(false); });
    trap.report(m_windowing, "frmMain->Function HashBinary");
}
