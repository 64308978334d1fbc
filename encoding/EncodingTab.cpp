// SPDX-License-Identifier: Apache-2.0
#include "encoding/EncodingTab.h"

#include "encoding/clsEnc.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

EncodingTab::EncodingTab(TabHost& host)
    : m_host(host),
      m_windowing(host.windowing()),
      m_form(host.form()),
      txtContED(m_form.textBox("txtContED")),
      txtResED(m_form.textBox("txtResED")),
      cmdEncED(m_form.button("cmdEncED")),
      cmdDecED(m_form.button("cmdDecED")),
      cmdAbort(m_form.button("cmdAbort")) {
    m_host.connectAction(cmdEncED, [this] { cmdEncED_Click(); });
    m_host.connectAction(cmdDecED, [this] { cmdDecED_Click(); });
}

EncodingTab::~EncodingTab() = default;

void EncodingTab::cmdEncED_Click() { RunEncode(); }

void EncodingTab::cmdDecED_Click() { RunDecode(); }

void EncodingTab::RunEncode() { RunEncodED(true, txtContED, txtResED); }

void EncodingTab::RunDecode() { RunEncodED(false, txtResED, txtContED); }

void EncodingTab::RunEncodED(bool encode, ui::TextBox& source, ui::TextBox& target) {
    TabHost::Operation operation(m_host);
    const int32_t encoding = EncodingOf(m_form, "optTypeED");
    if (!mEnc || mEnc->iEncodingType() != encoding) {
        mEnc = std::make_shared<clsEnc>(m_windowing);
        mEnc->iEncodingType(encoding);
        if (!mEnc->InitEncode(m_host.engineRoot())) return;
    }
    std::shared_ptr<clsEnc> enc = mEnc;
    enc->iSourceType(SourceOf(m_form, "optED"));
    enc->SourceBox(encode ? BoxReadBy("left-hand", cmdEncED) : BoxReadBy("right-hand", cmdDecED));

    const std::string sEDSource = source.text();
    // A file the user chose to keep stays as it is, and so do both boxes.
    if (FileSelected(m_form, "optED") &&
        !modUtils::ConfirmOutput(m_windowing, sEDSource, encode ? "Enc" : "Dec"))
        return;

    ErrorTrap trap;
    trap.step([&] { cmdAbort.setEnabled(true); });
    trap.step([&] { target.setText(encode ? enc->Encode(sEDSource) : enc->Decode(sEDSource)); });
    trap.step([&] { cmdAbort.setEnabled(false); });
    trap.report(m_windowing, "frmMain->Function EncodED");
}
