#pragma once
// The "Symetric Encrypt/Decrypt" tab's wrapper around one engine symmetric
// cipher object. Algorithm, key length and password define the engine object;
// the other settings are written into it before every operation.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"

namespace ui {
class ProgressBar;
class Windowing;
}  // namespace ui

class clsSym {
public:
    explicit clsSym(ui::Windowing& windowing);
    clsSym(const clsSym&) = delete;
    clsSym& operator=(const clsSym&) = delete;

    // Key length list position: 0, 1, 2 for 128, 192, 256 bits; other positions are ignored.
    void iSymKey(int16_t icboSymKey);
    int16_t iSymKey() const;
    // Algorithm: 0 "AES", 1 "TwoFish"; other positions are ignored.
    void iSymAlg(int16_t icboSymAlg);
    int16_t iSymAlg() const;
    void SymPas(const std::string& strSymPas) { m_password = strSymPas; }
    const std::string& SymPas() const { return m_password; }
    // Padding list position: 0 "FIPS81", 1 "PCKS5", 2 "ZeroPadding" give the codes 2, 1, 0.
    void SymPadding(int16_t indexcboSymPad);
    void SymEncod(int16_t iOptTypeSym) { m_encoding = iOptTypeSym; }
    void SymCip(int16_t iOptTypeCip) { m_cipherMode = iOptTypeCip; }
    // Decimal text of a 16-bit integer. Any other text makes the next
    // operation fail with a message instead of running.
    void SymComp(const std::string& sSymCompLevel);
    void SymIV(const std::string& sSymIV) { m_iv = sSymIV; }
    // Source kind: 0 Text, anything else File.
    void SymSource(int16_t iSource) { m_source = iSource; }
    // Names the box the next operation reads, for the message when it holds
    // no file name; empty leaves that message to the engine.
    void SourceBox(const std::string& box) { m_sourceBox = box; }

    bool InitKey(const std::shared_ptr<engine::EngineRoot>& mcls);
    std::string CryptSym(const std::string& sSourceSymEnc);
    std::string DecryptSym(const std::string& sSourceSymDec);

    // Declared before the engine object, so that it goes last.
    ui::ProgressBar* mPgBar;

private:
    enum class Direction { Encrypt, Decrypt };
    std::string Run(Direction direction, const std::string& source);
    void ApplyEngineSettings();

    ui::Windowing& m_windowing;
    std::shared_ptr<engine::EngineSymCipher> mSymObj;
    int32_t m_keyBits = 0;
    std::string m_password;
    int32_t m_algorithm = 0;
    int32_t m_padding = 0;
    int32_t m_encoding = 0;
    int32_t m_cipherMode = 0;
    int16_t m_compression = 0;
    bool m_compressionValid = true;
    std::string m_compressionText;
    std::string m_iv;
    int16_t m_source = 0;
    std::string m_sourceBox;
};
