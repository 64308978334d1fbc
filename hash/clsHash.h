// SPDX-License-Identifier: Apache-2.0
#pragma once
// The "Hash" tab's wrapper around one engine hash object.

#include <cstdint>
#include <memory>
#include <string>

#include "engine/Engine.h"
#include "util/SourceKind.h"

namespace ui {
class ProgressBar;
class Windowing;
}  // namespace ui

class clsHash {
public:
    explicit clsHash(ui::Windowing& windowing);
    clsHash(const clsHash&) = delete;
    clsHash& operator=(const clsHash&) = delete;

    // Algorithm code: 0 "MD5", 1 "SHA", 2 "Tiger"; other values are ignored.
    void iHashCrypto(int16_t iCboCryptoHash);
    int16_t iHashCrypto() const;
    // Source kind: 0 Text, anything else File.
    void iSourceType(int16_t indexType);
    // Output encoding code, handed to the engine unchanged.
    void iEncodingType(int32_t encCryptoHash);
    // Names the box the next operation reads, for the message when it holds
    // no file name; empty leaves that message to the engine.
    void SourceBox(const std::string& box) { m_sourceBox = box; }

    bool InitKey(const std::shared_ptr<engine::EngineRoot>& mcls);
    std::string HashBinary(const std::string& sHashSource);

private:
    ui::Windowing& m_windowing;
    // Declared before the engine object, so that it goes last.
    ui::ProgressBar* mPgBar;
    std::shared_ptr<engine::EngineHash> mHashObj;
    // Why InitKey got no object: each later run says it again.
    std::string m_initFailure;
    engine::HashAlgorithm m_algorithm = engine::HashAlgorithm::Md5;
    engine::OutputEncoding m_encoding = engine::OutputEncoding::Binary;
    SourceKind m_source = SourceKind::Text;
    std::string m_sourceBox;
};
