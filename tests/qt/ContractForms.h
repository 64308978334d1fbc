// SPDX-License-Identifier: Apache-2.0
#pragma once
// The small forms the windowing-layer tests build: one control of every kind.

#include "ui/FormLayout.h"

namespace contract {

// A small window with one control of every kind the logic drives.
inline const ui::FormLayout& mainLayout() {
    static const ui::FormLayout layout = [] {
        using K = ui::ControlKind;
        ui::FormLayout f;
        f.name = "frmContract";
        f.caption = "Contract";
        f.clientWidth = 6000;
        f.clientHeight = 5000;
        f.cancelButton = "cmdAbort";
        auto& c = f.controls;
        ui::ControlLayout tabs = ui::makeControl("tabs", -1, K::TabStrip, "", "", {120, 120, 5700, 4700}, 20);
        tabs.items = {"One", "Two"};
        c.push_back(tabs);
        c.push_back(ui::makeControl("txtOne", -1, K::TextBox, "", "", {240, 600, 2000, 315}, 0));
        ui::ControlLayout multi = ui::makeControl("txtMulti", -1, K::TextBox, "", "", {240, 1000, 2000, 1200}, 1);
        multi.style = ui::TextBoxStyle::MultiLine;
        c.push_back(multi);
        ui::ControlLayout level = ui::makeControl("txtLevel", -1, K::TextBox, "", "-1", {240, 2400, 1200, 315}, 2);
        level.readOnlyGrey = true;
        c.push_back(level);
        ui::ControlLayout ud = ui::makeControl("udLevel", -1, K::UpDown, "", "", {1440, 2400, 240, 315}, 3);
        ud.buddy = "txtLevel";
        ud.min = -1;
        ud.max = 9;
        ud.value = -1;
        c.push_back(ud);
        c.push_back(ui::makeControl("frA", -1, K::Frame, "", "Group A", {3000, 600, 2600, 1300}, 21));
        ui::ControlLayout a0 = ui::makeControl("optA", 0, K::Option, "frA", "First", {200, 240, 1500, 255}, 4);
        a0.selected = true;
        c.push_back(a0);
        c.push_back(ui::makeControl("optA", 1, K::Option, "frA", "Second", {200, 540, 1500, 255}, 5));
        c.push_back(ui::makeControl("optA", 2, K::Option, "frA", "Third", {200, 840, 1500, 255}, 6));
        c.push_back(ui::makeControl("lblA", -1, K::Label, "frA", "Note", {1800, 240, 700, 255}, 22));
        c.push_back(ui::makeControl("frB", -1, K::Frame, "", "Group B", {3000, 2000, 2600, 1000}, 23));
        c.push_back(ui::makeControl("optB", 0, K::Option, "frB", "Yes", {200, 240, 1500, 255}, 7));
        ui::ControlLayout b1 = ui::makeControl("optB", 1, K::Option, "frB", "No", {200, 540, 1500, 255}, 8);
        b1.selected = true;
        c.push_back(b1);
        ui::ControlLayout list = ui::makeControl("cboList", -1, K::ComboBox, "", "", {240, 2900, 2000, 315}, 9);
        list.items = {"one", "two", "three"};
        c.push_back(list);
        ui::ControlLayout abort = ui::makeControl("cmdAbort", -1, K::Button, "", "Abort", {240, 4000, 1200, 350}, 10);
        abort.enabled = false;
        c.push_back(abort);
        c.push_back(ui::makeControl("cmdGo", -1, K::Button, "", "Go", {1600, 4000, 1200, 350}, 11));
        ui::ControlLayout bar = ui::makeControl("pgBar", -1, K::ProgressBar, "", "", {240, 3500, 5000, 180}, 24);
        bar.min = 0;
        bar.max = 100;
        bar.visible = false;
        c.push_back(bar);
        return f;
    }();
    return layout;
}

// A small modal dialog with a default and a cancel button.
inline const ui::FormLayout& dialogLayout() {
    static const ui::FormLayout layout = [] {
        using K = ui::ControlKind;
        ui::FormLayout f;
        f.name = "frmAsk";
        f.caption = "Ask";
        f.clientWidth = 3600;
        f.clientHeight = 2000;
        f.defaultButton = "cmdOk";
        f.cancelButton = "cmdCancel";
        auto& c = f.controls;
        c.push_back(ui::makeControl("frKind", -1, K::Frame, "", "", {120, 120, 3360, 1000}, 3));
        ui::ControlLayout first =
            ui::makeControl("optKind", 0, K::Option, "frKind", "Public", {200, 200, 1500, 255}, 0);
        first.selected = true;
        c.push_back(first);
        c.push_back(ui::makeControl("optKind", 1, K::Option, "frKind", "Private", {200, 550, 1500, 255}, 1));
        c.push_back(ui::makeControl("cmdOk", -1, K::Button, "", "OK", {600, 1350, 1100, 350}, 2));
        c.push_back(ui::makeControl("cmdCancel", -1, K::Button, "", "Cancel", {1900, 1350, 1100, 350}, 4));
        return f;
    }();
    return layout;
}

}  // namespace contract
