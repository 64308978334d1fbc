// SPDX-License-Identifier: Apache-2.0
#include "app/frmMain.h"

#include <string>
#include <vector>

#include "asymmetric/AsymmetricTab.h"
#include "encoding/EncodingTab.h"
#include "hash/HashTab.h"
#include "symmetric/SymmetricTab.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

void frmMain::beginOperation() {
    ++m_operationDepth;
    m_windowing.setScreenPointer(ui::MousePointer::Hourglass);
}

void frmMain::endOperation() {
    if (--m_operationDepth > 0) return;
    m_windowing.setScreenPointer(ui::MousePointer::Default);
    if (m_unloadPending) {
        Form_Unload();
        m_windowing.unloadMain();
    }
}

frmMain::frmMain(ui::Windowing& windowing, EngineFactory engineFactory)
    : m_windowing(windowing),
      m_form(windowing.mainForm()),
      m_engineFactory(std::move(engineFactory)),
      TabStrip1(m_form.tabStrip("TabStrip1")),
      pgBar(m_form.progressBar("pgBar")),
      cmdAbort(m_form.button("cmdAbort")),
      cmdOk(m_form.button("cmdOk")),
      cmdCancel(m_form.button("cmdCancel")),
      cmdHelp(m_form.button("cmdHelp")) {
    connectEvents();
    TabHost& host = *this;
    m_hashTab = std::make_unique<HashTab>(host);
    m_symTab = std::make_unique<SymmetricTab>(host);
    m_asymTab = std::make_unique<AsymmetricTab>(host);
    m_encTab = std::make_unique<EncodingTab>(host);
}

frmMain::~frmMain() {
    if (!m_unloaded) Form_Unload();
}

// ---------------------------------------------------------------- start-up

void frmMain::Form_Load() {
    mCls = m_engineFactory();
    RequireEngine(mCls);
    mCls->SetOnProcess(
        [this](int32_t position, int32_t hashCode, bool& Abort) { mCls_OnProcess(position, hashCode, Abort); });
    InitControls();
    InitTabs();
}

void frmMain::InitControls() {
    iCurTab = 1;
    m_asymTab->ResetKeyState();
    m_form.comboBox("cboEncHash").setListIndex(0);
    m_form.comboBox("cboSymKey").setListIndex(2);
    m_form.comboBox("cboSymPad").setListIndex(0);
    m_form.comboBox("cboSymAlg").setListIndex(1);
    m_form.comboBox("cboAsymKey").setListIndex(0);
    m_form.comboBox("cboAsymSchema").setListIndex(0);
}

void frmMain::InitTabs() {
    static const struct {
        const char* name;
        int tab;
    } frames[] = {{"frEncHash", 1}, {"frTxtHash", 1}, {"frTxtSym", 2},  {"frEncSym", 2},
                  {"frTxtAsym", 3}, {"frEncAsym", 3}, {"frTxtED", 4}, {"frEDType", 4}};
    for (const auto& f : frames) m_form.frame(f.name).setVisible(f.tab == iCurTab);
    if (iCurTab == 3) m_asymTab->Shown();
}

void frmMain::TabStrip1_Click() {
    int selected = TabStrip1.selectedIndex();
    if (selected == iCurTab) return;
    iCurTab = static_cast<int16_t>(selected);
    InitTabs();
    if (iCurTab == 1) m_form.option("optHash", 0).setFocus();
    if (iCurTab == 2) m_form.option("optSym", 0).setFocus();
    pgBar.setValue(0);
}

// ---------------------------------------------------------------- shutdown

void frmMain::requestUnload() {
    if (m_unloaded) return;
    if (operationRunning()) {
        // Stop the running call first; the operation unloads when it returns.
        modUtils::SetAbort();
        modUtils::bUnloading = true;
        m_unloadPending = true;
        return;
    }
    Form_Unload();
    m_windowing.unloadMain();
}

// Every wrapper goes before the engine root that made its objects, in one
// place and one order, so that nothing the window holds outlives the root.
void frmMain::Form_Unload() {
    m_symTab->ReleaseWrapper();
    m_hashTab->ReleaseWrapper();
    m_asymTab->ReleaseWrapper();
    m_encTab->ReleaseWrapper();
    if (mCls) mCls->SetOnProcess(nullptr);
    mCls.reset();
    m_unloaded = true;
}

void frmMain::cmdHelp_Click() {
    ui::MessageBoxRequest request;
    request.text = "Not implemented";
    request.icon = ui::MsgIcon::None;
    m_windowing.messageBox(request);
}

// ---------------------------------------------------------------- source input

void frmMain::sourceOption_Click(ui::TextBox& sourceBox) { sourceBox.setText(""); }

void frmMain::openButton_Click(ui::OptionButton& fileOption, ui::TextBox& sourceBox) {
    fileOption.setValue(true);
    sourceBox.setText(modUtils::ShowFileDialog(m_windowing, "Open file "));
}

void frmMain::box_FileDropped(ui::OptionButton& fileOption, ui::TextBox& box, const std::string& path) {
    if (actionsBlocked() || !box.isEnabled()) return;
    fileOption.setValue(true);
    box.setText(path);
    modUtils::NoteChosenFile(path);
}

// ---------------------------------------------------------------- progress and abort

void frmMain::cmdAbort_Click() { modUtils::SetAbort(); }

void frmMain::cmdAbort_MouseMove() { cmdAbort.setMousePointer(ui::MousePointer::ArrowQuestion); }

