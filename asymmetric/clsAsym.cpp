// SPDX-License-Identifier: Apache-2.0
#include "asymmetric/clsAsym.h"

#include <charconv>
#include <limits>

#include "asymmetric/frmKey.h"
#include "ui/Windowing.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

void requireKey(const std::shared_ptr<engine::EngineAsymKey>& key, const char* missing) {
    if (!key) throw engine::EngineError(engine::ErrorKind::MissingKey, missing);
}

const char* const kNoPublicKeyToEncrypt =
    "There is no public key to encrypt with: generate keys or load a public key.";
const char* const kNoPrivateKeyToDecrypt =
    "There is no private key to decrypt with: generate keys or load a private key.";
const char* const kNoPrivateKeyToSign =
    "There is no private key to sign with: generate keys or load a private key.";

// The related key must be the other half of the key loaded before: a pair
// whose halves do not belong together fails every signature and decryption.
// The private half signs a probe, which only its own public half verifies.
void requireSamePair(engine::EngineAsymKey& privateKey, engine::EngineAsymKey& publicKey,
                     const std::string& path, bool loadedPrivate) {
    static const char probe[] = "Quorval key pair check";
    if (publicKey.VerifyText(probe, privateKey.SignText(probe))) return;
    throw engine::EngineError(engine::ErrorKind::KeyFile,
                              "The file " + engine::QuotedName(path) + " holds a " +
                                  (loadedPrivate ? "private" : "public") +
                                  " key of another pair: it does not belong to the " +
                                  (loadedPrivate ? "public" : "private") + " key loaded before.");
}

}  // namespace

clsAsym::clsAsym(ui::Windowing& windowing, std::shared_ptr<frmKey> keyForm)
    : m_windowing(windowing),
      m_keyForm(std::move(keyForm)),
      mPgBar(&windowing.mainForm().progressBar("pgBar")),
      p_cmdLoadKey(&windowing.mainForm().button("cmdAsymLoad")),
      p_cmdLoadKeyRel(&windowing.mainForm().button("cmdAsymLoadRelat")),
      m_loadKeyObserver(p_cmdLoadKey->click.connect([this] { loadKeyClicked(); })) {
    modUtils::bAbort = false;
}

clsAsym::~clsAsym() {
    // The keys go before the wrapper stops watching "Load key".
    mPrivateKey.reset();
    mPublicKey.reset();
    m_loadKeyObserver.disconnect();
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
    if (icboAsymSchema == 0) m_schema = engine::EncryptionSchema::Oaep;
    if (icboAsymSchema == 1) m_schema = engine::EncryptionSchema::Pkcs1;
}

int16_t clsAsym::iAsymSchema() const { return m_schema == engine::EncryptionSchema::Pkcs1 ? 1 : 0; }

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
    trap.step([&] { m_keyLoad = false; });
    trap.step([&] { mPublicKey.reset(); });
    trap.step([&] {
        RequireEngine(mcls);
        // A failed call stores neither key.
        std::shared_ptr<engine::EngineAsymKey> publicKey;
        std::shared_ptr<engine::EngineAsymKey> privateKey =
            mcls->NewKeyPair(engine::KeyKind::KeyPair, m_keyLength, m_seed, m_schema, publicKey);
        mPublicKey = std::move(publicKey);
        mPrivateKey = std::move(privateKey);
    });
    return !trap.report(m_windowing, "clsAsym ->Function InitKey ");
}

// ---------------------------------------------------------------- operations

void clsAsym::prepareKey(engine::EngineAsymKey& key) {
    key.Compression(m_compression);
    key.Encoding(m_encoding);
    mPgBar->setValue(0);
    mPgBar->setVisible(true);
}

