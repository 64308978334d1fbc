// SPDX-License-Identifier: Apache-2.0
#include "asymmetric/frmKey.h"

#include "asymmetric/frmKeyForm.h"
#include "ui/Windowing.h"

frmKey::frmKey(ui::Windowing& windowing) : m_windowing(windowing) {}

frmKey::~frmKey() = default;

void frmKey::Load_Form(int16_t m_CrKeyType, const std::string& strTitle, bool bLocked) {
    if (!m_form) {
        m_form = m_windowing.createForm(frmKeyLayout());
        m_connections.push_back(m_form->button("cmdOk").click.connect([this] { cmdOk_Click(); }));
        m_connections.push_back(m_form->button("cmdCancel").click.connect([this] { cmdCancel_Click(); }));
        // Closing the window is a refusal, like Cancel: nothing goes ahead unconfirmed.
        m_connections.push_back(m_form->closeRequested.connect([this] { m_loadForm = false; }));
    }
    m_cryptoKey = static_cast<KeyFileKind>(m_CrKeyType);
    ui::OptionButton& optPrivate = m_form->option("optAsymCrKey", 1);
    ui::OptionButton& optPublic = m_form->option("optAsymCrKey", 0);
    optPrivate.setValue(m_cryptoKey == KeyFileKind::Private);
    optPrivate.setEnabled(!bLocked);
    optPublic.setValue(m_cryptoKey == KeyFileKind::Public);
    optPublic.setEnabled(!bLocked);
    m_form->setCaption(strTitle);
    m_form->showModal();
}

void frmKey::cmdOk_Click() {
    m_cryptoKey = m_form->option("optAsymCrKey", 1).value() ? KeyFileKind::Private : KeyFileKind::Public;
    m_loadForm = true;
    m_form->hide();
}

void frmKey::cmdCancel_Click() {
    m_loadForm = false;
    m_form->hide();
}
