// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Hash" tab: its controls, its wrapper `mHash` and the hash operation.

#include <memory>

#include "tab/TabHost.h"

class clsHash;

class HashTab : public Tab {
public:
    explicit HashTab(TabHost& host);
    ~HashTab() override;
    HashTab(const HashTab&) = delete;
    HashTab& operator=(const HashTab&) = delete;

    void ReleaseWrapper() override { mHash.reset(); }

    const std::shared_ptr<clsHash>& hashWrapper() const { return mHash; }

private:
    void cmdHashBin_Click();
    void RunHash(const std::shared_ptr<engine::EngineRoot>& mcls);

    TabHost& m_host;
    ui::Windowing& m_windowing;
    ui::Form& m_form;
    ui::TextBox& txtCont;
    ui::TextBox& txtRes;
    ui::ComboBox& cboEncHash;
    ui::Button& cmdHashBin;
    ui::Button& cmdAbort;

    std::shared_ptr<clsHash> mHash;
};
