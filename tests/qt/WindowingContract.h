// SPDX-License-Identifier: Apache-2.0
#pragma once
// The contract of the windowing layer (ui/Controls.h, ui/Windowing.h) as one
// typed test suite, run over every implementation. It includes no Qt header.
//
// A Driver plays the user on one implementation:
//   explicit Driver(const ui::FormLayout& mainLayout);
//   ui::Windowing& windowing();
//   void type(ui::Form&, const std::string& box, const std::string& utf8);  // types over the whole text
//   void clickOption(ui::Form&, const std::string& name, int index);
//   void pickEntry(ui::Form&, const std::string& combo, int index);
//   void clickUp(ui::Form&, const std::string& upDown);
//   void clickDown(ui::Form&, const std::string& upDown);
//   void pressEscape(ui::Form&);
//   void pressEnter(ui::Form&);
//   void closeBox(ui::Form&);  // the close box of the form's title bar
//   // Runs action while form.showModal() blocks; a form the action leaves
//   // open is closed from its title bar. Returns when showModal has returned.
//   void whileModal(ui::Form&, std::function<void(ui::Form&)> action);
//
// Instantiate with INSTANTIATE_TYPED_TEST_SUITE_P(Name, WindowingContract, Driver).

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "qt/ContractForms.h"
#include "ui/Windowing.h"

namespace contract {

template <typename Driver>
class WindowingContract : public ::testing::Test {
protected:
    WindowingContract() : driver(mainLayout()), windowing(driver.windowing()), form(windowing.mainForm()) {}

    static std::function<void()> counter(int& count) {
        return [&count] { ++count; };
    }

    Driver driver;
    ui::Windowing& windowing;
    ui::Form& form;
};

TYPED_TEST_SUITE_P(WindowingContract);

TYPED_TEST_P(WindowingContract, TextBoxStartsWithTheTableTextAndRaisesChangeOnlyOnARealChange) {
    ui::TextBox& box = this->form.textBox("txtOne");
    ui::TextBox& level = this->form.textBox("txtLevel");
    EXPECT_EQ(box.text(), "");
    EXPECT_EQ(level.text(), "-1");
    int changes = 0;
    const ui::Connection counting = box.change.connect(this->counter(changes));

    box.setText("");
    EXPECT_EQ(changes, 0);
    box.setText("abc");
    EXPECT_EQ(changes, 1);
    box.setText("abc");
    EXPECT_EQ(changes, 1);
    box.setText("abd");
    EXPECT_EQ(changes, 2);
    box.setText("");
    EXPECT_EQ(changes, 3);
}

TYPED_TEST_P(WindowingContract, ProgramWrittenBytesReadBackExactly) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b) everyByte.push_back(static_cast<char>(b));
    const std::vector<std::string> samples = {
        everyByte,
        std::string("\x00\x01\x7f\x80\xff", 5),  // NUL, controls, high bytes
        "\xc3\x28",                              // invalid UTF-8 sequence
        "\xe2\x82",                              // truncated UTF-8
        "\xef\xbb\xbf"
        "BOM first",                      // valid UTF-8 with a byte-order mark
        "caf\xc3\xa9 \xe2\x82\xac",       // valid UTF-8
        "line one\r\nline two\rthree\n",  // line ends
        "\xed\xa0\x80",                   // an encoded surrogate: not UTF-8
    };
    for (const char* name : {"txtOne", "txtMulti"}) {
        ui::TextBox& box = this->form.textBox(name);
        for (const std::string& bytes : samples) {
            box.setText(bytes);
            EXPECT_EQ(box.text(), bytes) << name;
        }
    }
}

TYPED_TEST_P(WindowingContract, TypedTextReadsBackAsUtf8AndRaisesChange) {
    for (const char* name : {"txtOne", "txtMulti"}) {
        ui::TextBox& box = this->form.textBox(name);
        box.setText("\xe9\xff binary");
        int changes = 0;
        const ui::Connection counting = box.change.connect(this->counter(changes));
        this->driver.type(this->form, name, "h\xc3\xa9llo \xe2\x82\xac");
        EXPECT_EQ(box.text(), "h\xc3\xa9llo \xe2\x82\xac") << name;
        EXPECT_GE(changes, 1) << name;
    }
}

