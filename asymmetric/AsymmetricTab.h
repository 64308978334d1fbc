// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Asymmetric Encrypt/Decrypt" tab: its wrapper `mAsym`, the key state
// `bAsymKeyReady`, the panel that follows it, key generation, the operations
// between the two text boxes, and the key files.

#include <memory>
#include <string>

#include "tab/TabHost.h"

class clsAsym;
class frmKey;

class AsymmetricTab : public Tab {
public:
    explicit AsymmetricTab(TabHost& host);
    ~AsymmetricTab() override;
    AsymmetricTab(const AsymmetricTab&) = delete;
    AsymmetricTab& operator=(const AsymmetricTab&) = delete;

    void Shown() override { RefreshAsymPanel(false); }
    void ReleaseWrapper() override { mAsym.reset(); }

    // No key yet: the start-up state.
    void ResetKeyState() { bAsymKeyReady = false; }

    bool asymKeyReady() const { return bAsymKeyReady; }
    const std::shared_ptr<clsAsym>& asymWrapper() const { return mAsym; }
    // The shared key-kind dialog.
    frmKey& keyDialog() { return *m_keyForm; }

private:
    void RefreshAsymPanel(bool bSaveAllowed);
    void ensureWrapper();

    // Keys.
    bool GenerateAsymKeys(bool force);
    bool AsymSettingsChanged();
    bool PrepareAsymOperation();
    void ApplyAsymSettings();

    // Buttons.
    void cmdAsymGenKey_Click();
    void cmdEncAsym_Click();
    void cmdDecAsym_Click();
    void cmdAsign_Click();
    void cmdAsymVerifSign_Click();
    void cmdAsymSave_Click();
    void cmdAsymLoad_Click();
    void cmdAsymLoadRelat_Click();

    void RunAsymEncrypt();
    void RunAsymDecrypt();
    void RunAsymSign();
    // All three: from one box through the wrapper into the other. outputSuffix
    // names the file an operation writes (none for signing); sourceBox names
    // the source box in a message about a missing file name.
    void RunAsym(ui::TextBox& source, ui::TextBox& target,
                 std::string (clsAsym::*operation)(const std::string&), const char* outputSuffix,
                 const std::string& sourceBox);

    TabHost& m_host;
    ui::Windowing& m_windowing;
    ui::Form& m_form;
    ui::Frame& frTxtAsym;
    ui::TextBox& txtContAsym;
    ui::TextBox& txtResAsym;
    ui::TextBox& txtAsymComp;
    ui::TextBox& txtAsymSeed;
    ui::ComboBox& cboAsymKey;
    ui::ComboBox& cboAsymSchema;
    ui::UpDown& udAsym;
    ui::Button& cmdEncAsym;
    ui::Button& cmdDecAsym;
    ui::Button& cmdAsign;
    ui::Button& cmdAsymGenKey;
    ui::Button& cmdAsymSave;
    ui::Button& cmdAsymLoad;
    ui::Button& cmdAsymLoadRelat;
    ui::Button& cmdAsymVerifSign;
    ui::Button& cmdAbort;

    std::shared_ptr<frmKey> m_keyForm;
    std::shared_ptr<clsAsym> mAsym;
    bool bAsymKeyReady = false;
};
