// SPDX-License-Identifier: Apache-2.0
// The libraries' self-test runs when the first object is asked for; its
// verdict comes before any object is handed out.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/Root.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using ::testing::HasSubstr;

TEST(SelfTest, AFailureRefusesEveryObjectEveryTime) {
    auto root = engine::detail::NewRoot({}, [] {
        throw engine::EngineError(ErrorKind::Internal,
                                  "The cryptography library failed its start-up self-test: MD5 gives a wrong digest.");
    });
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    const std::function<void()> factories[] = {
        [&] { root->NewHash(engine::HashAlgorithm::Md5); },
        [&] { root->NewSymCipher(engine::SymAlgorithm::Aes, "password", 256); },
        [&] { root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey); },
        [&] { root->LoadKey("/nonexistent.pem", engine::KeyKind::PublicKey, engine::EncryptionSchema::Oaep); },
        [&] { root->NewEncoder(engine::OutputEncoding::Base64); },
    };
    for (int round = 0; round < 2; ++round) {
        for (const auto& factory : factories) {
            std::string description;
            EXPECT_EQ(kindOf(factory, &description), ErrorKind::Internal);
            EXPECT_THAT(description, HasSubstr("MD5 gives a wrong digest"));
        }
    }
    EXPECT_FALSE(publicKey);
}

TEST(SelfTest, RunsOnceAtTheFirstObjectFromAnyThread) {
    std::atomic<int> runs{0};
    auto root = engine::detail::NewRoot({}, [&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++runs;
    });
    EXPECT_EQ(runs, 0);
    std::thread other([&] { root->NewEncoder(engine::OutputEncoding::Hex); });
    auto hash = root->NewHash(engine::HashAlgorithm::Md5);
    other.join();
    EXPECT_EQ(runs, 1);
    root->NewHash(engine::HashAlgorithm::Sha1);
    EXPECT_EQ(runs, 1);
    hash->Encoding(engine::OutputEncoding::Hex);
    EXPECT_EQ(hash->HashText("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(SelfTest, TheLibrariesPassIt) {
    EXPECT_NO_THROW(engine::detail::RunSelfTest());
    EXPECT_NO_THROW(engine::CreateEngineRoot()->NewEncoder(engine::OutputEncoding::Base64));
}

}  // namespace