TYPED_TEST_P(WindowingContract, OptionSetValueSelectsClearsTheOthersAndRaisesClickOnce) {
    ui::Form& f = this->form;
    int clicks[3] = {0, 0, 0};
    std::vector<ui::Connection> counting;
    for (int i = 0; i < 3; ++i)
        counting.push_back(f.option("optA", i).click.connect(this->counter(clicks[i])));
    ASSERT_TRUE(f.option("optA", 0).value());

    f.option("optA", 2).setValue(true);
    EXPECT_FALSE(f.option("optA", 0).value());
    EXPECT_FALSE(f.option("optA", 1).value());
    EXPECT_TRUE(f.option("optA", 2).value());
    EXPECT_EQ(clicks[0], 0);
    EXPECT_EQ(clicks[1], 0);
    EXPECT_EQ(clicks[2], 1);

    f.option("optA", 2).setValue(true);  // already selected
    EXPECT_EQ(clicks[2], 1);
}

TYPED_TEST_P(WindowingContract, OptionSetValueFalseClearsWithoutClick) {
    ui::OptionButton& first = this->form.option("optA", 0);
    int clicks = 0;
    const ui::Connection counting = first.click.connect(this->counter(clicks));
    first.setValue(false);
    EXPECT_FALSE(first.value());
    EXPECT_FALSE(this->form.option("optA", 1).value());
    EXPECT_EQ(clicks, 0);
    first.setValue(true);
    EXPECT_TRUE(first.value());
    EXPECT_EQ(clicks, 1);
}

TYPED_TEST_P(WindowingContract, UserClickOnAnOptionAlwaysRaisesClick) {
    ui::Form& f = this->form;
    int first = 0, second = 0;
    const ui::Connection countingFirst = f.option("optA", 0).click.connect(this->counter(first));
    const ui::Connection countingSecond = f.option("optA", 1).click.connect(this->counter(second));

    this->driver.clickOption(f, "optA", 0);  // already selected
    EXPECT_EQ(first, 1);
    EXPECT_TRUE(f.option("optA", 0).value());

    this->driver.clickOption(f, "optA", 1);
    EXPECT_EQ(second, 1);
    EXPECT_TRUE(f.option("optA", 1).value());
    EXPECT_FALSE(f.option("optA", 0).value());
}

TYPED_TEST_P(WindowingContract, OptionArraysInOtherContainersAreSeparateGroups) {
    ui::Form& f = this->form;
    f.option("optA", 1).setValue(true);
    EXPECT_TRUE(f.option("optB", 1).value());
    this->driver.clickOption(f, "optB", 0);
    EXPECT_TRUE(f.option("optA", 1).value());
    EXPECT_TRUE(f.option("optB", 0).value());
    EXPECT_FALSE(f.option("optB", 1).value());
}

TYPED_TEST_P(WindowingContract, ListStartsEmptyAndSetListIndexRaisesClickOnlyOnAChange) {
    ui::ComboBox& list = this->form.comboBox("cboList");
    EXPECT_EQ(list.listIndex(), -1);
    EXPECT_EQ(list.listCount(), 3);
    int clicks = 0;
    const ui::Connection counting = list.click.connect(this->counter(clicks));

    list.setListIndex(1);
    EXPECT_EQ(list.listIndex(), 1);
    EXPECT_EQ(clicks, 1);
    list.setListIndex(1);
    EXPECT_EQ(clicks, 1);
    list.setListIndex(0);
    EXPECT_EQ(clicks, 2);

    this->driver.pickEntry(this->form, "cboList", 2);
    EXPECT_EQ(list.listIndex(), 2);
    EXPECT_EQ(clicks, 3);
}

