// SPDX-License-Identifier: Apache-2.0
#pragma once
// The main window's logic over the fake windowing layer and a scripted engine.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "asymmetric/AsymmetricTab.h"
#include "encoding/EncodingTab.h"
#include "hash/HashTab.h"
#include "support/FakeWindowing.h"
#include "support/MockEngine.h"
#include "symmetric/SymmetricTab.h"
#include "util/modUtils.h"

namespace fake {

class WindowFixture : public ::testing::Test {
protected:
    WindowFixture() : form(ui.mainForm()) {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        modUtils::sLastFolder.clear();
    }

    // Loads the window over the given engine (the scripted one by default).
    void load(frmMain::EngineFactory factory = {}) {
        if (!factory) factory = [this] { return root; };
        window = std::make_unique<frmMain>(ui, std::move(factory));
        window->Form_Load();
    }

    void selectTab(int index) { form.tabStrip("TabStrip1").userSelect(index); }

    // What is on: "Abort transaction", the progress bar and the busy pointer,
    // e.g. "abort bar busy" during a run and "- - -" between runs.
    std::string busyState() {
        return std::string(form.button("cmdAbort").isEnabled() ? "abort" : "-") + " " +
               (form.progressBar("pgBar").isVisible() ? "bar" : "-") + " " +
               (ui.screenPointer() == ui::MousePointer::Hourglass ? "busy" : "-");
    }

    FakeWindowing ui{frmMainLayout()};
    FakeForm& form;
    std::shared_ptr<::testing::NiceMock<MockEngineRoot>> root =
        std::make_shared<::testing::NiceMock<MockEngineRoot>>();
    std::unique_ptr<frmMain> window;
};

}  // namespace fake
