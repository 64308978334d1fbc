// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Asymmetric Encrypt/Decrypt" tab's wrapper: one key set (a private
// and a public key object), the settings its keys were made with, and the
// settings of the next operation.

#include <cstdint>
#include <memory>
#include <string>

#include "asymmetric/frmKey.h"
#include "engine/Engine.h"
#include "util/SourceKind.h"
#include "ui/Event.h"

namespace ui {
class Button;
class ProgressBar;
class Windowing;
}  // namespace ui

class clsAsym {
public:
    // keyForm is the shared key-kind dialog.
    clsAsym(ui::Windowing& windowing, std::shared_ptr<frmKey> keyForm);
    ~clsAsym();
    clsAsym(const clsAsym&) = delete;
    clsAsym& operator=(const clsAsym&) = delete;

    // Key-length list position: 0 512, 1 1024, 2 2048 bits; others are ignored.
    void iAsymKey(int16_t icboAsymKey);
    int16_t iAsymKey() const;
    // Schema list position: 0 "OAEP" (code 1), 1 "PCKS1" (code 0); others are ignored.
    void iAsymSchema(int16_t icboAsymSchema);
    int16_t iAsymSchema() const;
    void iAsymSeed(const std::string& strSeed) { m_seed = strSeed; }
    const std::string& iAsymSeed() const { return m_seed; }
    // Output encoding 0 Binary, 1 Base64, 2 Hex; unchecked, the engine refuses a code it does not know.
    void AsymEncod(int16_t iOptTypeAsym) { m_encoding = static_cast<engine::OutputEncoding>(iOptTypeAsym); }
    // The compression level as the box shows it; a text that is no 16-bit
    // whole number leaves the level as it was.
    void AsymComp(const std::string& sAsymCompLevel);
    // Source kind: 0 Text, anything else File.
    void AsymSource(int16_t iSource) { m_source = SourceKindOf(iSource); }
    // Names the box the next operation reads, for the message when it holds
    // no file name; empty leaves that message to the engine.
    void SourceBox(const std::string& box) { m_sourceBox = box; }
    // The kind of the last key-file action: 0 public, 1 private; any other
    // value is kept and counts as public.
    int16_t CryptoKey() const { return static_cast<int16_t>(m_cryptoKey); }
    void CryptoKey(int16_t iCryptoKeyType) { m_cryptoKey = static_cast<KeyFileKind>(iCryptoKeyType); }
    KeyFileKind keyFileKind() const { return m_cryptoKey; }
    void keyFileKind(KeyFileKind kind) { m_cryptoKey = kind; }
    bool KeyLoad() const { return m_keyLoad; }
    void KeyLoad(bool bGenKey) { m_keyLoad = bGenKey; }
    bool KeyLoadPrivate() const { return m_keyLoadPrivate; }
    bool KeyLoadPublic() const { return m_keyLoadPublic; }

    bool HasPrivateKey() const { return mPrivateKey != nullptr; }
    bool HasPublicKey() const { return mPublicKey != nullptr; }
    // A key it holds was read from a key file (not merely attempted).
    bool HoldsKeyFromFile() const {
        return (mPrivateKey && m_privateFromFile) || (mPublicKey && m_publicFromFile);
    }

    bool InitKey(const std::shared_ptr<engine::EngineRoot>& mcls);
    std::string CryptAsym(const std::string& sSourceAsymEnc);
    std::string DecryptAsym(const std::string& sSourceAsymDec);
    std::string SignAsym(const std::string& sSourceAsymEnc);
    bool VerifySign(const std::string& strSource, const std::string& strSign);
    void KeySaveToFile();
    bool KeyLoadFromFile(const std::shared_ptr<engine::EngineRoot>& mcls, bool bLocked);

    // Captions of the two load buttons.
    void LabelLoadButtons(const std::string& load, const std::string& related);
    // The window's own handler has carried out the current click on "Load
    // key"; the wrapper relabels the buttons after it, and only then.
    void LoadClickHandled() { m_loadClickHandled = true; }

private:
    // Runs after the window's own handler of a click on "Load key".
    void loadKeyClicked();
    std::string cipherOperation(bool encrypt, const std::string& source);
    // Writes the operation's settings into the key and shows the bar at 0.
    void prepareKey(engine::EngineAsymKey& key);

    ui::Windowing& m_windowing;
    std::shared_ptr<frmKey> m_keyForm;
    ui::ProgressBar* mPgBar;
    ui::Button* p_cmdLoadKey;
    ui::Button* p_cmdLoadKeyRel;
    ui::Connection m_loadKeyObserver;
    bool m_loadClickHandled = false;

    int32_t m_keyLength = 0;
    std::string m_seed;
    engine::EncryptionSchema m_schema = engine::EncryptionSchema::Pkcs1;
    SourceKind m_source = SourceKind::Text;
    std::string m_sourceBox;
    engine::OutputEncoding m_encoding = engine::OutputEncoding::Binary;
    KeyFileKind m_cryptoKey = KeyFileKind::Public;
    int16_t m_compression = 0;
    bool m_keyLoad = false;
    bool m_keyLoadPublic = false;
    bool m_keyLoadPrivate = false;
    bool m_privateFromFile = false;
    bool m_publicFromFile = false;
    std::shared_ptr<engine::EngineAsymKey> mPrivateKey;
    std::shared_ptr<engine::EngineAsymKey> mPublicKey;
};
