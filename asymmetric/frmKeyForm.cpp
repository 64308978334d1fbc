// SPDX-License-Identifier: Apache-2.0
#include "asymmetric/frmKeyForm.h"

namespace {

using ui::ControlKind;
using ui::ControlLayout;

ui::FormLayout buildKeyForm() {
    ui::FormLayout f;
    f.name = "frmKey";
    f.caption = "";  // set on each use
    f.clientWidth = 3840;
    f.clientHeight = 1380;
    f.defaultButton = "cmdOk";
    f.cancelButton = "cmdCancel";
    auto& c = f.controls;
    ControlLayout frame = ui::makeControl("Frame1", -1, ControlKind::Frame, "", "", {120, 60, 2280, 1200}, 4);
    frame.accessibleName = "Key kind";  // for screen readers; the frame shows no caption
    c.push_back(frame);
    ControlLayout publicKey = ui::makeControl("optAsymCrKey", 0, ControlKind::Option, "Frame1", "Public key",
                                              {240, 300, 1860, 255}, 0);
    publicKey.selected = true;
    c.push_back(publicKey);
    c.push_back(ui::makeControl("optAsymCrKey", 1, ControlKind::Option, "Frame1", "Private key",
                                {240, 720, 1860, 255}, 1));
    c.push_back(ui::makeControl("cmdOk", -1, ControlKind::Button, "", "OK", {2580, 180, 1140, 350}, 2));
    c.push_back(
        ui::makeControl("cmdCancel", -1, ControlKind::Button, "", "Cancel", {2580, 660, 1140, 350}, 3));
    return f;
}

}  // namespace

const ui::FormLayout& frmKeyLayout() {
    static const ui::FormLayout layout = buildKeyForm();
    return layout;
}
