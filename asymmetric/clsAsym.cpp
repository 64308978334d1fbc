#include "asymmetric/clsAsym.h"

#include "ui/Windowing.h"
#include "util/modUtils.h"

clsAsym::clsAsym(ui::Windowing& windowing) : m_windowing(windowing) {
    ui::Form& form = windowing.mainForm();
    mPgBar = &form.progressBar("pgBar");
    m_keyLoadPublic = false;
    m_keyLoadPrivate = false;
    p_cmdLoadKey = &form.button("cmdAsymLoad");
    m_loadKeyObserver = p_cmdLoadKey->click.connect([this] { loadKeyClicked(); });
    p_cmdLoadKeyRel = &form.button("cmdAsymLoadRelat");
    modUtils::bAbort = false;
}

clsAsym::~clsAsym() {
    mPrivateKey.reset();
    mPublicKey.reset();
    p_cmdLoadKey->click.disconnect(m_loadKeyObserver);
    p_cmdLoadKey = nullptr;
    p_cmdLoadKeyRel = nullptr;
    mPgBar = nullptr;
}

void clsAsym::loadKeyClicked() {
    // The captions follow the key-file dialog's answers; key loading comes with the key-file work.
}
