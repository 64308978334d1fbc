// The "Hash" tab's operation of the main window.

#include "app/frmMain.h"
#include "hash/clsHash.h"
#include "util/ErrorTrap.h"

void frmMain::cmdHashBin_Click() {
    if (CheckSource(txtCont.text(), m_form.option("optHash", 0).value())) RunHash(mCls);
}

void frmMain::RunHash(const std::shared_ptr<engine::EngineRoot>& mcls) {
    Operation operation(*this);
    const int algorithm = cboEncHash.listIndex();
    if (!mHash || mHash->iHashCrypto() != algorithm) {
        mHash = std::make_shared<clsHash>(m_windowing);
        mHash->iHashCrypto(static_cast<int16_t>(algorithm));
        if (!mHash->InitKey(mcls)) return;
    }
    std::shared_ptr<clsHash> hash = mHash;
    hash->iEncodingType(encodingOf("optType"));
    hash->iSourceType(m_form.option("optHash", 0).value() ? 0 : 1);

    ErrorTrap trap;
    trap.step([&] { cmdAbort.setEnabled(true); });
    trap.step([&] { txtRes.setText(hash->HashBinary(txtCont.text())); });
    trap.step([&] { cmdAbort.setEnabled(false); });
    trap.report(m_windowing, "frmMain->Function HashBinary");
}
