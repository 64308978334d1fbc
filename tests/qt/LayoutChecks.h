// SPDX-License-Identifier: Apache-2.0
#pragma once
// Whether a form built from its table shows every caption whole, under the
// style and font it is drawn with.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QStyleOptionGroupBox>
#include <QTabBar>
#include <QTabWidget>
#include <string>

#include "ui/qt/QtForm.h"

namespace qttest {

inline void expectEverythingFits(ui::qt::QtForm& form) {
    form.window()->show();
    const QStyle* style = form.window()->style();
    int pageTop = 0;  // below the tabs: where the strip's page starts
    for (const ui::ControlLayout& c : form.layout().controls) {
        const std::string id = c.name + "(" + std::to_string(c.index) + ")";
        QWidget* w = form.widget(c.name, c.index);
        const QFontMetrics metrics = w->fontMetrics();
        if (c.kind != ui::ControlKind::ProgressBar && c.kind != ui::ControlKind::UpDown) {
            EXPECT_LE(metrics.height(), w->height()) << id;
        }
        switch (c.kind) {
            case ui::ControlKind::Label:
            case ui::ControlKind::Option:
                EXPECT_LE(w->sizeHint().width(), w->width()) << id;
                break;
            case ui::ControlKind::Button: {
                auto* button = qobject_cast<QPushButton*>(w);
                QStyleOptionButton option;
                option.initFrom(button);
                option.text = button->text();
                const QRect contents = style->subElementRect(QStyle::SE_PushButtonContents, &option, button);
                EXPECT_LE(metrics.horizontalAdvance(button->text()), contents.width()) << id;
                EXPECT_LE(metrics.height(), contents.height()) << id;
                break;
            }
            case ui::ControlKind::Frame: {
                auto* frame = qobject_cast<QGroupBox*>(w);
                QStyleOptionGroupBox option;
                option.initFrom(frame);
                option.text = frame->title();
                option.subControls = QStyle::SC_GroupBoxFrame | QStyle::SC_GroupBoxLabel;
                const QRect label =
                    style->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
                EXPECT_LE(label.right(), frame->width() - 1) << id;
                EXPECT_LE(metrics.horizontalAdvance(frame->title()), label.width()) << id;
                break;
            }
            case ui::ControlKind::ComboBox: {
                auto* combo = qobject_cast<QComboBox*>(w);
                QStyleOptionComboBox option;
                option.initFrom(combo);
                const QRect field = style->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo);
                for (int i = 0; i < combo->count(); ++i)
                    EXPECT_LE(metrics.horizontalAdvance(combo->itemText(i)), field.width()) << id;
                EXPECT_LE(metrics.height(), field.height()) << id;
                break;
            }
            case ui::ControlKind::TextBox:
                if (auto* line = qobject_cast<QLineEdit*>(w)) {
                    const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, line);
                    EXPECT_LE(metrics.height() + 2 * frame, line->height()) << id;
                }
                break;
            case ui::ControlKind::TabStrip: {
                // Every tab whole on the strip: none pushed off its end.
                auto* tabs = qobject_cast<QTabWidget*>(w);
                QTabBar* bar = tabs->tabBar();
                EXPECT_LE(bar->sizeHint().width(), tabs->width()) << id;
                EXPECT_LE(bar->geometry().right(), tabs->width() - 1) << id;
                for (int i = 0; i < tabs->count(); ++i) {
                    const QRect tab = bar->tabRect(i);
                    EXPECT_TRUE(QRect(QPoint(0, 0), bar->size()).contains(tab)) << tabs->tabText(i).toStdString();
                    EXPECT_LE(metrics.horizontalAdvance(tabs->tabText(i)), tab.width())
                        << tabs->tabText(i).toStdString();
                }
                pageTop = tabs->geometry().top() + bar->geometry().bottom();
                break;
            }
            default:
                break;
        }
    }
    // The frames lying over the strip's page start below its tabs.
    for (const ui::ControlLayout& c : form.layout().controls) {
        if (pageTop > 0 && c.kind == ui::ControlKind::Frame && c.container.empty()) {
            EXPECT_GT(form.widget(c.name)->geometry().top(), pageTop) << c.name;
        }
    }
}

}  // namespace qttest
