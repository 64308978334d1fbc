// SPDX-License-Identifier: Apache-2.0
// The "Encode/Decode" tab over the real Qt layer and the real engine: what
// the text boxes hold between the two directions.

#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QRadioButton>
#include <memory>
#include <string>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

class EncodingTabOnQt : public ::testing::Test {
protected:
    EncodingTabOnQt() {
        modUtils::bAbort = false;
        modUtils::bUnloading = false;
        window = std::make_unique<frmMain>(windowing, [] { return engine::CreateEngineRoot(); });
        window->Form_Load();
        windowing.showMain();
    }

    void click(const char* name) { qobject_cast<QPushButton*>(form.widget(name))->click(); }

    ui::qt::QtWindowing windowing{frmMainLayout()};
    ui::qt::QtForm& form = windowing.mainForm();
    std::unique_ptr<frmMain> window;
};

TEST_F(EncodingTabOnQt, DecodedBinaryBytesEncodeBackToTheSameText) {
    // Every byte value, line breaks and a lone carriage return included.
    std::string bytes(256, '\0');
    for (int i = 0; i < 256; ++i) bytes[i] = static_cast<char>(255 - i);
    bytes += "\r\n\r";
    auto encoder = engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Base64);
    const std::string base64 = encoder->EncodeText(bytes);

    for (int encoding : {1, 2}) {
        qobject_cast<QRadioButton*>(form.widget("optTypeED", encoding))->click();
        const std::string text =
            encoding == 1
                ? base64
                : engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Hex)->EncodeText(bytes);
        form.textBox("txtResED").setText(text);
        click("cmdDecED");
        EXPECT_EQ(form.textBox("txtContED").text(), bytes) << encoding;
        form.textBox("txtResED").setText("");
        click("cmdEncED");
        EXPECT_EQ(form.textBox("txtResED").text(), text) << encoding;
    }
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_FALSE(form.widget("cmdAbort")->isEnabled());
}

}  // namespace
