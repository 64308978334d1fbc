// SPDX-License-Identifier: Apache-2.0
// Encodes or decodes a file through the whole "Encode/Decode" tab: the window
// logic over the Qt layer (offscreen), the progress handler's yields and bar
// updates included.
//
//   QT_QPA_PLATFORM=offscreen quorval_enc_tab encode|decode base64|hex FILE
//       one run as a whole process; the output (FILE with "Enc"/"Dec") must not exist
//   QT_QPA_PLATFORM=offscreen quorval_enc_tab pipeline encode|decode base64|hex FILE PAIRS
//       in one process, PAIRS times in turn: the tab's file operation, the
//       engine's file call alone, then the same engine codec on the same bytes
//       held in memory (EncodeText or DecodeText through the same root and
//       progress handler); for encoding also the codec on two threads, one half
//       of the bytes each, as the file operation uses two threads. Prints wall
//       and CPU seconds and their ratios.

#include <sys/stat.h>
#include <time.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "app/frmMain.h"
#include "app/frmMainForm.h"
#include "bench/BenchStats.h"
#include "engine/Engine.h"
#include "ui/qt/QtWindowing.h"
#include "util/modUtils.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench::median;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

bool exists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: quorval_enc_tab encode|decode base64|hex FILE\n"
                 "       quorval_enc_tab pipeline encode|decode base64|hex FILE PAIRS\n");
    return 2;
}

class EncTabRun {
public:
    EncTabRun(int encoding) : m_window(m_windowing, [] { return engine::CreateEngineRoot(); }) {
        m_window.Form_Load();
        m_windowing.showMain();
        ui::Form& form = m_windowing.mainForm();
        form.option("optTypeED", encoding).setValue(true);
        form.option("optED", 1).setValue(true);
        // A message box would wait for a user who is not there: note it and close it.
        QObject::connect(&m_watchdog, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                m_sawBox = true;
                modal->close();
            }
        });
        m_watchdog.start(200);
    }

    // The tab's file operation; returns the path written, or "" after a failure.
    std::string run(bool encode, const std::string& path) {
        ui::Form& form = m_windowing.mainForm();
        m_sawBox = false;
        ui::TextBox& source = form.textBox(encode ? "txtContED" : "txtResED");
        ui::TextBox& target = form.textBox(encode ? "txtResED" : "txtContED");
        source.setText(path);
        target.setText("");
        form.button(encode ? "cmdEncED" : "cmdDecED").click.raise();
        return m_sawBox ? std::string() : target.text();
    }

    const std::shared_ptr<engine::EngineRoot>& root() const { return m_window.engineRoot(); }

private:
    ui::qt::QtWindowing m_windowing{frmMainLayout()};
    frmMain m_window;
    QTimer m_watchdog;
    bool m_sawBox = false;
};

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

double cpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Wall-clock and CPU seconds (all threads) of one piece of work: on a shared
// machine the CPU time is the steadier measure of what the work costs.
struct Cost {
    double wall;
    double cpu;
};

template <typename Work>
Cost costOf(Work&& work) {
    const auto start = Clock::now();
    const double cpu = cpuSeconds();
    work();
    return {secondsSince(start), cpuSeconds() - cpu};
}

void summary(const char* name, const std::vector<double>& r) {
    std::printf("%s: median %.3f, min %.3f, max %.3f over %zu pairs\n", name, median(r),
                *std::min_element(r.begin(), r.end()), *std::max_element(r.begin(), r.end()), r.size());
}

int pipeline(bool encode, int encoding, const std::string& path, int pairs) {
    EncTabRun tab(encoding);
    const std::string target = modUtils::AddFileSuffix(path, encode ? "Enc" : "Dec");
    const std::string bytes = readAll(path);
    // The tab's option index is the engine's code.
    const auto code = static_cast<engine::OutputEncoding>(encoding);
    auto encoder = tab.root()->NewEncoder(code);
    // The two-thread baseline reports to nobody: the window's handler is for its own thread.
    auto quietRoot = engine::CreateEngineRoot();
    auto quiet = quietRoot->NewEncoder(code);
    // Halves of whole Base64 groups, so that the two outputs simply join; cut outside the timing.
    const size_t half = bytes.size() / 2 / 3 * 3;
    const std::string firstHalf = encode ? bytes.substr(0, half) : std::string();
    const std::string secondHalf = encode ? bytes.substr(half) : std::string();
    std::vector<double> wallRatios, cpuRatios, twoThreadRatios;
    for (int i = 0; i < pairs; ++i) {
        std::remove(target.c_str());
        std::string written;
        const Cost file = costOf([&] { written = tab.run(encode, path); });
        if (written != target) {
            std::fprintf(stderr, "the tab's run failed\n");
            return 1;
        }
        std::remove(target.c_str());
        // The engine's file call alone, without the window around it.
        const Cost engineFile = costOf([&] {
            if (encode)
                encoder->EncodeFile(path, target);
            else
                encoder->DecodeFile(path, target);
        });
        std::remove(target.c_str());

        std::string out;
        const Cost memory =
            costOf([&] { out = encode ? encoder->EncodeText(bytes) : encoder->DecodeText(bytes); });
        wallRatios.push_back(file.wall / memory.wall);
        cpuRatios.push_back(file.cpu / memory.cpu);
        std::printf(
            "pair %d: file %.2f s, cpu %.2f s (engine call alone %.2f s, cpu %.2f s); memory %.2f s, cpu "
            "%.2f s",
            i + 1, file.wall, file.cpu, engineFile.wall, engineFile.cpu, memory.wall, memory.cpu);

        if (encode) {
            std::string first, second;
            const Cost twoThreads = costOf([&] {
                std::thread worker([&] { first = quiet->EncodeText(firstHalf); });
                second = quiet->EncodeText(secondHalf);
                worker.join();
                first += second;
            });
            if (first != out) {
                std::fprintf(stderr, "\nthe two-thread baseline differs\n");
                return 1;
            }
            twoThreadRatios.push_back(file.wall / twoThreads.wall);
            std::printf("; two-thread memory %.2f s", twoThreads.wall);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    summary("file / memory, wall clock", wallRatios);
    summary("file / memory, CPU time", cpuRatios);
    if (encode) summary("file / two-thread memory, wall clock", twoThreadRatios);
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    const bool isPipeline = !args.empty() && args[0] == "pipeline";
    if (isPipeline) args.erase(args.begin());
    if (args.size() != (isPipeline ? 4u : 3u)) return usage();
    if (args[0] != "encode" && args[0] != "decode") return usage();
    const bool encode = args[0] == "encode";
    const int encoding = args[1] == "base64" ? 1 : args[1] == "hex" ? 2 : -1;
    if (encoding < 0) return usage();
    try {
        if (isPipeline) return pipeline(encode, encoding, args[2], std::stoi(args[3]));
        const std::string target = modUtils::AddFileSuffix(args[2], encode ? "Enc" : "Dec");
        if (exists(target)) {
            std::fprintf(stderr, "%s exists: remove it first\n", target.c_str());
            return 2;
        }
        EncTabRun tab(encoding);
        const std::string written = tab.run(encode, args[2]);
        std::printf("%s\n", written.c_str());
        return written.empty() ? 1 : 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "quorval_enc_tab: %s\n", e.what());
        return 1;
    }
}
