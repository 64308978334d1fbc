#include "asymmetric/AsymmetricTab.h"

#include "asymmetric/clsAsym.h"
#include "util/modUtils.h"

AsymmetricTab::AsymmetricTab(TabHost& host)
    : m_host(host),
      m_windowing(host.windowing()),
      m_form(host.form()),
      frTxtAsym(m_form.frame("frTxtAsym")),
      txtContAsym(m_form.textBox("txtContAsym")),
      txtResAsym(m_form.textBox("txtResAsym")),
      txtAsymComp(m_form.textBox("txtAsymComp")),
      udAsym(m_form.upDown("udAsym")),
      cmdEncAsym(m_form.button("cmdEncAsym")),
      cmdDecAsym(m_form.button("cmdDecAsym")),
      cmdAsign(m_form.button("cmdAsign")),
      cmdAsymSave(m_form.button("cmdAsymSave")),
      cmdAsymLoadRelat(m_form.button("cmdAsymLoadRelat")),
      cmdAsymVerifSign(m_form.button("cmdAsymVerifSign")) {}

AsymmetricTab::~AsymmetricTab() = default;

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
    cmdAsymSave.setEnabled(K);
    cmdAsymLoadRelat.setEnabled(K);
    if (!mAsym) {
        // A new wrapper drops a stale abort request, never one made for the running operation.
        const bool pending = modUtils::bAbort;
        mAsym = std::make_shared<clsAsym>(m_windowing);
        if (m_host.operationRunning()) modUtils::bAbort = pending;
    }
    cmdAsymSave.setEnabled(bSaveAllowed && K);
    cmdAsymVerifSign.setEnabled(false);
}
