// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Symetric Encrypt/Decrypt" tab: its wrapper `mSym` and its operations.

#include <memory>
#include <string>

#include "tab/TabHost.h"

class clsSym;

class SymmetricTab : public Tab {
public:
    explicit SymmetricTab(TabHost& host);
    ~SymmetricTab() override;
    SymmetricTab(const SymmetricTab&) = delete;
    SymmetricTab& operator=(const SymmetricTab&) = delete;

    void ReleaseWrapper() override { mSym.reset(); }

    const std::shared_ptr<clsSym>& symWrapper() const { return mSym; }

private:
    void cmdEncSym_Click();
    void cmdDecSym_Click();
    void RunSymEncrypt();
    void RunSymDecrypt();
    // outputSuffix names the file the operation writes; sourceBox names the
    // source box in a message about a missing file name.
    void RunSym(ui::TextBox& source, ui::TextBox& target,
                std::string (clsSym::*operation)(const std::string&), const char* outputSuffix,
                const std::string& sourceBox);
    bool PrepareSym();
    bool SymKeyChanged() const;
    bool CreateSym();
    void CopySymSettings();

    TabHost& m_host;
    ui::Windowing& m_windowing;
    ui::Form& m_form;
    ui::TextBox& txtContSym;
    ui::TextBox& txtResSym;
    ui::ComboBox& cboSymAlg;
    ui::ComboBox& cboSymKey;
    ui::ComboBox& cboSymPad;
    ui::TextBox& txtSymPass;
    ui::TextBox& txtSymComp;
    ui::TextBox& txtSymIV;
    ui::Button& cmdEncSym;
    ui::Button& cmdDecSym;
    ui::Button& cmdAbort;

    std::shared_ptr<clsSym> mSym;
};
