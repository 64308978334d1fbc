// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Symetric Encrypt/Decrypt" tab's wrapper around one engine symmetric
// cipher object. Algorithm, key length and password define the engine object;
// the other settings are written into it before every operation.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "util/SourceKind.h"

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
    // Output encoding 0 Binary, 1 Base64, 2 Hex; cipher mode 0 "ECB", 1 "CBC".
    void SymEncod(int16_t iOptTypeSym);
    void SymCip(int16_t iOptTypeCip);
    // Decimal text of a 16-bit integer. Any other text makes the next
    // operation fail with a message instead of running.
    void SymComp(const std::string& sSymCompLevel);
    void SymIV(const std::string& sSymIV) { m_iv = sSymIV; }
    // Source kind: 0 Text, anything else File.
    void SymSource(int16_t iSource);
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
    engine::SymAlgorithm m_algorithm = engine::SymAlgorithm::Aes;
    engine::BlockPadding m_padding = engine::BlockPadding::Zeros;
    engine::OutputEncoding m_encoding = engine::OutputEncoding::Binary;
    engine::ModeOfOperation m_cipherMode = engine::ModeOfOperation::Ecb;
    int16_t m_compression = 0;
    bool m_compressionValid = true;
    std::string m_compressionText;
    std::string m_iv;
    SourceKind m_source = SourceKind::Text;
    std::string m_sourceBox;
};
