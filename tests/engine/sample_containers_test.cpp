// SPDX-License-Identifier: Apache-2.0
// Containers written by an earlier build (tests/data/containers) still
// decrypt, as texts and as files, to the plain texts kept beside them.

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "EngineTestSupport.h"
#include "engine/Engine.h"

namespace {

using namespace enginetest;

const std::string kDir = std::string(QUORVAL_TEST_DATA) + "/containers";

struct Sample {
    std::string name, kind, key, algorithm, bits, mode, padding, compression, encoding, ivText, plain;
};

std::vector<Sample> samples() {
    std::vector<Sample> out;
    std::ifstream manifest(kDir + "/manifest.tsv");
    std::string line;
    while (std::getline(manifest, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> fields;
        std::istringstream split(line);
        for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
        fields.resize(11);
        out.push_back({fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7],
                       fields[8], fields[9], fields[10]});
    }
    return out;
}

std::shared_ptr<engine::EngineCipher> opener(engine::EngineRoot& root, const Sample& s) {
    if (s.key.rfind("rsa:", 0) == 0)
        return root.LoadKey(kDir + "/" + s.key.substr(4), engine::KeyKind::PrivateKey,
                            engine::EncryptionSchema::Oaep);
    const std::string password = s.key.substr(std::string("password:").size());
    return root.NewSymCipher(s.algorithm == "AES" ? engine::SymAlgorithm::Aes : engine::SymAlgorithm::Twofish,
                             password, std::stoi(s.bits));
}

TEST(SampleContainers, EveryOneStillDecryptsAsTextAndAsFile) {
    const auto all = samples();
    ASSERT_GE(all.size(), 28u);
    auto root = engine::CreateEngineRoot();
    ScratchDir dir;
    for (const auto& s : all) {
        const std::string plain = readAll(kDir + "/plain/" + s.plain);
        auto cipher = opener(*root, s);
        EXPECT_EQ(cipher->DecryptText(readAll(kDir + "/" + s.name)), plain) << s.name;
        cipher->DecryptFile(kDir + "/" + s.name, dir.file("opened"));
        EXPECT_EQ(readAll(dir.file("opened")), plain) << s.name;
    }
}

// The manifest is what the samples are: their headers say so, and together
// they cover every value of every setting.
TEST(SampleContainers, CoverEverySetting) {
    auto root = engine::CreateEngineRoot();
    std::set<std::string> seen;
    for (const auto& s : samples()) {
        std::string bytes = readAll(kDir + "/" + s.name);
        if (s.encoding != "binary")
            bytes = root->NewEncoder(s.encoding == "base64" ? engine::OutputEncoding::Base64
                                                            : engine::OutputEncoding::Hex)
                        ->DecodeText(bytes);
        ASSERT_GT(bytes.size(), 15u) << s.name;
        EXPECT_EQ(bytes[8], s.algorithm == "AES" ? 0 : 1) << s.name;
        EXPECT_EQ(bytes[9] * 8, std::stoi(s.bits)) << s.name;
        EXPECT_EQ(bytes[10], s.mode == "CBC" ? 1 : 0) << s.name;
        EXPECT_EQ(bytes[11], s.padding == "zero" ? 0 : s.padding == "PKCS7" ? 1 : 2) << s.name;
        EXPECT_EQ(static_cast<int8_t>(bytes[13]), std::stoi(s.compression)) << s.name;
        for (const std::string& value :
             {s.kind, s.key.substr(0, s.key.find(':')), s.algorithm + s.bits, s.mode, s.padding,
              std::string(s.compression == "0" ? "stored" : "compressed"), s.encoding,
              std::string(s.ivText.empty() ? "" : "iv text")})
            seen.insert(value);
    }
    for (const char* value :
         {"text", "file", "password", "rsa", "AES128", "AES256", "Twofish128", "Twofish256", "ECB", "CBC",
          "zero", "PKCS7", "X9.23", "stored", "compressed", "binary", "base64", "hex", "iv text"})
        EXPECT_EQ(seen.count(value), 1u) << value;
}

}  // namespace
