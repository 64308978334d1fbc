// SPDX-License-Identifier: Apache-2.0
#pragma once
// The main window's shell: start-up and shutdown, tab switching, source
// input, progress and abort, the compression fields and the settings reset.
// Each tab's own controls, wrapper and procedures live in its tab class. It
// talks only to the abstract windowing layer and the engine interface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/Engine.h"
#include "tab/TabHost.h"
#include "ui/Windowing.h"

class HashTab;
class SymmetricTab;
class AsymmetricTab;
class EncodingTab;

class frmMain : private TabHost {
public:
    using EngineFactory = std::function<std::shared_ptr<engine::EngineRoot>()>;

    frmMain(ui::Windowing& windowing, EngineFactory engineFactory);
    ~frmMain() override;
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Creates the engine root (throws when it cannot), applies the defaults
    // and lays out the first tab.
    void Form_Load();

    // Read-only views of the window's state, for tests.
    int16_t currentTab() const { return iCurTab; }
    bool operationRunning() const override { return m_operationDepth > 0; }
    const std::shared_ptr<engine::EngineRoot>& engineRoot() const override { return mCls; }
    HashTab& hashTab() { return *m_hashTab; }
    SymmetricTab& symmetricTab() { return *m_symTab; }
    AsymmetricTab& asymmetricTab() { return *m_asymTab; }
    EncodingTab& encodingTab() { return *m_encTab; }

private:
    // TabHost
    ui::Windowing& windowing() override { return m_windowing; }
    ui::Form& form() override { return m_form; }
    void connectAction(ui::Button& button, std::function<void()> action) override;
    void beginOperation() override;
    void endOperation() override;

    void connectEvents();
    // Held for the window's life; they go first, before anything their observers use.
    void keep(ui::Connection connection) { m_connections.push_back(std::move(connection)); }
    // Actions that call the engine or open a dialog do nothing while an
    // operation runs (the engine is never entered twice) or once unloaded.
    bool actionsBlocked() const { return m_unloaded || operationRunning(); }
    void connectSettingsReset();
    void connectCompressionField(ui::TextBox& box, ui::UpDown& upDown);

    // Start-up, tabs, shutdown.
    void InitControls();
    void InitTabs();
    void TabStrip1_Click();
    void requestUnload();
    void Form_Unload();
    void cmdHelp_Click();

    // Source input.
    void sourceOption_Click(ui::TextBox& sourceBox);
    void openButton_Click(ui::OptionButton& fileOption, ui::TextBox& sourceBox);
    // A file dropped on a box that an action reads: as "..." and choosing it.
    void box_FileDropped(ui::OptionButton& fileOption, ui::TextBox& box, const std::string& path);

    // Progress and abort.
    void cmdAbort_Click();
    void cmdAbort_MouseMove();
    void mCls_OnProcess(int32_t position, int32_t hashCode, bool& Abort);

    // Compression-level fields.
    void compressionKeyUp(ui::TextBox& box, ui::UpDown& upDown, int keyCode);

    ui::Windowing& m_windowing;
    ui::Form& m_form;
    EngineFactory m_engineFactory;

    ui::TabStrip& TabStrip1;
    ui::ProgressBar& pgBar;
    ui::Button& cmdAbort;
    ui::Button& cmdOk;
    ui::Button& cmdCancel;
    ui::Button& cmdHelp;

    std::shared_ptr<engine::EngineRoot> mCls;

    std::unique_ptr<HashTab> m_hashTab;
    std::unique_ptr<SymmetricTab> m_symTab;
    std::unique_ptr<AsymmetricTab> m_asymTab;
    std::unique_ptr<EncodingTab> m_encTab;

    int16_t iCurTab = 1;

    int m_operationDepth = 0;
    bool m_unloadPending = false;
    bool m_unloaded = false;

    std::vector<ui::Connection> m_connections;
};
