// SPDX-License-Identifier: Apache-2.0
#include "symmetric/clsSym.h"

#include <charconv>
#include <limits>

#include "ui/Windowing.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

engine::EngineError noCipherObject() {
    return engine::EngineError(engine::ErrorKind::Internal,
                               "The cipher is not ready: its initialisation failed.");
}

// Decimal text of a 16-bit integer, with blanks around it and a sign allowed.
bool parseLevel(const std::string& text, int16_t& level) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return false;
    const char* begin = text.data() + first;
    const char* end = text.data() + text.find_last_not_of(" \t") + 1;
    if (*begin == '+' && end - begin > 1 && begin[1] != '-') ++begin;
    int value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end) return false;
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) return false;
    level = static_cast<int16_t>(value);
    return true;
}

}  // namespace

clsSym::clsSym(ui::Windowing& windowing)
    : mPgBar(&windowing.mainForm().progressBar("pgBar")), m_windowing(windowing) {
    modUtils::bAbort = false;
}

void clsSym::iSymKey(int16_t icboSymKey) {
    static const int32_t bits[] = {128, 192, 256};
    if (icboSymKey >= 0 && icboSymKey <= 2) m_keyBits = bits[icboSymKey];
}

int16_t clsSym::iSymKey() const {
    if (m_keyBits == 192) return 1;
    if (m_keyBits == 256) return 2;
    return 0;
}

void clsSym::iSymAlg(int16_t icboSymAlg) {
    if (icboSymAlg == 0 || icboSymAlg == 1) m_algorithm = static_cast<engine::SymAlgorithm>(icboSymAlg);
}

int16_t clsSym::iSymAlg() const { return m_algorithm == engine::SymAlgorithm::Twofish ? 1 : 0; }

void clsSym::SymPadding(int16_t indexcboSymPad) {
    // "FIPS81", "PCKS5", "ZeroPadding"
    static const engine::BlockPadding paddings[] = {engine::BlockPadding::X923, engine::BlockPadding::Pkcs7,
                                                    engine::BlockPadding::Zeros};
    if (indexcboSymPad >= 0 && indexcboSymPad <= 2) m_padding = paddings[indexcboSymPad];
}

// Both unchecked: the engine refuses a code it does not know.
void clsSym::SymEncod(int16_t iOptTypeSym) { m_encoding = static_cast<engine::OutputEncoding>(iOptTypeSym); }

void clsSym::SymCip(int16_t iOptTypeCip) { m_cipherMode = static_cast<engine::ModeOfOperation>(iOptTypeCip); }

void clsSym::SymSource(int16_t iSource) { m_source = SourceKindOf(iSource); }

void clsSym::SymComp(const std::string& sSymCompLevel) {
    m_compressionText = sSymCompLevel;
    m_compressionValid = parseLevel(sSymCompLevel, m_compression);
}

bool clsSym::InitKey(const std::shared_ptr<engine::EngineRoot>& mcls) {
    ErrorTrap trap;
    trap.step([&] {
        RequireEngine(mcls);
        std::shared_ptr<engine::EngineSymCipher> cipher = mcls->NewSymCipher(m_algorithm, m_password, m_keyBits);
        if (!cipher) throw engine::EngineError(engine::ErrorKind::Internal, "The engine made no cipher object.");
        mSymObj = std::move(cipher);
    });
    return !trap.report(m_windowing, "clsSym -> Function InitKey");
}

void clsSym::ApplyEngineSettings() {
    // A setting the engine refuses is dropped: the operation runs with what the object holds.
    ErrorTrap ignored;
    const bool haveCipher = ignored.step([&] {
        if (!mSymObj) throw noCipherObject();
    });
    ignored.step(haveCipher, [&] { mSymObj->Encoding(m_encoding); });
    ignored.step(haveCipher, [&] { mSymObj->CipherMode(m_cipherMode); });
    ignored.step(haveCipher, [&] { mSymObj->Compression(m_compression); });
    ignored.step(haveCipher, [&] { mSymObj->Padding(m_padding); });
    ignored.step(haveCipher, [&] { mSymObj->IV(m_iv); });
    ignored.clear();
    mPgBar->setValue(0);
    mPgBar->setVisible(true);
}

std::string clsSym::CryptSym(const std::string& sSourceSymEnc) { return Run(Direction::Encrypt, sSourceSymEnc); }

std::string clsSym::DecryptSym(const std::string& sSourceSymDec) { return Run(Direction::Decrypt, sSourceSymDec); }

std::string clsSym::Run(Direction direction, const std::string& source) {
    const bool encrypt = direction == Direction::Encrypt;
    const char* title = encrypt ? "clsSym -> Function CryptSym" : "clsSym -> Function DecryptSym";
    const bool file = m_source == SourceKind::File;
    std::string result;
    ErrorTrap trap;
    // The engine object stays alive for this call even if the wrapper is replaced meanwhile.
    std::shared_ptr<engine::EngineSymCipher> cipher = mSymObj;

    std::string target;
    if (file) {
        // A file name is needed before the bar shows.
        trap.step([&] { modUtils::RequireFileName(source, m_sourceBox); });
        if (trap.report(m_windowing, title)) return result;
        target = modUtils::AddFileSuffix(source, encrypt ? "Enc" : "Dec");
    }

    trap.step([&] { ApplyEngineSettings(); });
    trap.step([&] {
        if (!m_compressionValid)
            throw engine::EngineError(engine::ErrorKind::InvalidInput,
                                      "The compression level \"" + m_compressionText +
                                          "\" is not a whole number from -32768 to 32767.");
        if (!cipher) throw noCipherObject();
        if (!file) {
            result = encrypt ? cipher->EncryptText(source) : cipher->DecryptText(source);
        } else {
            if (encrypt)
                cipher->EncryptFile(source, target);
            else
                cipher->DecryptFile(source, target);
            result = target;
        }
    });
    trap.step([&] { mPgBar->setVisible(false); });
    if (trap.report(m_windowing, title)) result.clear();
    return result;
}
