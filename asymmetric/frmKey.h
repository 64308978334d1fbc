// SPDX-License-Identifier: Apache-2.0
#pragma once
// The key-kind dialog: asks whether a key file holds (or is to hold) the
// public or the private key. One instance serves the whole run; its window is
// made on first use and its two answers keep their values between uses.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ui/Event.h"

namespace ui {
class Form;
class Windowing;
}  // namespace ui

// Which key of a pair a key file holds: 0 and 1 in the dialog's and the
// wrapper's CryptoKey, which keep any other value they are given.
enum class KeyFileKind : int16_t { Public = 0, Private = 1 };

class frmKey {
public:
    explicit frmKey(ui::Windowing& windowing);
    ~frmKey();
    frmKey(const frmKey&) = delete;
    frmKey& operator=(const frmKey&) = delete;

    // Presets the kind (0 public, 1 private), sets the caption, locks the kind
    // when asked, and returns once the dialog has closed.
    void Load_Form(int16_t m_CrKeyType, const std::string& strTitle, bool bLocked);

    // The last use ended with OK.
    bool LoadForm() const { return m_loadForm; }
    // The preset kind, or the chosen one after OK.
    int16_t CryptoKey() const { return static_cast<int16_t>(m_cryptoKey); }
    KeyFileKind keyFileKind() const { return m_cryptoKey; }

    // The dialog's window; empty before the first use.
    ui::Form* form() const { return m_form.get(); }

private:
    void cmdOk_Click();
    void cmdCancel_Click();

    ui::Windowing& m_windowing;
    std::unique_ptr<ui::Form> m_form;
    std::vector<ui::Connection> m_connections;
    bool m_loadForm = false;
    KeyFileKind m_cryptoKey = KeyFileKind::Public;
};