void frmMain::mCls_OnProcess(int32_t position, int32_t /*hashCode*/, bool& Abort) {
    auto passAbort = [&] {
        Abort = true;
        pgBar.setValue(0);
        pgBar.setVisible(false);
        modUtils::bAbort = false;
    };
    Abort = modUtils::bAbort;
    if (modUtils::bAbort) return passAbort();
    m_windowing.doEvents();
    // A click made during this yield stops the call now, not one report later
    // (after the last report that would be too late, and the next run's first
    // report would pay for it).
    if (modUtils::bAbort) return passAbort();
    if (position > 100) {
        pgBar.setValue(100);
        pgBar.setVisible(false);
        pgBar.setValue(0);
    } else {
        pgBar.setValue(position < 0 ? 0 : position);
    }
}

// ---------------------------------------------------------------- compression-level fields

void frmMain::compressionKeyUp(ui::TextBox& box, ui::UpDown& upDown, int keyCode) {
    if (keyCode == ui::Key::Down) {
        int v = upDown.value();
        if (v - 1 >= upDown.min()) upDown.setValue(v - 1);
    }
    if (keyCode == ui::Key::Up) {
        int v = upDown.value();
        if (v + 1 <= upDown.max()) upDown.setValue(v + 1);
    }
    box.selectAll();
}

void frmMain::connectCompressionField(ui::TextBox& box, ui::UpDown& upDown) {
    keep(box.gotFocus.connect([&box] { box.selectAll(); }));
    keep(box.keyUp.connect([this, &box, &upDown](int keyCode) { compressionKeyUp(box, upDown, keyCode); }));
    keep(upDown.downClick.connect([&box] { box.selectAll(); }));
    keep(upDown.upClick.connect([&box] { box.selectAll(); }));
}

// ---------------------------------------------------------------- wiring

void frmMain::connectAction(ui::Button& button, std::function<void()> action) {
    keep(button.click.connect([this, action = std::move(action)] {
        if (!actionsBlocked()) action();
    }));
}

void frmMain::connectSettingsReset() {
    auto empties = [](ui::TextBox& box) { return [&box] { box.setText(""); }; };
    ui::TextBox& txtRes = m_form.textBox("txtRes");
    ui::TextBox& txtResSym = m_form.textBox("txtResSym");
    ui::TextBox& txtResAsym = m_form.textBox("txtResAsym");
    auto optionsEmpty = [&](const char* name, int count, ui::TextBox& box) {
        for (int i = 0; i < count; ++i) keep(m_form.option(name, i).click.connect(empties(box)));
    };

    keep(m_form.textBox("txtCont").change.connect(empties(txtRes)));
    keep(m_form.comboBox("cboEncHash").click.connect(empties(txtRes)));
    optionsEmpty("optType", 3, txtRes);

    for (const char* list : {"cboSymKey", "cboSymPad", "cboSymAlg"})
        keep(m_form.comboBox(list).click.connect(empties(txtResSym)));
    optionsEmpty("optCip", 2, txtResSym);
    optionsEmpty("optTypeSym", 3, txtResSym);
    for (const char* box : {"txtSymIV", "txtSymPass", "txtSymComp"})
        keep(m_form.textBox(box).change.connect(empties(txtResSym)));

    for (const char* list : {"cboAsymKey", "cboAsymSchema"})
        keep(m_form.comboBox(list).click.connect(empties(txtResAsym)));
    optionsEmpty("optTypeAsym", 3, txtResAsym);
    keep(m_form.textBox("txtAsymSeed").change.connect(empties(txtResAsym)));
    // A changed compression level makes a shown cipher text stale, as on the symmetric tab.
    keep(m_form.textBox("txtAsymComp").change.connect(empties(txtResAsym)));
}

void frmMain::connectEvents() {
    keep(TabStrip1.click.connect([this] { TabStrip1_Click(); }));
    keep(cmdOk.click.connect([this] { requestUnload(); }));
    keep(cmdCancel.click.connect([this] { requestUnload(); }));
    keep(m_form.closeRequested.connect([this] { requestUnload(); }));
    connectAction(cmdHelp, [this] { cmdHelp_Click(); });

    keep(cmdAbort.click.connect([this] { cmdAbort_Click(); }));
    keep(cmdAbort.mouseMove.connect([this] { cmdAbort_MouseMove(); }));

    // The right-hand box takes drops where "<-" buttons read it; the hash tab has none.
    const struct {
        const char* option;
        const char* open;
        ui::TextBox& source;
        bool emptiesOnClick;
        const char* readBack;
    } sources[] = {{"optHash", "cmdOpen", m_form.textBox("txtCont"), true, nullptr},
                   {"optSym", "cmdOpenSym", m_form.textBox("txtContSym"), true, "txtResSym"},
                   {"optAsym", "cmdOpenAsym", m_form.textBox("txtContAsym"), true, "txtResAsym"},
                   {"optED", "cmdOpenED", m_form.textBox("txtContED"), false, "txtResED"}};
    for (const auto& s : sources) {
        ui::TextBox* box = &s.source;
        if (s.emptiesOnClick)
            for (int i = 0; i < 2; ++i)
                keep(m_form.option(s.option, i).click.connect([this, box] { sourceOption_Click(*box); }));
        ui::OptionButton* fileOption = &m_form.option(s.option, 1);
        connectAction(m_form.button(s.open), [this, fileOption, box] { openButton_Click(*fileOption, *box); });
        std::vector<ui::TextBox*> dropTargets{box};
        if (s.readBack) dropTargets.push_back(&m_form.textBox(s.readBack));
        for (ui::TextBox* target : dropTargets)
            keep(target->fileDropped.connect([this, fileOption, target](const std::string& path) {
                box_FileDropped(*fileOption, *target, path);
            }));
    }

    connectCompressionField(m_form.textBox("txtSymComp"), m_form.upDown("udSymLev"));
    connectCompressionField(m_form.textBox("txtAsymComp"), m_form.upDown("udAsym"));
    connectSettingsReset();
}
