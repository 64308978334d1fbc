// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Encode/Decode" tab: its controls, its wrapper `mEnc` and the encode
// and decode operations between its two boxes.

#include <memory>

#include "tab/TabHost.h"

class clsEnc;

class EncodingTab : public Tab {
public:
    explicit EncodingTab(TabHost& host);
    ~EncodingTab() override;
    EncodingTab(const EncodingTab&) = delete;
    EncodingTab& operator=(const EncodingTab&) = delete;

    void ReleaseWrapper() override { mEnc.reset(); }

    const std::shared_ptr<clsEnc>& encWrapper() const { return mEnc; }

private:
    void cmdEncED_Click();
    void cmdDecED_Click();
    void RunEncode();
    void RunDecode();
    // Both directions: from one box through the wrapper into the other.
    void RunEncodED(bool encode, ui::TextBox& source, ui::TextBox& target);

    TabHost& m_host;
    ui::Windowing& m_windowing;
    ui::Form& m_form;
    ui::TextBox& txtContED;
    ui::TextBox& txtResED;
    ui::Button& cmdEncED;
    ui::Button& cmdDecED;
    ui::Button& cmdAbort;

    std::shared_ptr<clsEnc> mEnc;
};
