// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Encode/Decode" tab's wrapper around one engine encoder object.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "util/SourceKind.h"

namespace ui {
class ProgressBar;
class Windowing;
}  // namespace ui

class clsEnc {
public:
    explicit clsEnc(ui::Windowing& windowing);
    clsEnc(const clsEnc&) = delete;
    clsEnc& operator=(const clsEnc&) = delete;

    // Encoding code: 0 Binary, 1 Base64, 2 Hex. Stored unchanged; read back as
    // 0 for anything else.
    void iEncodingType(int32_t encCryptoHash);
    int32_t iEncodingType() const;
    // Source kind: 0 Text, anything else File.
    void iSourceType(int16_t indexType);
    // Names the box the next operation reads, for the message when it holds
    // no file name; empty leaves that message to the engine.
    void SourceBox(const std::string& box) { m_sourceBox = box; }

    bool InitEncode(const std::shared_ptr<engine::EngineRoot>& mcls);
    // The encoded or decoded text, or for a file the path written; empty after
    // a reported failure.
    std::string Encode(const std::string& sEDSource);
    std::string Decode(const std::string& sEDSource);

private:
    std::string Run(const std::string& sEDSource, bool encode);

    ui::Windowing& m_windowing;
    // Declared before the engine object, so that it goes last.
    ui::ProgressBar* mPgBar;
    std::shared_ptr<engine::EngineEncoder> mEncObj;
    // Why InitEncode got no object: each later run says it again.
    std::string m_initFailure;
    engine::OutputEncoding m_encoding = engine::OutputEncoding::Binary;
    SourceKind m_source = SourceKind::Text;
    std::string m_sourceBox;
};
