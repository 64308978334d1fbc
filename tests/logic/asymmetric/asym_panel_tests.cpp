// SPDX-License-Identifier: Apache-2.0
// The asymmetric tab's panel: which controls the key state enables.

#include "support/WindowFixture.h"

using namespace fake;

namespace {

class AsymmetricPanel : public WindowFixture {
protected:
    void SetUp() override { load(); }
};

TEST_F(AsymmetricPanel, TheAsymmetricTabWithoutKeysOffersOnlyKeyGenerationAndLoading) {
    EXPECT_FALSE(window->asymmetricTab().asymWrapper());
    form.textBox("txtContAsym").setText("left over");
    selectTab(3);
    EXPECT_TRUE(window->asymmetricTab().asymWrapper())
        << "the tab's wrapper is created when the tab is first shown";
    for (const char* b :
         {"cmdEncAsym", "cmdDecAsym", "cmdAsign", "cmdAsymSave", "cmdAsymLoadRelat", "cmdAsymVerifSign"})
        EXPECT_FALSE(form.button(b).isEnabled()) << b;
    for (const char* b : {"cmdAsymGenKey", "cmdAsymLoad"}) EXPECT_TRUE(form.button(b).isEnabled()) << b;
    EXPECT_TRUE(form.comboBox("cboAsymKey").isEnabled());
    EXPECT_TRUE(form.textBox("txtAsymSeed").isEnabled());
    EXPECT_FALSE(form.frame("frTxtAsym").isEnabled());
    for (int i = 0; i < 2; ++i) EXPECT_FALSE(form.option("optAsym", i).isEnabled());
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(form.option("optTypeAsym", i).isEnabled());
    EXPECT_FALSE(form.textBox("txtAsymComp").isEnabled());
    EXPECT_FALSE(form.upDown("udAsym").isEnabled());
    for (const char* box : {"txtContAsym", "txtResAsym"}) {
        EXPECT_FALSE(form.textBox(box).isEnabled()) << box;
        EXPECT_EQ(form.textBox(box).backColor(), ui::SysColor::InactiveBorder) << box;
        EXPECT_EQ(form.textBox(box).text(), "") << box;
    }
    auto first = window->asymmetricTab().asymWrapper();
    selectTab(1);
    selectTab(3);
    EXPECT_EQ(window->asymmetricTab().asymWrapper(), first) << "the wrapper is kept while it exists";
}

}  // namespace
