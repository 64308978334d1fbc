#pragma once
// The "Asymmetric Encrypt/Decrypt" tab: its wrapper `mAsym`, the key state
// `bAsymKeyReady` and the panel that follows it.

#include <memory>

#include "tab/TabHost.h"

class clsAsym;

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

private:
    void RefreshAsymPanel(bool bSaveAllowed);

    TabHost& m_host;
    ui::Windowing& m_windowing;
    ui::Form& m_form;
    ui::Frame& frTxtAsym;
    ui::TextBox& txtContAsym;
    ui::TextBox& txtResAsym;
    ui::TextBox& txtAsymComp;
    ui::UpDown& udAsym;
    ui::Button& cmdEncAsym;
    ui::Button& cmdDecAsym;
    ui::Button& cmdAsign;
    ui::Button& cmdAsymSave;
    ui::Button& cmdAsymLoadRelat;
    ui::Button& cmdAsymVerifSign;

    std::shared_ptr<clsAsym> mAsym;
    bool bAsymKeyReady = false;
};
