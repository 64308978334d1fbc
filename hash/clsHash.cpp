// SPDX-License-Identifier: Apache-2.0
#include "hash/clsHash.h"

#include "ui/Windowing.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

// The reason the engine gave, such as a failed self-test of the libraries.
engine::EngineError noHashObject(const std::string& initFailure) {
    return engine::EngineError(
        engine::ErrorKind::Internal,
        initFailure.empty() ? "The hash algorithm is not ready: its initialisation failed." : initFailure);
}

}  // namespace

clsHash::clsHash(ui::Windowing& windowing)
    : m_windowing(windowing), mPgBar(&windowing.mainForm().progressBar("pgBar")) {
    modUtils::bAbort = false;
}

void clsHash::iHashCrypto(int16_t iCboCryptoHash) {
    if (iCboCryptoHash >= 0 && iCboCryptoHash <= 2)
        m_algorithm = static_cast<engine::HashAlgorithm>(iCboCryptoHash);
}

int16_t clsHash::iHashCrypto() const { return static_cast<int16_t>(m_algorithm); }

void clsHash::iSourceType(int16_t indexType) { m_source = SourceKindOf(indexType); }

// Unchecked: the engine refuses a code it does not know.
void clsHash::iEncodingType(int32_t encCryptoHash) {
    m_encoding = static_cast<engine::OutputEncoding>(encCryptoHash);
}

bool clsHash::InitKey(const std::shared_ptr<engine::EngineRoot>& mcls) {
    ErrorTrap trap;
    trap.step([&] {
        RequireEngine(mcls);
        mHashObj = mcls->NewHash(m_algorithm);
    });
    m_initFailure = trap.description();
    return !trap.report(m_windowing, "clsHash ->Function InitKey ");
}

std::string clsHash::HashBinary(const std::string& sHashSource) {
    std::string result;
    ErrorTrap trap;
    // The engine object stays alive for this call even if the wrapper is replaced meanwhile.
    std::shared_ptr<engine::EngineHash> hash = mHashObj;
    const bool haveHash = trap.step([&] {
        if (!hash) throw noHashObject(m_initFailure);
    });
    trap.step(haveHash, [&] { hash->Encoding(m_encoding); });
    trap.step([&] {
        mPgBar->setValue(0);
        mPgBar->setVisible(true);
    });
    trap.step(haveHash, [&] {
        if (m_source == SourceKind::Text) {
            result = hash->HashText(sHashSource);
        } else {
            modUtils::RequireFileName(sHashSource, m_sourceBox);
            result = hash->HashFile(sHashSource);
        }
    });
    trap.step([&] { mPgBar->setVisible(false); });
    if (trap.report(m_windowing, "clsHash ->Function HashBinary ")) result.clear();
    return result;
}
