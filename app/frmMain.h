#pragma once
// The main window's logic: start-up and shutdown, tab switching, source
// input, progress and abort, settings reset and the tab operations. It talks
// only to the abstract windowing layer and the engine interface.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "ui/Windowing.h"

class clsHash;
class clsSym;
class clsAsym;
class clsEnc;

class frmMain {
public:
    using EngineFactory = std::function<std::shared_ptr<engine::EngineRoot>()>;

    frmMain(ui::Windowing& windowing, EngineFactory engineFactory);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // Creates the engine root (throws when it cannot), applies the defaults
    // and lays out the first tab.
    void Form_Load();

    // Read-only views of the window's state, for tests.
    int16_t currentTab() const { return iCurTab; }
    bool asymKeyReady() const { return bAsymKeyReady; }
    bool operationRunning() const { return m_operationDepth > 0; }
    const std::shared_ptr<engine::EngineRoot>& engineRoot() const { return mCls; }
    const std::shared_ptr<clsHash>& hashWrapper() const { return mHash; }
    const std::shared_ptr<clsAsym>& asymWrapper() const { return mAsym; }

private:
    // Marks a running operation: the busy pointer while it runs, the default
    // pointer when the outermost one ends, and a deferred unload carried out
    // once the engine call has returned.
    class Operation {
    public:
        explicit Operation(frmMain& window);
        ~Operation();
        Operation(const Operation&) = delete;
        Operation& operator=(const Operation&) = delete;

    private:
        frmMain& m_window;
    };

    void connectEvents();
    // Actions that call the engine or open a dialog do nothing while an
    // operation runs (the engine is never entered twice) or once unloaded.
    bool actionsBlocked() const { return m_unloaded || operationRunning(); }
    void connectAction(ui::Button& button, std::function<void()> action);
    void connectSettingsReset();
    void connectCompressionField(ui::TextBox& box, ui::UpDown& upDown);

    // Start-up, tabs, shutdown.
    void InitControls();
    void InitTabs();
    void TabStrip1_Click();
    void RefreshAsymPanel(bool bSaveAllowed);
    void requestUnload();
    void Form_Unload();
    void cmdHelp_Click();

    // Source input.
    void sourceOption_Click(ui::TextBox& sourceBox);
    void openButton_Click(ui::OptionButton& fileOption, ui::TextBox& sourceBox);
    bool CheckSource(const std::string& source, bool textSelected);

    // Progress and abort.
    void cmdAbort_Click();
    void cmdAbort_MouseMove();
    void mCls_OnProcess(int32_t position, int32_t hashCode, bool& Abort);

    // Compression-level fields.
    void compressionKeyUp(ui::TextBox& box, ui::UpDown& upDown, int keyCode);

    // Hash tab.
    void cmdHashBin_Click();
    void RunHash(const std::shared_ptr<engine::EngineRoot>& mcls);

    // Output encoding code of a three-option group (Binary, Base64, Hex).
    int16_t encodingOf(const char* optionName);

    ui::Windowing& m_windowing;
    ui::Form& m_form;
    EngineFactory m_engineFactory;

    ui::TabStrip& TabStrip1;
    ui::ProgressBar& pgBar;
    ui::Button& cmdAbort;
    ui::Button& cmdOk;
    ui::Button& cmdCancel;
    ui::Button& cmdHelp;

    ui::TextBox& txtCont;
    ui::TextBox& txtRes;
    ui::ComboBox& cboEncHash;
    ui::Button& cmdHashBin;

    ui::TextBox& txtContSym;
    ui::TextBox& txtResSym;
    ui::TextBox& txtSymComp;
    ui::UpDown& udSymLev;

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

    ui::TextBox& txtContED;
    ui::TextBox& txtResED;

    std::shared_ptr<engine::EngineRoot> mCls;
    std::shared_ptr<clsHash> mHash;
    std::shared_ptr<clsSym> mSym;
    std::shared_ptr<clsAsym> mAsym;
    std::shared_ptr<clsEnc> mEnc;

    int16_t iCurTab = 1;
    bool bAsymKeyReady = false;

    int m_operationDepth = 0;
    bool m_unloadPending = false;
    bool m_unloaded = false;
};