TYPED_TEST_P(WindowingContract, UpDownClampsItsValueAndWritesItIntoTheBuddyBox) {
    ui::UpDown& ud = this->form.upDown("udLevel");
    ui::TextBox& box = this->form.textBox("txtLevel");
    EXPECT_EQ(ud.min(), -1);
    EXPECT_EQ(ud.max(), 9);
    EXPECT_EQ(ud.value(), -1);
    int changes = 0;
    const ui::Connection counting = box.change.connect(this->counter(changes));

    ud.setValue(4);
    EXPECT_EQ(ud.value(), 4);
    EXPECT_EQ(box.text(), "4");
    EXPECT_EQ(changes, 1);
    ud.setValue(25);
    EXPECT_EQ(ud.value(), 9);
    EXPECT_EQ(box.text(), "9");
    ud.setValue(-7);
    EXPECT_EQ(ud.value(), -1);
    EXPECT_EQ(box.text(), "-1");
    EXPECT_EQ(changes, 3);
}

TYPED_TEST_P(WindowingContract, UpDownArrowsStepWithinTheRangeThenRaiseTheirEvent) {
    ui::Form& f = this->form;
    ui::UpDown& ud = f.upDown("udLevel");
    ui::TextBox& box = f.textBox("txtLevel");
    std::vector<std::string> seenUp, seenDown;
    const ui::Connection recordingUp =
        ud.upClick.connect([&] { seenUp.push_back(std::to_string(ud.value()) + "/" + box.text()); });
    const ui::Connection recordingDown =
        ud.downClick.connect([&] { seenDown.push_back(std::to_string(ud.value()) + "/" + box.text()); });

    this->driver.clickDown(f, "udLevel");  // at the minimum: no wrap
    this->driver.clickUp(f, "udLevel");
    ud.setValue(8);
    this->driver.clickUp(f, "udLevel");
    this->driver.clickUp(f, "udLevel");  // at the maximum

    EXPECT_EQ(seenDown, (std::vector<std::string>{"-1/-1"}));
    EXPECT_EQ(seenUp, (std::vector<std::string>{"0/0", "9/9", "9/9"}));
}

TYPED_TEST_P(WindowingContract, EscapeClicksTheCancelButtonOnlyWhileItIsEnabled) {
    ui::Button& abort = this->form.button("cmdAbort");
    int clicks = 0;
    const ui::Connection counting = abort.click.connect(this->counter(clicks));

    this->driver.pressEscape(this->form);
    EXPECT_EQ(clicks, 0);
    abort.setEnabled(true);
    this->driver.pressEscape(this->form);
    EXPECT_EQ(clicks, 1);
    abort.setEnabled(false);
    this->driver.pressEscape(this->form);
    EXPECT_EQ(clicks, 1);
}

TYPED_TEST_P(WindowingContract, DialogAnswersEnterWithItsDefaultAndEscapeWithItsCancelButton) {
    std::unique_ptr<ui::Form> dialog = this->windowing.createForm(dialogLayout());
    EXPECT_EQ(dialog->caption(), "Ask");
    int ok = 0, cancel = 0;
    const ui::Connection onOk = dialog->button("cmdOk").click.connect([&] {
        ++ok;
        dialog->hide();
    });
    const ui::Connection onCancel = dialog->button("cmdCancel").click.connect([&] {
        ++cancel;
        dialog->hide();
    });

    this->driver.whileModal(*dialog, [this](ui::Form& shown) { this->driver.pressEnter(shown); });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(cancel, 0);

    this->driver.whileModal(*dialog, [this](ui::Form& shown) { this->driver.pressEscape(shown); });
    EXPECT_EQ(ok, 1);
    EXPECT_EQ(cancel, 1);

    dialog->button("cmdOk").setEnabled(false);
    this->driver.whileModal(*dialog, [this](ui::Form& shown) { this->driver.pressEnter(shown); });
    EXPECT_EQ(ok, 1);
}

TYPED_TEST_P(WindowingContract, DialogCloseBoxEndsShowModal) {
    std::unique_ptr<ui::Form> dialog = this->windowing.createForm(dialogLayout());
    dialog->setCaption("Load key");
    EXPECT_EQ(dialog->caption(), "Load key");
    bool ran = false;
    this->driver.whileModal(*dialog, [&](ui::Form& shown) {
        ran = true;
        this->driver.closeBox(shown);
    });
    EXPECT_TRUE(ran);
}

