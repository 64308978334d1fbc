// SPDX-License-Identifier: Apache-2.0
#pragma once
// A scripted engine for the window logic's tests.

#include <gmock/gmock.h>

#include <memory>

#include "engine/Engine.h"

namespace fake {

class MockEngineRoot : public engine::EngineRoot {
public:
    void SetOnProcess(engine::OnProcessHandler h) override { handler = std::move(h); }

    // Raises OnProcess as the engine would; true when the handler asked to abort.
    bool report(int32_t position) {
        bool abort = false;
        if (handler) handler(position, 7, abort);
        return abort;
    }

    MOCK_METHOD(std::shared_ptr<engine::EngineHash>, NewHash, (engine::HashAlgorithm), (override));
    MOCK_METHOD(std::shared_ptr<engine::EngineSymCipher>, NewSymCipher,
                (engine::SymAlgorithm, const engine::Text&, int32_t), (override));
    MOCK_METHOD(std::shared_ptr<engine::EngineAsymKey>, NewKeyPair,
                (engine::KeyKind, int32_t, const engine::Text&, engine::EncryptionSchema,
                 std::shared_ptr<engine::EngineAsymKey>&),
                (override));
    MOCK_METHOD(std::shared_ptr<engine::EngineAsymKey>, LoadKey,
                (const engine::Text&, engine::KeyKind, engine::EncryptionSchema), (override));
    MOCK_METHOD(std::shared_ptr<engine::EngineEncoder>, NewEncoder, (engine::OutputEncoding), (override));

    engine::OnProcessHandler handler;
};

class MockEngineHash : public engine::EngineHash {
public:
    MOCK_METHOD(void, Encoding, (engine::OutputEncoding), (override));
    MOCK_METHOD(engine::Text, HashText, (const engine::Text&), (override));
    MOCK_METHOD(engine::Text, HashFile, (const engine::Text&), (override));
    MOCK_METHOD(engine::Text, HashStream, (int), (override));
};

// The six methods every cipher has, mocked once for both kinds of cipher.
template <class Cipher>
class MockCipherMethods : public Cipher {
public:
    MOCK_METHOD(engine::Text, EncryptText, (const engine::Text&), (override));
    MOCK_METHOD(engine::Text, DecryptText, (const engine::Text&), (override));
    MOCK_METHOD(void, EncryptFile, (const engine::Text&, const engine::Text&), (override));
    MOCK_METHOD(void, DecryptFile, (const engine::Text&, const engine::Text&), (override));
    MOCK_METHOD(void, DecryptFileToStream, (const engine::Text&, int), (override));
    MOCK_METHOD(void, Compression, (int16_t), (override));
    MOCK_METHOD(void, Encoding, (engine::OutputEncoding), (override));
};

class MockEngineAsymKey : public MockCipherMethods<engine::EngineAsymKey> {
public:
    MOCK_METHOD(void, SaveToFile, (const engine::Text&), (override));
    MOCK_METHOD(engine::Text, SignFile, (const engine::Text&), (override));
    MOCK_METHOD(engine::Text, SignText, (const engine::Text&), (override));
    MOCK_METHOD(bool, VerifyFile, (const engine::Text&, const engine::Text&), (override));
    MOCK_METHOD(bool, VerifyText, (const engine::Text&, const engine::Text&), (override));
};

class MockEngineSymCipher : public MockCipherMethods<engine::EngineSymCipher> {
public:
    MOCK_METHOD(void, CipherMode, (engine::ModeOfOperation), (override));
    MOCK_METHOD(void, Padding, (engine::BlockPadding), (override));
    MOCK_METHOD(void, IV, (const engine::Text&), (override));
};

class MockEngineEncoder : public engine::EngineEncoder {
public:
    MOCK_METHOD(engine::Text, EncodeText, (const engine::Text&), (override));
    MOCK_METHOD(void, EncodeFile, (const engine::Text&, const engine::Text&), (override));
    MOCK_METHOD(engine::Text, DecodeText, (const engine::Text&), (override));
    MOCK_METHOD(void, DecodeFile, (const engine::Text&, const engine::Text&), (override));
    MOCK_METHOD(void, EncodeStream, (int, int), (override));
    MOCK_METHOD(void, DecodeStream, (int, int), (override));
};

// The number behind an engine code: the window's settings are numbers, and
// so are the tests' expectations of them.
template <typename Code>
int32_t codeOf(Code code) {
    return static_cast<int32_t>(code);
}

// Matches an engine code by its number.
MATCHER_P(Code, number, "is the code " + ::testing::PrintToString(number)) { return codeOf(arg) == number; }

inline engine::EngineError engineFailure(const std::string& what,
                                         engine::ErrorKind kind = engine::ErrorKind::Internal) {
    return engine::EngineError(kind, what);
}

}  // namespace fake
