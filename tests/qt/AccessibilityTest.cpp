// SPDX-License-Identifier: Apache-2.0
// What a screen reader is told about the real windows, through Qt's
// accessibility interfaces. The AT-SPI test under Xvfb compares the whole tree,
// tab by tab, with its table.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QRadioButton>
#include <QTabBar>
#include <QTabWidget>
#include <map>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "asymmetric/frmKeyForm.h"
#include "qt/QtTestSupport.h"
#include "support/MockEngine.h"
#include "ui/qt/QtControls.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

using ::testing::NiceMock;

QAccessible::Role roleOf(ui::ControlKind kind) {
    switch (kind) {
        case ui::ControlKind::Label:
            return QAccessible::StaticText;
        case ui::ControlKind::TextBox:
            return QAccessible::EditableText;
        case ui::ControlKind::Option:
            return QAccessible::RadioButton;
        case ui::ControlKind::ComboBox:
            return QAccessible::ComboBox;
        case ui::ControlKind::Button:
            return QAccessible::Button;
        case ui::ControlKind::Frame:
            return QAccessible::Grouping;
        case ui::ControlKind::TabStrip:
            return QAccessible::PageTabList;
        case ui::ControlKind::ProgressBar:
            return QAccessible::ProgressBar;
        case ui::ControlKind::UpDown:
            return QAccessible::SpinBox;
    }
    return QAccessible::NoRole;
}

std::string id(const ui::ControlLayout& c) { return c.index >= 0 ? c.name + "(" + std::to_string(c.index) + ")" : c.name; }

class Accessibility : public ::testing::Test {
protected:
    Accessibility() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [this] { return root; });
        window->Form_Load();
        windowing.showMain();
    }

    // The tab strip speaks through its tab bar.
    QAccessibleInterface* spoken(ui::qt::QtForm& f, const std::string& name, int index = -1) {
        QWidget* w = f.widget(name, index);
        if (auto* tabs = qobject_cast<QTabWidget*>(w)) w = tabs->tabBar();
        return QAccessible::queryAccessibleInterface(w);
    }
    QString nameOf(const std::string& name, int index = -1) {
        return spoken(form, name, index)->text(QAccessible::Name);
    }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::shared_ptr<NiceMock<fake::MockEngineRoot>> root = std::make_shared<NiceMock<fake::MockEngineRoot>>();
    std::unique_ptr<frmMain> window;
};

TEST_F(Accessibility, EveryControlHasItsKindsRoleAndAName) {
    for (const ui::FormLayout* layout : {&frmMainLayout(), &frmKeyLayout()}) {
        std::unique_ptr<ui::Form> dialog;
        ui::qt::QtForm* f = &form;
        if (layout != &frmMainLayout()) {
            dialog = windowing.createForm(*layout);
            f = &dynamic_cast<ui::qt::QtForm&>(*dialog);
        }
        for (const ui::ControlLayout& c : layout->controls) {
            QAccessibleInterface* face = spoken(*f, c.name, c.index);
            ASSERT_NE(face, nullptr) << id(c);
            EXPECT_EQ(face->role(), roleOf(c.kind)) << id(c);
            EXPECT_FALSE(face->text(QAccessible::Name).trimmed().isEmpty()) << id(c);
        }
    }
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.window())->role(), QAccessible::Window);
    EXPECT_EQ(QAccessible::queryAccessibleInterface(form.window())->text(QAccessible::Name), "Exemple");
}

