// SPDX-License-Identifier: Apache-2.0
#include "engine/container/SymCipher.h"

#include "engine/container/Container.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/core/Secret.h"

namespace engine::detail {

namespace {

class SymCipherObject final : public EngineSymCipher {
public:
    SymCipherObject(const EngineContext& context, CipherAlgorithm algorithm, const Text& password,
                    uint32_t keyBits)
        : m_context(context), m_hashCode(newHashCode()), m_password(password) {
        m_settings.cipher.algorithm = algorithm;
        m_settings.cipher.keyBits = keyBits;
    }

    ~SymCipherObject() override { scrubMemory(&m_password[0], m_password.size()); }

    Text EncryptText(const Text& text) override {
        PasswordKeySealer key(m_password, kdfForNewData(m_context.options));
        return sealText(m_context, m_hashCode, text, m_settings, key);
    }

    Text DecryptText(const Text& text) override {
        PasswordKeyOpener key(m_password);
        return openText(m_context, m_hashCode, text, key, rules());
    }

    void EncryptFile(const Text& sourcePath, const Text& targetPath) override {
        PasswordKeySealer key(m_password, kdfForNewData(m_context.options));
        sealFile(m_context, m_hashCode, sourcePath, targetPath, m_settings, key);
    }

    void DecryptFile(const Text& sourcePath, const Text& targetPath) override {
        PasswordKeyOpener key(m_password);
        openFile(m_context, m_hashCode, sourcePath, targetPath, key, rules());
    }

    void DecryptFileToStream(const Text& sourcePath, int fd) override {
        PasswordKeyOpener key(m_password);
        openFileToStream(m_context, m_hashCode, sourcePath, fd, key, rules());
    }

    void Compression(int16_t level) override {
        if (level < -1 || level > 9)
            throw EngineError(ErrorKind::InvalidInput,
                              "Compression level " + std::to_string(level) + " is out of range (-1 to 9).");
        m_settings.compression = level;
    }

    void Encoding(OutputEncoding encoding) override { m_settings.output = checkedEncoding(encoding); }

    void CipherMode(ModeOfOperation mode) override {
        const auto code = static_cast<int32_t>(mode);
        if (code != 0 && code != 1)
            throw EngineError(ErrorKind::InvalidInput,
                              "Unknown cipher mode code " + std::to_string(code) + " (0 ECB, 1 CBC).");
        m_settings.cipher.mode = static_cast<BlockMode>(code);
    }

    void Padding(BlockPadding padding) override {
        const auto code = static_cast<int32_t>(padding);
        if (code < 0 || code > 2)
            throw EngineError(ErrorKind::InvalidInput, "Unknown padding code " + std::to_string(code) +
                                                           " (0 zero bytes, 1 PKCS#7, 2 X9.23).");
        m_settings.cipher.padding = static_cast<PaddingScheme>(code);
    }

    // Any text is accepted: it only seeds the IV rule.
    void IV(const Text& iv) override { m_settings.ivText = iv; }

private:
    OpenRules rules() const {
        OpenRules rules;
        rules.algorithm = m_settings.cipher.algorithm;
        rules.keyBits = m_settings.cipher.keyBits;
        return rules;
    }

    EngineContext m_context;
    int32_t m_hashCode;
    std::string m_password;
    SealSettings m_settings;
};

}  // namespace

std::shared_ptr<EngineSymCipher> NewSymCipherObject(const EngineContext& context, SymAlgorithm algorithm,
                                                    const Text& password, int32_t keyBits) {
    const auto code = static_cast<int32_t>(algorithm);
    if (code != 0 && code != 1)
        throw EngineError(ErrorKind::InvalidInput, "Unknown symmetric algorithm code " +
                                                       std::to_string(code) + " (0 AES, 1 Twofish).");
    if (keyBits != 128 && keyBits != 192 && keyBits != 256)
        throw EngineError(ErrorKind::InvalidInput, "Key length " + std::to_string(keyBits) +
                                                       " bits is not supported (128, 192 or 256).");
    return std::make_shared<SymCipherObject>(context, static_cast<CipherAlgorithm>(code), password,
                                             static_cast<uint32_t>(keyBits));
}

}  // namespace engine::detail