std::string clsAsym::cipherOperation(bool encrypt, const std::string& source) {
    std::string result;
    ErrorTrap trap;
    // The key stays alive for this call even if the wrapper's keys are replaced meanwhile.
    const std::shared_ptr<engine::EngineAsymKey> key = encrypt ? mPublicKey : mPrivateKey;
    const bool haveKey =
        trap.step([&] { requireKey(key, encrypt ? kNoPublicKeyToEncrypt : kNoPrivateKeyToDecrypt); });
    trap.step(haveKey, [&] { prepareKey(*key); });
    trap.step(haveKey, [&] {
        if (m_source == SourceKind::File) {
            auto write = [&](const std::string& from, const std::string& to) {
                encrypt ? key->EncryptFile(from, to) : key->DecryptFile(from, to);
            };
            result = modUtils::WriteBeside(source, m_sourceBox, encrypt ? "Enc" : "Dec", write);
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
    const bool haveKey = trap.step([&] { requireKey(key, kNoPrivateKeyToSign); });
    trap.step(haveKey, [&] { prepareKey(*key); });
    trap.step(haveKey, [&] {
        if (m_source == SourceKind::File) {
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
            if (m_source == SourceKind::File) {
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
        m_keyForm->Load_Form(CryptoKey(), "Save Key ", m_keyLoad);
        confirmed = m_keyForm->LoadForm();
    });
    if (!confirmed && !trap.failed()) return;
    if (confirmed) {
        trap.step([&] { m_cryptoKey = m_keyForm->keyFileKind(); });
        // The save dialog itself asks before an existing file is replaced.
        trap.step([&] { path = modUtils::ShowFileDialog(m_windowing, "Save to file "); });
        if (!path.empty()) {
            trap.step([&] {
                const bool isPrivate = m_cryptoKey == KeyFileKind::Private;
                const std::shared_ptr<engine::EngineAsymKey> key = isPrivate ? mPrivateKey : mPublicKey;
                requireKey(
                    key, isPrivate ? "There is no private key to save." : "There is no public key to save.");
                key->SaveToFile(path);
            });
        }
    }
    trap.report(m_windowing, "clsAsym ->Function KeySaveToFile ");
}

bool clsAsym::KeyLoadFromFile(const std::shared_ptr<engine::EngineRoot>& mcls, bool bLocked) {
    ErrorTrap trap;
    bool confirmed = false;
    trap.step([&] {
        m_keyForm->Load_Form(CryptoKey(), "Load Key ", bLocked);
        confirmed = m_keyForm->LoadForm();
    });
    if (!confirmed) {
        trap.report(m_windowing, "clsAsym ->Function KeyLoadFromFile ");
        return false;
    }
    m_cryptoKey = m_keyForm->keyFileKind();
    const std::string path = modUtils::ShowFileDialog(m_windowing, "Load to file ");
    if (path.empty()) {
        m_keyLoad = false;
        return false;
    }
    m_keyLoad = true;
    auto load = [&](engine::KeyKind kind) {
        RequireEngine(mcls);
        std::shared_ptr<engine::EngineAsymKey> key = mcls->LoadKey(path, kind, m_schema);
        if (!key)
            throw engine::EngineError(engine::ErrorKind::KeyFile,
                                      "No key was read from " + engine::QuotedName(path) + ".");
        return key;
    };
    if (m_cryptoKey == KeyFileKind::Private) {
        trap.step([&] {
            if (!m_keyLoadPublic) mPublicKey.reset();
        });
        trap.step([&] { m_keyLoadPrivate = true; });
        trap.step([&] {
            std::shared_ptr<engine::EngineAsymKey> key = load(engine::KeyKind::PrivateKey);
            if (bLocked && mPublicKey) requireSamePair(*key, *mPublicKey, path, true);
            mPrivateKey = std::move(key);
            m_privateFromFile = true;
        });
    } else {
        trap.step([&] {
            if (!m_keyLoadPrivate) mPrivateKey.reset();
        });
        trap.step([&] { m_keyLoadPublic = true; });
        trap.step([&] {
            std::shared_ptr<engine::EngineAsymKey> key = load(engine::KeyKind::PublicKey);
            if (bLocked && mPrivateKey) requireSamePair(*mPrivateKey, *key, path, false);
            mPublicKey = std::move(key);
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
    else if (m_keyForm->keyFileKind() == KeyFileKind::Private)
        LabelLoadButtons("Load Key Private", "Load Key Public Related");
    else
        LabelLoadButtons("Load Key Public", "Load Key Private Related");
}
