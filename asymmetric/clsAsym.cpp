#include "asymmetric/clsAsym.h"

#include <charconv>
#include <limits>

#include "asymmetric/frmKey.h"
#include "ui/Windowing.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

engine::EngineError missingKey(const std::string& what) {
    return engine::EngineError(engine::ErrorKind::MissingKey, what);
}

const char* const kNoPublicKeyToEncrypt =
    "There is no public key to encrypt with: generate keys or load a public key.";
const char* const kNoPrivateKeyToDecrypt =
    "There is no private key to decrypt with: generate keys or load a private key.";
const char* const kNoPrivateKeyToSign =
    "There is no private key to sign with: generate keys or load a private key.";

}  // namespace

clsAsym::clsAsym(ui::Windowing& windowing, std::shared_ptr<frmKey> keyForm)
    : m_windowing(windowing), m_keyForm(std::move(keyForm)) {
    ui::Form& form = windowing.mainForm();
    if (!mPgBar) mPgBar = &form.progressBar("pgBar");
    m_keyLoadPublic = false;
    m_keyLoadPrivate = false;
    p_cmdLoadKey = &form.button("cmdAsymLoad");
    m_loadKeyObserver = p_cmdLoadKey->click.connect([this] { loadKeyClicked(); });
    p_cmdLoadKeyRel = &form.button("cmdAsymLoadRelat");
    modUtils::bAbort = false;
}

clsAsym::~clsAsym() {
    mPrivateKey.reset();
    mPublicKey.reset();
    p_cmdLoadKey = nullptr;
    p_cmdLoadKeyRel = nullptr;
    mPgBar = nullptr;
}

// ---------------------------------------------------------------- properties

void clsAsym::iAsymKey(int16_t icboAsymKey) {
    switch (icboAsymKey) {
        case 0:
            m_keyLength = 512;
            break;
        case 1:
            m_keyLength = 1024;
            break;
        case 2:
            m_keyLength = 2048;
            break;
        default:
            break;
    }
}

int16_t clsAsym::iAsymKey() const {
    switch (m_keyLength) {
        case 1024:
            return 1;
        case 2048:
            return 2;
        default:
            return 0;
    }
}

void clsAsym::iAsymSchema(int16_t icboAsymSchema) {
    if (icboAsymSchema == 0) m_schema = 1;
    if (icboAsymSchema == 1) m_schema = 0;
}

int16_t clsAsym::iAsymSchema() const { return m_schema == 0 ? 1 : 0; }

void clsAsym::AsymComp(const std::string& sAsymCompLevel) {
    int level = 0;
    const char* first = sAsymCompLevel.data();
    const char* last = first + sAsymCompLevel.size();
    const auto [end, error] = std::from_chars(first, last, level);
    if (error != std::errc() || end != last || sAsymCompLevel.empty()) return;
    if (level < std::numeric_limits<int16_t>::min() || level > std::numeric_limits<int16_t>::max()) return;
    m_compression = static_cast<int16_t>(level);
}

// ---------------------------------------------------------------- key pair

bool clsAsym::InitKey(const std::shared_ptr<engine::EngineRoot>& mcls) {
    ErrorTrap trap;
    bool result = true;
    trap.step([&] { m_keyLoad = false; });
    trap.step([&] { mPublicKey.reset(); });
    trap.step([&] {
        RequireEngine(mcls);
        // A failed call stores neither key.
        std::shared_ptr<engine::EngineAsymKey> publicKey;
        std::shared_ptr<engine::EngineAsymKey> privateKey =
            mcls->NewKeyPair(engine::KeyPair, m_keyLength, m_seed, m_schema, publicKey);
        mPublicKey = std::move(publicKey);
        mPrivateKey = std::move(privateKey);
    });
    if (trap.report(m_windowing, "clsAsym ->Function InitKey ")) result = false;
    return result;
}

// ---------------------------------------------------------------- operations

void clsAsym::prepareKey(engine::EngineAsymKey* key, const char* missing) {
    if (!key) throw missingKey(missing);
    key->Compression(m_compression);
    key->Encoding(m_encoding);
    mPgBar->setValue(0);
    mPgBar->setVisible(true);
}

std::string clsAsym::cipherOperation(bool encrypt, const std::string& source) {
    std::string result;
    ErrorTrap trap;
    // The key stays alive for this call even if the wrapper's keys are replaced meanwhile.
    const std::shared_ptr<engine::EngineAsymKey> key = encrypt ? mPublicKey : mPrivateKey;
    const char* const missing = encrypt ? kNoPublicKeyToEncrypt : kNoPrivateKeyToDecrypt;
    trap.step([&] { prepareKey(key.get(), missing); });
    trap.step([&] {
        if (!key) throw missingKey(missing);
        if (m_source != 0) {
            modUtils::RequireFileName(source, m_sourceBox);
            const std::string target = modUtils::AddFileSuffix(source, encrypt ? "Enc" : "Dec");
            if (!modUtils::ConfirmReplace(m_windowing, target)) return;
            if (encrypt)
                key->EncryptFile(source, target);
            else
                key->DecryptFile(source, target);
            result = target;
        } else {
            result = encrypt ? key->EncryptText(source) : key->DecryptText(source);
        }
    });
    trap.step([&] { mPgBar->setVisible(false); });
    if (trap.report(m_windowing,
                    encrypt ? "clsAsym ->Function CryptAsym " : "clsAsym ->Function DecryptAsym "))
        result.clear();
    return result;
}

std::string clsAsym::CryptAsym(const std::string& sSourceAsymEnc) {
    return cipherOperation(true, sSourceAsymEnc);
}

