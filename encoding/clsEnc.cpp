// SPDX-License-Identifier: Apache-2.0
#include "encoding/clsEnc.h"

#include "ui/Windowing.h"
#include "util/ErrorTrap.h"
#include "util/modUtils.h"

namespace {

// The reason the engine gave, such as a failed self-test of the libraries.
engine::EngineError noEncoderObject(const std::string& initFailure) {
    return engine::EngineError(
        engine::ErrorKind::Internal,
        initFailure.empty() ? "The encoder is not ready: its initialisation failed." : initFailure);
}

}  // namespace

clsEnc::clsEnc(ui::Windowing& windowing)
    : m_windowing(windowing), mPgBar(&windowing.mainForm().progressBar("pgBar")) {
    modUtils::bAbort = false;
}

// Unchecked: the engine refuses a code it does not know.
void clsEnc::iEncodingType(int32_t encCryptoHash) {
    m_encoding = static_cast<engine::OutputEncoding>(encCryptoHash);
}

int32_t clsEnc::iEncodingType() const {
    switch (m_encoding) {
        case engine::OutputEncoding::Binary:
        case engine::OutputEncoding::Base64:
        case engine::OutputEncoding::Hex:
            return static_cast<int32_t>(m_encoding);
    }
    return 0;
}

void clsEnc::iSourceType(int16_t indexType) { m_source = SourceKindOf(indexType); }

bool clsEnc::InitEncode(const std::shared_ptr<engine::EngineRoot>& mcls) {
    ErrorTrap trap;
    trap.step([&] {
        RequireEngine(mcls);
        mEncObj = mcls->NewEncoder(m_encoding);
    });
    m_initFailure = trap.description();
    return !trap.report(m_windowing, "clsEnc ->Function InitEncode ");
}

std::string clsEnc::Encode(const std::string& sEDSource) { return Run(sEDSource, true); }

std::string clsEnc::Decode(const std::string& sEDSource) { return Run(sEDSource, false); }

std::string clsEnc::Run(const std::string& sEDSource, bool encode) {
    std::string result;
    ErrorTrap trap;
    // The engine object stays alive for this call even if the wrapper is replaced meanwhile.
    std::shared_ptr<engine::EngineEncoder> encoder = mEncObj;
    trap.step([&] {
        mPgBar->setValue(0);
        mPgBar->setVisible(true);
    });
    trap.step([&] {
        if (!encoder) throw noEncoderObject(m_initFailure);
        if (m_source == SourceKind::Text) {
            result = encode ? encoder->EncodeText(sEDSource) : encoder->DecodeText(sEDSource);
        } else {
            auto write = [&](const std::string& from, const std::string& to) {
                encode ? encoder->EncodeFile(from, to) : encoder->DecodeFile(from, to);
            };
            result = modUtils::WriteBeside(sEDSource, m_sourceBox, encode ? "Enc" : "Dec", write);
        }
    });
    trap.step([&] { mPgBar->setVisible(false); });
    if (trap.report(m_windowing, encode ? "clsEnc ->Function Encode " : "clsEnc ->Function Decode "))
        result.clear();
    return result;
}
