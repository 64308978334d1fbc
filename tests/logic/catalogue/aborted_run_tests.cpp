// SPDX-License-Identifier: Apache-2.0
// "Abort transaction" pressed at the first report of a run, at one in the
// middle and at the last (all work done, the output complete but not yet in
// place), for every operation the button can stop, on a text and on a file:
// one box saying so, the source as it was, no result, an older output intact.

#include <cctype>

#include "tests/logic/catalogue/CatalogueSupport.h"

using namespace catalogue;
using enginetest::readAll;

namespace {

// The engine's root, passed through, noting the position of each report
// before the window's handler sees it.
class WatchedRoot : public engine::EngineRoot {
public:
    WatchedRoot(std::shared_ptr<engine::EngineRoot> inner, std::shared_ptr<int32_t> position)
        : m_inner(std::move(inner)), m_position(std::move(position)) {}

    void SetOnProcess(engine::OnProcessHandler handler) override {
        if (!handler) return m_inner->SetOnProcess(nullptr);
        m_inner->SetOnProcess([position = m_position, handler](int32_t at, int32_t code, bool& abort) {
            *position = at;
            handler(at, code, abort);
        });
    }
    std::shared_ptr<engine::EngineHash> NewHash(engine::HashAlgorithm algorithm) override {
        return m_inner->NewHash(algorithm);
    }
    std::shared_ptr<engine::EngineSymCipher> NewSymCipher(engine::SymAlgorithm algorithm, const engine::Text& password,
                                                          int32_t keyBits) override {
        return m_inner->NewSymCipher(algorithm, password, keyBits);
    }
    std::shared_ptr<engine::EngineAsymKey> NewKeyPair(engine::KeyKind kind, int32_t keyBits, const engine::Text& seed,
                                                      engine::EncryptionSchema schema,
                                                      std::shared_ptr<engine::EngineAsymKey>& publicKey) override {
        return m_inner->NewKeyPair(kind, keyBits, seed, schema, publicKey);
    }
    std::shared_ptr<engine::EngineAsymKey> LoadKey(const engine::Text& fileName, engine::KeyKind kind,
                                                   engine::EncryptionSchema schema) override {
        return m_inner->LoadKey(fileName, kind, schema);
    }
    std::shared_ptr<engine::EngineEncoder> NewEncoder(engine::OutputEncoding encoding) override {
        return m_inner->NewEncoder(encoding);
    }

private:
    std::shared_ptr<engine::EngineRoot> m_inner;
    std::shared_ptr<int32_t> m_position;
};

enum class Point { Start, Middle, Last };
const char* const kPointNames[] = {"at the start", "in the middle", "at the last report"};

class AbortedRun : public Catalogue, public ::testing::WithParamInterface<const WindowOperation*> {
protected:
    void SetUp() override {
        load([this] {
            return std::make_shared<WatchedRoot>(engine::CreateEngineRoot(enginetest::fastOptions()), position);
        });
    }

    // Presses "Abort transaction" during the report the point names, and
    // notes the position of the report it stopped at.
    void abortAt(Point point) {
        reports = 0;
        stoppedAt = -1;
        ui.onDoEvents = [this, point](int) {
            ++reports;
            const bool now = point == Point::Start    ? *position == 0
                             : point == Point::Middle ? *position > 0 && *position <= 100 && reports > 1
                                                      : *position > 100;
            if (now && stoppedAt < 0) {
                stoppedAt = *position;
                form.button("cmdAbort").userClick();
            }
        };
    }

    std::shared_ptr<int32_t> position = std::make_shared<int32_t>(-1);
    int reports = 0;
    int32_t stoppedAt = -1;
};

TEST_P(AbortedRun, LeavesNothingAtTheStartInTheMiddleAndAtTheLastReport) {
    const WindowOperation& op = *GetParam();
    // Every chance to report is taken, however fast the machine: a run of this size reports several times.
    const enginetest::TestPacingClock clock(engine::detail::Progress::kMinInterval);
    const std::string plain = enginetest::pseudoRandom(1536 << 10, 6);
    for (bool file : {false, true}) {
        // What the operation takes: the plain bytes, or what the window made of them.
        std::string input = goodSource(op, dir.path(), "source.bin", plain);
        if (!file) {
            const std::string path = input;
            input = readAll(path);
            fs::remove(path);
        }
        for (Point point : {Point::Start, Point::Middle, Point::Last}) {
            SCOPED_TRACE(std::string(op.name) + (file ? " of a file " : " of a text ") +
                         kPointNames[static_cast<int>(point)]);
            open(op, file);
            std::vector<std::string> boxes;
            std::string target;
            if (file && op.suffix) {
                target = outputOf(op, input);
                enginetest::writeAll(target, "an older output");
                ui.messageAnswers.push_back(ui::MsgAnswer::Yes);
                boxes.push_back(replaceQuestion(target));
            }
            boxes.push_back(errorBox(op.title, kAborted));
            const Tree before = treeOf(dir.path());
            abortAt(point);
            press(op, input);
            ui.onDoEvents = nullptr;
            expectRefused(op, input, boxes);
            EXPECT_EQ(treeOf(dir.path()), before);
            EXPECT_FALSE(modUtils::bAbort) << "the request was passed on";
            switch (point) {
                case Point::Start: EXPECT_EQ(stoppedAt, 0); break;
                case Point::Middle: EXPECT_TRUE(stoppedAt > 0 && stoppedAt <= 100) << stoppedAt; break;
                case Point::Last: EXPECT_GT(stoppedAt, 100); break;
            }
            EXPECT_EQ(*position, stoppedAt) << "no report after the abort";
            if (!target.empty()) fs::remove(target);
        }
        // Not stopped, the same run goes through.
        open(op, file);
        press(op, input);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{});
        EXPECT_FALSE(box(op.writes).text().empty());
        for (const auto& entry : fs::directory_iterator(dir.path())) fs::remove_all(entry.path());
    }
}

const WindowOperation* const kStoppable[] = {&kHash,       &kSymEncrypt, &kSymDecrypt, &kRsaEncrypt,
                                             &kRsaDecrypt, &kSign,       &kEncode,     &kDecode};

INSTANTIATE_TEST_SUITE_P(EveryOperation, AbortedRun, ::testing::ValuesIn(kStoppable),
                         [](const ::testing::TestParamInfo<const WindowOperation*>& info) {
                             // "RSA encryption" gives "RSAEncryption".
                             std::string name;
                             bool wordStart = true;
                             for (const char c : std::string(info.param->name)) {
                                 if (c == ' ') {
                                     wordStart = true;
                                     continue;
                                 }
                                 name += wordStart ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c;
                                 wordStart = false;
                             }
                             return name;
                         });

}  // namespace
