// SPDX-License-Identifier: Apache-2.0
// The "Hash" tab on a real X display (Xvfb), its "Abort transaction" button
// clicked for real by xdotool at a random moment of a file's hash.
//
//   quorval_abort_click clicks N FILE
//       N hashes of FILE (SHA-1), each aborted by a click 100-400 ms after it
//       starts. One line a click: milliseconds from the button's release (the
//       moment the click happens, by the X server's clock) to the return of
//       the engine call, and to the first paint of the "aborted" box.
//   quorval_abort_click hash FILE
//       one SHA-1 hash of FILE through the tab; prints the call's wall and CPU
//       milliseconds, the number of progress reports, and the wall and CPU
//       milliseconds spent in the window's progress handler (its yields
//       included).
//
// The engine is wrapped, not changed: the wrapper notes when HashFile returns
// and times the window's handler. The X server stamps input events with its
// monotonic clock in milliseconds, the clock steady_clock reads here.

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "bench/BenchStats.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

double nowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

double cpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// What one run saw.
struct Marks {
    std::atomic<double> hashStarted{0};
    double returned = 0;
    double boxPainted = 0;
    uint32_t releaseServerMs = 0;
    bool released = false;
    double releaseSeen = 0;
    long reports = 0;
    double handlerMs = 0;
    double handlerCpuMs = 0;
};
Marks marks;

class TimedHash final : public engine::EngineHash {
public:
    explicit TimedHash(std::shared_ptr<engine::EngineHash> inner) : m_inner(std::move(inner)) {}
    void Encoding(engine::OutputEncoding encoding) override { m_inner->Encoding(encoding); }
    engine::Text HashText(const engine::Text& text) override { return m_inner->HashText(text); }
    engine::Text HashStream(int fd) override { return m_inner->HashStream(fd); }
    engine::Text HashFile(const engine::Text& path) override {
        marks.hashStarted = nowMs();
        try {
            engine::Text digest = m_inner->HashFile(path);
            marks.returned = nowMs();
            return digest;
        } catch (...) {
            marks.returned = nowMs();
            throw;
        }
    }

private:
    std::shared_ptr<engine::EngineHash> m_inner;
};

class TimedRoot final : public engine::EngineRoot {
public:
    explicit TimedRoot(std::shared_ptr<engine::EngineRoot> inner) : m_inner(std::move(inner)) {}
    void SetOnProcess(engine::OnProcessHandler handler) override {
        if (!handler) return m_inner->SetOnProcess(nullptr);
        m_inner->SetOnProcess([handler](int32_t position, int32_t hashCode, bool& abort) {
            const double start = nowMs(), cpuStart = cpuMs();
            handler(position, hashCode, abort);
            ++marks.reports;
            marks.handlerMs += nowMs() - start;
            marks.handlerCpuMs += cpuMs() - cpuStart;
        });
    }
    std::shared_ptr<engine::EngineHash> NewHash(engine::HashAlgorithm algorithm) override {
        return std::make_shared<TimedHash>(m_inner->NewHash(algorithm));
    }
    std::shared_ptr<engine::EngineSymCipher> NewSymCipher(engine::SymAlgorithm algorithm, const engine::Text& password,
                                                          int32_t keyBits) override {
        return m_inner->NewSymCipher(algorithm, password, keyBits);
    }
    std::shared_ptr<engine::EngineAsymKey> NewKeyPair(engine::KeyKind kind, int32_t bits, const engine::Text& seed,
                                                      engine::EncryptionSchema schema,
                                                      std::shared_ptr<engine::EngineAsymKey>& publicKey) override {
        return m_inner->NewKeyPair(kind, bits, seed, schema, publicKey);
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
};

// Notes the release of the abort button (with the server's time stamp) and
// the first paint of a message box, which it then closes.
class Watcher : public QObject {
public:
    explicit Watcher(QWidget* abortButton) : m_abortButton(abortButton) {}

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        if (object == m_abortButton && event->type() == QEvent::MouseButtonRelease && !marks.released) {
            marks.released = true;
            marks.releaseServerMs = static_cast<uint32_t>(static_cast<QMouseEvent*>(event)->timestamp());
            marks.releaseSeen = nowMs();
        }
        if (event->type() == QEvent::Paint && marks.boxPainted == 0) {
            if (auto* box = qobject_cast<QMessageBox*>(object)) {
                marks.boxPainted = nowMs();
                QTimer::singleShot(0, box, [box] { box->done(0); });
            }
        }
        return false;
    }

private:
    QWidget* m_abortButton;
};

