// SPDX-License-Identifier: Apache-2.0
// Progress reports: their order and pacing, abort on any report, and objects
// that outlive the root.

#include <gtest/gtest.h>

#include <chrono>
#include <set>

#include "EngineTestSupport.h"
#include "engine/Engine.h"
#include "engine/core/Progress.h"

namespace {

using namespace enginetest;
using engine::ErrorKind;
using engine::detail::Progress;
using engine::detail::ProgressHub;

class ProgressUnitTest : public ::testing::Test {
protected:
    void SetUp() override {
        hub->setHandler([this](int32_t position, int32_t hashCode, bool& abort) {
            positions.push_back(position);
            codes.insert(hashCode);
            abort = position == abortPosition;
        });
    }
    std::shared_ptr<ProgressHub> hub = std::make_shared<ProgressHub>();
    std::vector<int32_t> positions;
    std::set<int32_t> codes;
    int32_t abortPosition = -1;
};

TEST_F(ProgressUnitTest, StartsAtZeroEndsAbove100AndIsPacedInBetween) {
    // The clock stands still: however busy the machine, the work is quicker than one interval.
    TestPacingClock clock;
    Progress progress(hub, 7, 1000);
    progress.begin();
    for (int i = 0; i < 1000; ++i) progress.advance(1);
    clock.advance(Progress::kMinInterval - std::chrono::nanoseconds(1));
    progress.advance(0);
    progress.finish();
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 101}));
    EXPECT_EQ(codes, (std::set<int32_t>{7}));
}

TEST_F(ProgressUnitTest, PositionsFollowTheWorkAndNeverGoBack) {
    Progress progress(hub, 1, 400);
    progress.begin();
    waitForNextReport();
    progress.advance(100);
    waitForNextReport();
    progress.setPosition(10);  // lower than already reported: stays
    waitForNextReport();
    progress.advance(300);  // all done: a full bar, but only finish() says finished
    progress.finish();
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 25, 25, 100, 101}));
}

TEST_F(ProgressUnitTest, SizesBeyond4GiBGiveTheRightPercent) {
    const uint64_t total = 10ull << 30;
    Progress progress(hub, 1, total);
    progress.begin();
    waitForNextReport();
    progress.advance(total / 2);
    waitForNextReport();
    progress.advance(total / 4);
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 50, 75}));

    const uint64_t huge = UINT64_MAX / 10;
    Progress large(hub, 1, huge);
    positions.clear();
    large.begin();
    waitForNextReport();
    large.advance(huge / 10 * 3);
    EXPECT_EQ(positions, (std::vector<int32_t>{0, 30}));
}

TEST_F(ProgressUnitTest, AnAbortIsHonouredOnEveryReportTheFinalOneIncluded) {
    abortPosition = 0;
    EXPECT_EQ(kindOf([&] { Progress(hub, 1, 10).begin(); }), ErrorKind::Aborted);
    abortPosition = 101;
    Progress progress(hub, 1, 10);
    progress.begin();
    progress.advance(10);
    EXPECT_EQ(kindOf([&] { progress.finish(); }), ErrorKind::Aborted);
}

TEST_F(ProgressUnitTest, WithoutAHubOrHandlerReportsGoNowhere) {
    std::weak_ptr<ProgressHub> gone;
    Progress orphan(gone, 1, 10);
    orphan.begin();
    orphan.finish();
    auto silent = std::make_shared<ProgressHub>();
    Progress quiet(silent, 1, 10);
    quiet.begin();
    quiet.finish();
    EXPECT_TRUE(positions.empty());
}

TEST(ProgressCodes, EveryObjectHasItsOwnCode) {
    const int32_t a = engine::detail::newHashCode();
    const int32_t b = engine::detail::newHashCode();
    EXPECT_NE(a, b);
}

// --- Through the engine -----------------------------------------------------------------

TEST(EngineProgress, EveryOperationReportsZeroFirstAndFinishedLastUnderItsObjectsCode) {
    auto root = engine::CreateEngineRoot(fastOptions());
    Recorder recorder;
    recorder.attach(*root);
    auto hash = root->NewHash(engine::HashAlgorithm::Md5);
    auto encoder = root->NewEncoder(engine::OutputEncoding::Base64);
    auto sym = root->NewSymCipher(engine::SymAlgorithm::Aes, "pw", 128);
    const std::string sealed = sym->EncryptText("abc");
    const std::vector<std::function<void()>> calls = {
        [&] { hash->HashText("abc"); },       [&] { encoder->EncodeText("abc"); },
        [&] { encoder->DecodeText("YWJj"); }, [&] { sym->EncryptText("abc"); },
        [&] { sym->DecryptText(sealed); },
    };
    std::set<int32_t> codes;
    for (const auto& call : calls) {
        recorder.reports.clear();
        call();
        ASSERT_GE(recorder.reports.size(), 2u);
        EXPECT_EQ(recorder.reports.front().position, 0);
        EXPECT_GT(recorder.reports.back().position, 100);
        for (size_t i = 1; i < recorder.reports.size(); ++i) {
            EXPECT_GE(recorder.reports[i].position, recorder.reports[i - 1].position);
            EXPECT_EQ(recorder.reports[i].hashCode, recorder.reports[0].hashCode);
        }
        codes.insert(recorder.reports[0].hashCode);
    }
    EXPECT_EQ(codes.size(), 3u);
}

TEST(EngineProgress, ReportsArePacedByTimeHoweverFastTheWork) {
    auto root = engine::CreateEngineRoot();
    Recorder recorder;
    recorder.attach(*root);
    const std::string data(64 << 20, 'x');
    const auto start = std::chrono::steady_clock::now();
    root->NewHash(engine::HashAlgorithm::Sha1)->HashText(data);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    // One report per interval at most, plus the first and the last.
    EXPECT_LE(recorder.reports.size(), 2 + static_cast<size_t>(elapsed / Progress::kMinInterval));
}

TEST(EngineProgress, ObjectsKeepWorkingAfterTheRootIsReleased) {
    auto root = engine::CreateEngineRoot(fastOptions());
    Recorder recorder;
    recorder.attach(*root);
    auto hash = root->NewHash(engine::HashAlgorithm::Tiger);
    auto encoder = root->NewEncoder(engine::OutputEncoding::Hex);
    auto sym = root->NewSymCipher(engine::SymAlgorithm::Twofish, "", 192);
    root.reset();
    hash->Encoding(engine::OutputEncoding::Hex);
    EXPECT_EQ(hash->HashText(""), "3293ac630c13f0245f92bbb1766e16167a4e58492dde73f3");
    EXPECT_EQ(encoder->EncodeText("\x01\xff"), "01ff");
    EXPECT_EQ(sym->DecryptText(sym->EncryptText("still here")), "still here");
    EXPECT_TRUE(recorder.reports.empty());
}

TEST(EngineProgress, AHandlerMayReplaceItselfWhileReporting) {
    auto root = engine::CreateEngineRoot();
    int calls = 0;
    root->SetOnProcess([&](int32_t, int32_t, bool&) {
        ++calls;
        root->SetOnProcess({});
    });
    root->NewHash(engine::HashAlgorithm::Md5)->HashText("abc");
    EXPECT_EQ(calls, 1);
}

}  // namespace
