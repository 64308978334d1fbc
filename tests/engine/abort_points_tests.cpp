// SPDX-License-Identifier: Apache-2.0
// The operations the window cannot stop with "Abort transaction" (verifying,
// generating and saving keys), stopped by the progress handler at the first
// report, at one in the middle and at the last: each fails with the same
// words, returns nothing and leaves every file as it was.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "EngineTestSupport.h"
#include "engine/Engine.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;

enum class Point { Start, Middle, Last };

class AbortPoints : public ::testing::Test {
protected:
    // Runs `call` with an abort asked for at the point; returns the positions
    // reported. The call must fail as aborted.
    std::vector<int32_t> stopAt(Point point, const std::function<void()>& call) {
        std::vector<int32_t> positions;
        root->SetOnProcess([&](int32_t position, int32_t, bool& abort) {
            positions.push_back(position);
            abort = point == Point::Start    ? position == 0
                    : point == Point::Middle ? position > 0 && position <= 100
                                             : position > 100;
        });
        std::string description;
        EXPECT_EQ(kindOf(call, &description), ErrorKind::Aborted);
        EXPECT_EQ(description, "The operation was aborted.");
        root->SetOnProcess(nullptr);
        if (positions.empty()) {
            ADD_FAILURE() << "no report";
            return positions;
        }
        const int32_t last = positions.back();
        switch (point) {
            case Point::Start: EXPECT_EQ(positions, std::vector<int32_t>{0}); break;
            case Point::Middle: EXPECT_TRUE(last > 0 && last <= 100) << last; break;
            case Point::Last: EXPECT_GT(last, 100); break;
        }
        return positions;
    }

    // Every chance to report is taken: a run reports after each piece of its work.
    const TestPacingClock clock{engine::detail::Progress::kMinInterval};
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot(fastOptions());
    ScratchDir dir;
};

TEST_F(AbortPoints, VerifyingATextOrAFileReturnsNoAnswer) {
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    const auto privateKey =
        root->NewKeyPair(engine::KeyKind::KeyPair, 1024, "", engine::EncryptionSchema::Oaep, publicKey);
    const std::string data = pseudoRandom(1536 << 10, 2);
    writeAll(dir.file("data"), data);
    const std::string signature = privateKey->SignText(data);
    for (Point point : {Point::Start, Point::Middle, Point::Last}) {
        bool answer = true;
        stopAt(point, [&] { answer = publicKey->VerifyText(data, signature); });
        stopAt(point, [&] { answer = publicKey->VerifyFile(dir.file("data"), signature); });
        EXPECT_TRUE(answer) << "no answer was given";
        EXPECT_EQ(readAll(dir.file("data")), data);
        EXPECT_EQ(dir.names(), std::vector<std::string>{"data"});
    }
    EXPECT_TRUE(publicKey->VerifyFile(dir.file("data"), signature));
}

TEST_F(AbortPoints, GeneratingKeysGivesNoKey) {
    for (int32_t bits : {512, 2048}) {
        for (Point point : {Point::Start, Point::Middle, Point::Last}) {
            std::shared_ptr<engine::EngineAsymKey> publicKey, privateKey;
            stopAt(point, [&] {
                privateKey =
                    root->NewKeyPair(engine::KeyKind::KeyPair, bits, "", engine::EncryptionSchema::Oaep, publicKey);
            });
            EXPECT_FALSE(privateKey) << bits;
            EXPECT_FALSE(publicKey) << bits;
        }
    }
}

TEST_F(AbortPoints, SavingAKeyLeavesTheOlderFile) {
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    const auto privateKey =
        root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    writeAll(dir.file("key.pem"), "an older key");
    // A key is written at once: a save reports only its start and its end.
    for (Point point : {Point::Start, Point::Last}) {
        for (const auto& key : {privateKey, publicKey}) {
            const std::vector<int32_t> positions = stopAt(point, [&] { key->SaveToFile(dir.file("key.pem")); });
            EXPECT_EQ(positions.size(), point == Point::Start ? 1u : 2u);
            EXPECT_EQ(readAll(dir.file("key.pem")), "an older key");
            EXPECT_EQ(dir.names(), std::vector<std::string>{"key.pem"});
        }
    }
}

}  // namespace