int runCommand(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

template <typename T>
T* findWidget(const char* name) {
    for (QWidget* top : QApplication::topLevelWidgets())
        if (T* widget = top->findChild<T*>(name)) return widget;
    return nullptr;
}

// Lets the window map and paint.
void settle(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "clicks" && argc == 4) || ((mode == "hash" || mode == "probe") && argc == 3))) {
        std::fprintf(stderr, "usage: quorval_abort_click clicks N FILE | hash FILE\n");
        return 2;
    }
    const std::string file = argv[argc - 1];

    ui::qt::QtWindowing windowing(frmMainLayout());
    frmMain window(windowing, [] { return std::make_shared<TimedRoot>(engine::CreateEngineRoot()); });
    window.Form_Load();
    windowing.showMain();
    settle(300);

    ui::Form& form = windowing.mainForm();
    form.comboBox("cboEncHash").setListIndex(1);
    form.option("optType", 2).setValue(true);
    form.option("optHash", 1).setValue(true);
    form.textBox("txtCont").setText(file);

    if (mode == "probe") {
        ui::ProgressBar& bar = form.progressBar("pgBar");
        bar.setValue(0);
        bar.setVisible(true);
        settle(100);
        std::vector<char> evict(64 << 20, 1);
        for (int variant = 0; variant < 6; ++variant) {
            std::vector<double> wall, cpu;
            for (int i = 0; i < 200; ++i) {
                if (variant >= 3) {
                    for (size_t k = 0; k < evict.size(); k += 64) evict[k] = static_cast<char>(evict[k] + 1);
                }
                const double w = nowMs(), c = cpuMs();
                if (variant % 3 == 1) bar.setValue(i % 100);
                if (variant % 3 == 2) {
                    QCoreApplication::sendPostedEvents();
                    QCoreApplication::processEvents(QEventLoop::AllEvents);
                } else {
                    windowing.doEvents();
                }
                wall.push_back(nowMs() - w);
                cpu.push_back(cpuMs() - c);
            }
            std::printf("variant %d: wall median %.3f ms, cpu median %.3f ms, cpu mean %.3f\n", variant,
                        bench::median(wall), bench::median(cpu),
                        std::accumulate(cpu.begin(), cpu.end(), 0.0) / cpu.size());
        }
        return 0;
    }
    if (mode == "hash") {
        const double wall = nowMs(), cpu = cpuMs();
        form.button("cmdHashBin").click.raise();
        std::printf("%.1f %.1f %ld %.2f %.2f\n", nowMs() - wall, cpuMs() - cpu, marks.reports, marks.handlerMs,
                    marks.handlerCpuMs);
        return form.textBox("txtRes").text().empty() ? 1 : 0;
    }

    auto* abortButton = findWidget<QAbstractButton>("cmdAbort");
    if (!abortButton) return 1;
    const QPoint centre = abortButton->mapToGlobal(abortButton->rect().center());
    if (runCommand({"xdotool", "mousemove", std::to_string(centre.x()), std::to_string(centre.y())}) != 0) {
        std::fprintf(stderr, "xdotool could not move the pointer\n");
        return 1;
    }
    Watcher watcher(abortButton);
    app.installEventFilter(&watcher);

    // Calibration: clicks while the window waits for input, which it handles at once.
    for (int i = 0; i < 5; ++i) {
        marks.released = false;
        std::thread user([] { runCommand({"xdotool", "click", "1"}); });
        settle(200);
        user.join();
        if (marks.released)
            std::fprintf(stderr, "idle click handled %.2f ms after its time stamp\n",
                         static_cast<double>(static_cast<uint32_t>(static_cast<uint64_t>(marks.releaseSeen) -
                                                                   marks.releaseServerMs)) +
                             (marks.releaseSeen - static_cast<double>(static_cast<uint64_t>(marks.releaseSeen))));
    }
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> delay(100, 400);
    std::vector<double> toReturn, toBox;
    const int clicks = std::atoi(argv[2]);
    for (int i = 0; i < clicks; ++i) {
        marks.hashStarted = 0;
        marks.returned = marks.boxPainted = 0;
        marks.released = false;
        const int wait = delay(random);
        std::thread user([wait] {
            while (marks.hashStarted.load() == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
            runCommand({"xdotool", "click", "1"});
        });
        form.button("cmdHashBin").click.raise();
        user.join();
        settle(50);  // the box's close, and a release that came too late
        if (!marks.released || marks.returned == 0 || !form.textBox("txtRes").text().empty()) {
            std::fprintf(stderr, "click %d did not abort the run (released %d)\n", i + 1, marks.released);
            continue;
        }
        // The server's milliseconds wrap at 32 bits; the difference does not.
        const double clicked = marks.returned - static_cast<double>(static_cast<uint32_t>(
                                                    static_cast<uint64_t>(marks.returned) - marks.releaseServerMs));
        toReturn.push_back(marks.returned - clicked);
        toBox.push_back(marks.boxPainted > 0 ? marks.boxPainted - clicked : 0);
        std::printf("%.1f %.1f\n", toReturn.back(), toBox.back());
        std::fflush(stdout);
    }
    if (toReturn.empty()) return 1;
    std::sort(toReturn.begin(), toReturn.end());
    std::sort(toBox.begin(), toBox.end());
    std::fprintf(stderr, "release to return: median %.1f ms (%.1f-%.1f); to the box: median %.1f ms (%.1f-%.1f)\n",
                 bench::median(toReturn), toReturn.front(), toReturn.back(), bench::median(toBox), toBox.front(),
                 toBox.back());
    return 0;
}