TYPED_TEST_P(WindowingContract, MainCloseBoxRaisesCloseRequested) {
    int requests = 0;
    const ui::Connection counting = this->form.closeRequested.connect(this->counter(requests));
    this->driver.closeBox(this->form);
    EXPECT_EQ(requests, 1);
}

TYPED_TEST_P(WindowingContract, ScreenPointerIsAStateThatDefaultAlwaysClears) {
    ui::Windowing& w = this->windowing;
    EXPECT_EQ(w.screenPointer(), ui::MousePointer::Default);
    w.setScreenPointer(ui::MousePointer::Hourglass);
    w.setScreenPointer(ui::MousePointer::Hourglass);  // a nested operation
    EXPECT_EQ(w.screenPointer(), ui::MousePointer::Hourglass);
    w.setScreenPointer(ui::MousePointer::Default);
    EXPECT_EQ(w.screenPointer(), ui::MousePointer::Default);
}

TYPED_TEST_P(WindowingContract, EnabledAndVisibleAreEachControlsOwnFlags) {
    ui::Form& f = this->form;
    f.frame("frA").setVisible(false);
    f.frame("frA").setEnabled(false);
    EXPECT_FALSE(f.frame("frA").isVisible());
    EXPECT_FALSE(f.frame("frA").isEnabled());
    EXPECT_TRUE(f.option("optA", 1).isVisible());
    EXPECT_TRUE(f.option("optA", 1).isEnabled());
    EXPECT_TRUE(f.label("lblA").isVisible());
    EXPECT_FALSE(f.progressBar("pgBar").isVisible());
    EXPECT_FALSE(f.button("cmdAbort").isEnabled());
}

TYPED_TEST_P(WindowingContract, ProgressBarAndButtonKeepWhatTheProgramSets) {
    ui::Form& f = this->form;
    ui::ProgressBar& bar = f.progressBar("pgBar");
    bar.setValue(40);
    EXPECT_EQ(bar.value(), 40);
    bar.setValue(100);
    EXPECT_EQ(bar.value(), 100);
    ui::Button& go = f.button("cmdGo");
    EXPECT_EQ(go.caption(), "Go");
    go.setCaption("Stop");
    EXPECT_EQ(go.caption(), "Stop");
    go.setMousePointer(ui::MousePointer::ArrowQuestion);
    EXPECT_EQ(go.mousePointer(), ui::MousePointer::ArrowQuestion);
    EXPECT_EQ(f.tabStrip("tabs").selectedIndex(), 1);
}

TYPED_TEST_P(WindowingContract, AMissingOrMistypedControlIsAnError) {
    ui::Form& f = this->form;
    EXPECT_THROW(f.textBox("txtNone"), std::out_of_range);
    EXPECT_THROW(f.option("optA", 3), std::out_of_range);
    EXPECT_THROW(f.button("txtOne"), std::out_of_range);
    EXPECT_THROW(f.label("lblA", 0), std::out_of_range);
}

REGISTER_TYPED_TEST_SUITE_P(
    WindowingContract, TextBoxStartsWithTheTableTextAndRaisesChangeOnlyOnARealChange,
    ProgramWrittenBytesReadBackExactly, TypedTextReadsBackAsUtf8AndRaisesChange,
    OptionSetValueSelectsClearsTheOthersAndRaisesClickOnce, OptionSetValueFalseClearsWithoutClick,
    UserClickOnAnOptionAlwaysRaisesClick, OptionArraysInOtherContainersAreSeparateGroups,
    ListStartsEmptyAndSetListIndexRaisesClickOnlyOnAChange, UpDownClampsItsValueAndWritesItIntoTheBuddyBox,
    UpDownArrowsStepWithinTheRangeThenRaiseTheirEvent, EscapeClicksTheCancelButtonOnlyWhileItIsEnabled,
    DialogAnswersEnterWithItsDefaultAndEscapeWithItsCancelButton, DialogCloseBoxEndsShowModal,
    MainCloseBoxRaisesCloseRequested, ScreenPointerIsAStateThatDefaultAlwaysClears,
    EnabledAndVisibleAreEachControlsOwnFlags, ProgressBarAndButtonKeepWhatTheProgramSets,
    AMissingOrMistypedControlIsAnError);

}  // namespace contract