std::string clsAsym::DecryptAsym(const std::string& sSourceAsymDec) {
    return cipherOperation(false, sSourceAsymDec);
}

std::string clsAsym::SignAsym(const std::string& sSourceAsymEnc) {
    std::string result;
    ErrorTrap trap;
    const std::shared_ptr<engine::EngineAsymKey> key = mPrivateKey;
    trap.step([&] { prepareKey(key.get(), kNoPrivateKeyToSign); });
    trap.step([&] {
        if (!key) throw missingKey(kNoPrivateKeyToSign);
        if (m_source != 0) {
            modUtils::RequireFileName(sSourceAsymEnc, m_sourceBox);
            result = key->SignFile(sSourceAsymEnc);
        } else {
            result = key->SignText(sSourceAsymEnc);
        }
    });
    trap.step([&] { mPgBar->setVisible(false); });
    if (trap.report(m_windowing, "clsAsym ->Function SignAsym ")) result.clear();
    return result;
}

bool clsAsym::VerifySign(const std::string& strSource, const std::string& strSign) {
    bool result = false;
    ErrorTrap trap;
    const std::shared_ptr<engine::EngineAsymKey> key = mPublicKey;
    if (!key) {
        ShowWarningBox(m_windowing, "There is no public key");
    } else if (!mPrivateKey) {
        ShowWarningBox(m_windowing, "There is no private key");
    } else {
        trap.step([&] {
            if (m_source != 0) {
                modUtils::RequireFileName(strSource, m_sourceBox);
                result = key->VerifyFile(strSource, strSign);
            } else {
                result = key->VerifyText(strSource, strSign);
            }
        });
    }
    if (trap.report(m_windowing, "clsAsym ->Function VerifySign ")) result = false;
    return result;
}

// ---------------------------------------------------------------- key files

void clsAsym::KeySaveToFile() {
    ErrorTrap trap;
    bool confirmed = false;
    std::string path;
    trap.step([&] {
        m_keyForm->Load_Form(m_cryptoKey, "Save Key ", m_keyLoad);
        confirmed = m_keyForm->LoadForm();
    });
    if (!confirmed && !trap.failed()) return;
    if (confirmed) {
        trap.step([&] { m_cryptoKey = m_keyForm->CryptoKey(); });
        // The save dialog itself asks before an existing file is replaced.
        trap.step([&] { path = modUtils::ShowFileDialog(m_windowing, "Save to file "); });
        if (!path.empty()) {
            trap.step([&] {
                const std::shared_ptr<engine::EngineAsymKey> key =
                    m_cryptoKey == 1 ? mPrivateKey : mPublicKey;
                if (!key)
                    throw missingKey(m_cryptoKey == 1 ? "There is no private key to save."
                                                      : "There is no public key to save.");
                key->SaveToFile(path);
            });
        }
    }
    trap.report(m_windowing, "clsAsym ->Function KeySaveToFile ");
}

bool clsAsym::KeyLoadFromFile(const std::shared_ptr<engine::EngineRoot>& mcls, bool bLocked) {
    ErrorTrap trap;
    m_loadCancelled = false;
    bool confirmed = false;
    trap.step([&] {
        m_keyForm->Load_Form(m_cryptoKey, "Load Key ", bLocked);
        confirmed = m_keyForm->LoadForm();
    });
    if (!confirmed) {
        m_loadCancelled = !trap.failed();
        trap.report(m_windowing, "clsAsym ->Function KeyLoadFromFile ");
        return false;
    }
    m_cryptoKey = m_keyForm->CryptoKey();
    const std::string path = modUtils::ShowFileDialog(m_windowing, "Load to file ");
    if (path.empty()) {
        m_keyLoad = false;
        m_loadCancelled = true;
        return false;
    }
    m_keyLoad = true;
    auto load = [&](int32_t kind) {
        RequireEngine(mcls);
        std::shared_ptr<engine::EngineAsymKey> key = mcls->LoadKey(path, kind, m_schema);
        if (!key)
            throw engine::EngineError(engine::ErrorKind::KeyFile, "No key was read from \"" + path + "\".");
        return key;
    };
    if (m_cryptoKey == 1) {
        trap.step([&] {
            if (!m_keyLoadPublic) mPublicKey.reset();
        });
        trap.step([&] { m_keyLoadPrivate = true; });
        trap.step([&] {
            mPrivateKey = load(engine::PrivateKey);
            m_privateFromFile = true;
        });
    } else {
        trap.step([&] {
            if (!m_keyLoadPrivate) mPrivateKey.reset();
        });
        trap.step([&] { m_keyLoadPublic = true; });
        trap.step([&] {
            mPublicKey = load(engine::PublicKey);
            m_publicFromFile = true;
        });
    }
    if (!trap.failed()) return true;
    m_keyLoad = false;
    trap.report(m_windowing, "clsAsym ->Function KeyLoadFromFile ");
    return false;
}

// ---------------------------------------------------------------- load buttons

void clsAsym::LabelLoadButtons(const std::string& load, const std::string& related) {
    p_cmdLoadKey->setCaption(load);
    p_cmdLoadKeyRel->setCaption(related);
}

void clsAsym::loadKeyClicked() {
    // A click the window ignored (an operation was running) changes nothing.
    if (!m_loadClickHandled) return;
    m_loadClickHandled = false;
    if (!m_keyForm->LoadForm() || !m_keyLoad)
        LabelLoadButtons("Load Key", "Load Key Related");
    else if (m_keyForm->CryptoKey() == 1)
        LabelLoadButtons("Load Key Private", "Load Key Public Related");
    else
        LabelLoadButtons("Load Key Public", "Load Key Private Related");
}
