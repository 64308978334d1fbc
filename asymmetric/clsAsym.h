#pragma once
// The "Asymmetric Encrypt/Decrypt" tab's wrapper: one key set (a private
// and a public key object) and the settings of the next operation.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"

namespace ui {
class Button;
class ProgressBar;
class Windowing;
}  // namespace ui

class clsAsym {
public:
    explicit clsAsym(ui::Windowing& windowing);
    ~clsAsym();
    clsAsym(const clsAsym&) = delete;
    clsAsym& operator=(const clsAsym&) = delete;

    bool KeyLoad() const { return m_keyLoad; }
    void KeyLoad(bool bGenKey) { m_keyLoad = bGenKey; }
    bool KeyLoadPrivate() const { return m_keyLoadPrivate; }
    bool KeyLoadPublic() const { return m_keyLoadPublic; }
    int16_t CryptoKey() const { return m_cryptoKey; }
    void CryptoKey(int16_t iCryptoKeyType) { m_cryptoKey = iCryptoKeyType; }

private:
    // Runs after the window's own handler of a click on "Load key".
    void loadKeyClicked();

    ui::Windowing& m_windowing;
    ui::ProgressBar* mPgBar = nullptr;
    ui::Button* p_cmdLoadKey = nullptr;
    ui::Button* p_cmdLoadKeyRel = nullptr;
    int m_loadKeyObserver = 0;

    int16_t m_cryptoKey = 0;
    bool m_keyLoad = false;
    bool m_keyLoadPublic = false;
    bool m_keyLoadPrivate = false;
    std::shared_ptr<engine::EngineAsymKey> mPrivateKey;
    std::shared_ptr<engine::EngineAsymKey> mPublicKey;
};
