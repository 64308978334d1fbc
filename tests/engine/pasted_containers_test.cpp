// SPDX-License-Identifier: Apache-2.0
// Containers pasted as text: Base64 and Hex read with blanks and line breaks
// anywhere in them, the magic included, as texts and as files alike.

#include <gtest/gtest.h>

#include <cctype>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/container/Container.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

// `text` with `separator` after every `group` characters.
std::string grouped(const std::string& text, size_t group, const std::string& separator) {
    std::string out;
    for (size_t i = 0; i < text.size(); i += group) {
        if (i > 0) out += separator;
        out += text.substr(i, group);
    }
    return out;
}

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// The ways people paste a text container: split into groups and lines, a break
// inside the magic, blanks before it and among its first digits.
std::vector<std::pair<std::string, std::string>> pastedForms(const std::string& text, bool hex) {
    std::vector<std::pair<std::string, std::string>> forms = {
        {"lines of 64, CRLF", grouped(text, 64, "\r\n") + "\r\n"},
        {"a break at 3", text.substr(0, 3) + "\n" + text.substr(3)},
        {"a blank after every early digit", " \t\n" + grouped(text.substr(0, 16), 1, " ") + text.substr(16)},
    };
    if (hex) {
        forms.push_back({"groups of four", grouped(text, 4, " ")});
        forms.push_back({"upper-case groups of four, eight a line", grouped(grouped(upper(text), 4, " "), 40, "\n")});
    } else {
        forms.push_back({"lines of 76 and a break at 7", grouped(text.substr(0, 7) + "\n" + text.substr(7), 76, "\n")});
    }
    return forms;
}

class PastedContainers : public ::testing::Test {
protected:
    // Decrypts every pasted form of `cipher`'s text and file outputs for
    // `plain`, in both encodings, as a text and from a file.
    void expectEveryPastedFormDecrypts(engine::EngineCipher& encrypter, engine::EngineCipher& decrypter,
                                       const std::string& plain) {
        for (engine::OutputEncoding encoding : {engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
            encrypter.Encoding(encoding);
            const std::string sealed = encrypter.EncryptText(plain);
            for (const auto& [name, pasted] : pastedForms(sealed, encoding == engine::OutputEncoding::Hex)) {
                SCOPED_TRACE(std::string(encoding == engine::OutputEncoding::Hex ? "Hex, " : "Base64, ") + name);
                EXPECT_EQ(decrypter.DecryptText(pasted), plain);
                writeAll(dir.file("pasted"), pasted);
                decrypter.DecryptFile(dir.file("pasted"), dir.file("plain"));
                EXPECT_EQ(readAll(dir.file("plain")), plain);
            }
        }
    }

    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
};

TEST_F(PastedContainers, PasswordContainersReadWithBlanksAndBreaksAnywhere) {
    auto cipher = root->NewSymCipher(engine::SymAlgorithm::Aes, "pasted", 256);
    expectEveryPastedFormDecrypts(*cipher, *cipher, "Typed, copied, pasted and broken into lines.");
    cipher->Compression(9);
    expectEveryPastedFormDecrypts(*cipher, *cipher, pseudoRandom(70000, 4) + std::string(5000, 'z'));
}

TEST_F(PastedContainers, RsaContainersReadWithBlanksAndBreaksAnywhere) {
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    expectEveryPastedFormDecrypts(*publicKey, *privateKey, "For the holder of the private key.");
}

TEST_F(PastedContainers, TheMagicMustLieWithinTheLookAhead) {
    auto cipher = root->NewSymCipher(engine::SymAlgorithm::Aes, "far", 128);
    cipher->Encoding(engine::OutputEncoding::Hex);
    const std::string sealed = cipher->EncryptText("after many blanks");
    // Its twelve digits in the last 24 bytes of the look-ahead, a blank after each.
    const size_t look = engine::detail::kFormLookAhead;
    const std::string near = std::string(look - 24, '\n') + grouped(sealed.substr(0, 12), 1, " ") + " " +
                             sealed.substr(12);
    EXPECT_EQ(cipher->DecryptText(near), "after many blanks");
    const std::string far = std::string(look - 11, ' ') + sealed;
    EXPECT_EQ(kindOf([&] { cipher->DecryptText(far); }), ErrorKind::NotOurData);
}

}  // namespace