TEST_F(Accessibility, BoxesListsAndFramesAreNamedForWhatTheyHold) {
    const std::map<std::pair<std::string, int>, QString> names = {
        {{"txtCont", -1}, "Text or file to hash"},
        {{"txtRes", -1}, "Digest"},
        {{"cmdOpen", -1}, "Choose file to hash"},
        {{"cboEncHash", -1}, "Algorithm"},
        {{"Frame2", -1}, "Type"},
        {{"txtResSym", -1}, "Encrypted text or file"},
        {{"txtSymIV", -1}, "Initialisation vector"},
        {{"txtSymPass", -1}, "Password"},
        {{"txtSymComp", -1}, "Compression level"},
        {{"udSymLev", -1}, "Compression level arrows"},
        {{"txtAsymSeed", -1}, "Seed"},
        {{"frGenkeys", -1}, "Key generation"},
        {{"pgBar", -1}, "Progress"},
        {{"TabStrip1", -1}, "Tabs"},
    };
    for (const auto& [control, name] : names)
        EXPECT_EQ(nameOf(control.first, control.second), name) << control.first;

    // A list's entry is its value, not its name.
    form.comboBox("cboEncHash").setListIndex(2);
    EXPECT_EQ(spoken(form, "cboEncHash")->text(QAccessible::Value), "Tiger");
    EXPECT_EQ(nameOf("cboEncHash"), "Algorithm");
    // A button whose caption changes is named by its caption as it is now.
    form.button("cmdAsymLoad").setCaption("Load Key Private");
    EXPECT_EQ(nameOf("cmdAsymLoad"), "Load Key Private");
    // Labels name the control beside them.
    const auto labels = spoken(form, "txtSymIV")->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1u);
    EXPECT_EQ(labels.front().first->object(), form.widget("lbl1", 2));
}

TEST_F(Accessibility, OptionsAreRadioButtonsAndEachGroupStillHoldsOneChoice) {
    for (const char* name : {"optHash", "optType", "optSym", "optTypeSym", "optCip", "optAsym", "optTypeAsym",
                             "optED", "optTypeED"}) {
        auto* first = qobject_cast<QRadioButton*>(form.widget(name, 0));
        auto* second = qobject_cast<QRadioButton*>(form.widget(name, 1));
        EXPECT_TRUE(first->autoExclusive()) << name;
        EXPECT_EQ(QAccessible::queryAccessibleInterface(first)->role(), QAccessible::RadioButton) << name;
        second->setEnabled(true);
        second->click();
        EXPECT_TRUE(second->isChecked()) << name;
        EXPECT_FALSE(first->isChecked()) << name;
        EXPECT_TRUE(form.option(name, 1).value()) << name;
    }
    // One array per frame: choosing in one leaves the others alone.
    EXPECT_TRUE(form.option("optTypeSym", 1).value());
    EXPECT_TRUE(form.option("optCip", 1).value());
}

TEST_F(Accessibility, TheProgressBarAndTheUpDownReportTheirValues) {
    form.progressBar("pgBar").setValue(40);
    QAccessibleValueInterface* bar = spoken(form, "pgBar")->valueInterface();
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->currentValue().toInt(), 40);
    EXPECT_EQ(bar->maximumValue().toInt(), 100);

    QAccessibleValueInterface* level = spoken(form, "udSymLev")->valueInterface();
    ASSERT_NE(level, nullptr);
    EXPECT_EQ(level->currentValue().toInt(), -1);
    EXPECT_EQ(level->minimumValue().toInt(), -1);
    EXPECT_EQ(level->maximumValue().toInt(), 9);
    form.upDown("udSymLev").setValue(4);
    EXPECT_EQ(level->currentValue().toInt(), 4);
    // A screen reader setting the value goes through the arrows, as a user would.
    int ups = 0;
    const ui::Connection counting = form.upDown("udSymLev").upClick.connect([&ups] { ++ups; });
    level->setCurrentValue(6);
    EXPECT_EQ(form.upDown("udSymLev").value(), 6);
    EXPECT_EQ(form.textBox("txtSymComp").text(), "6");
    EXPECT_EQ(ups, 2);
}

TEST_F(Accessibility, TheTabStripsTabsArePageTabsThatSwitchWhenPressed) {
    QAccessibleInterface* strip = spoken(form, "TabStrip1");
    ASSERT_EQ(strip->childCount(), 4);
    int clicks = 0;
    const ui::Connection counting = form.tabStrip("TabStrip1").click.connect([&clicks] { ++clicks; });
    QAccessibleInterface* third = strip->child(2);
    EXPECT_EQ(third->role(), QAccessible::PageTab);
    EXPECT_EQ(third->text(QAccessible::Name), "Asymmetric Encrypt/Decrypt");
    EXPECT_EQ(strip->indexOfChild(third), 2);
    EXPECT_EQ(third->parent(), strip);
    EXPECT_FALSE(third->state().selected);
    third->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(form.tabStrip("TabStrip1").selectedIndex(), 3);
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(third->state().selected);
    EXPECT_TRUE(strip->child(0)->rect().isValid());
}

}  // namespace
