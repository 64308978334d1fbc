// SPDX-License-Identifier: Apache-2.0
#pragma once
// Shared helpers of the engine tests: scratch folders, whole-file I/O, byte
// strings, a recording progress handler and external tools.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include "engine/Engine.h"
#include "engine/core/Progress.h"
#include "engine/core/Secret.h"
#include "engine/core/TestHooks.h"
#include "engine/io/Files.h"

namespace engine {

// Codes show as their numbers in test messages.
template <typename Code, typename = std::enable_if_t<std::is_enum_v<Code>>>
std::ostream& operator<<(std::ostream& out, Code code) {
    return out << static_cast<int32_t>(code);
}

}  // namespace engine

namespace enginetest {

namespace fs = std::filesystem;

class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (fs::temp_directory_path() / "quorval-engine-XXXXXX").string();
        m_path = ::mkdtemp(pattern.data());
    }
    ~ScratchDir() {
        std::error_code ignored;
        fs::remove_all(m_path, ignored);
    }
    std::string file(const std::string& name) const { return (m_path / name).string(); }
    std::string path() const { return m_path.string(); }
    // Names in the folder, so tests can see that no temporary file stayed behind.
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (const auto& entry : fs::directory_iterator(m_path))
            out.push_back(entry.path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    fs::path m_path;
};

inline std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void writeAll(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

inline mode_t permissionsOf(const std::string& path) {
    struct stat info {};
    ::stat(path.c_str(), &info);
    return info.st_mode & 07777;
}

// Within its scope, outputs grow in named temporary files, as on file systems
// without unnamed ones.
struct NamedTemporaryFiles {
    NamedTemporaryFiles() { engine::detail::allowUnnamedTemporaryFiles(false); }
    ~NamedTemporaryFiles() { engine::detail::allowUnnamedTemporaryFiles(true); }
};

inline engine::detail::Bytes bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

inline engine::detail::Bytes unhex(const std::string& hex) {
    engine::detail::Bytes out;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return out;
}

// Deterministic bytes, so a failure can be reproduced.
inline std::string pseudoRandom(size_t length, uint32_t seed = 1) {
    std::mt19937 generator(seed);
    std::string out(length, '\0');
    for (auto& c : out) c = static_cast<char>(generator() & 0xFF);
    return out;
}

struct Report {
    int32_t position;
    int32_t hashCode;
};

// Waits out the pacing interval: the next chance to report is then due at once.
inline void waitForNextReport() {
    std::this_thread::sleep_for(engine::detail::Progress::kMinInterval + std::chrono::milliseconds(5));
}

// Within its scope the engine's reports are paced by this clock, which stands
// still unless moved, or moves on by `step` at every reading: how often a run
// reports then follows its work, not the machine's load.
class TestPacingClock {
public:
    explicit TestPacingClock(std::chrono::nanoseconds step = {}) : m_step(step) {
        engine::detail::setPacingClock([this] { return m_now += m_step; });
    }
    ~TestPacingClock() { engine::detail::setPacingClock({}); }
    TestPacingClock(const TestPacingClock&) = delete;
    TestPacingClock& operator=(const TestPacingClock&) = delete;

    void advance(std::chrono::nanoseconds by) { m_now += by; }

private:
    std::chrono::nanoseconds m_step;
    std::chrono::steady_clock::time_point m_now{};
};

// Records every OnProcess report; can ask for an abort at the n-th report
// (0 = the first) or at the final one, and pass each position on.
class Recorder {
public:
    // `paced`: every report waits out the pacing interval, so that each buffer can report.
    void attach(engine::EngineRoot& root, bool paced = false) {
        root.SetOnProcess([this, paced](int32_t position, int32_t hashCode, bool& abort) {
            reports.push_back({position, hashCode});
            if (abortAt && reports.size() == *abortAt + 1) abort = true;
            if (abortAtFinal && position > 100) abort = true;
            if (onReport) onReport(position);
            if (paced) waitForNextReport();
        });
    }
    std::vector<Report> reports;
    std::optional<size_t> abortAt;
    bool abortAtFinal = false;
    std::function<void(int32_t)> onReport;
};

// Output of a shell command, or nullopt when it fails.
inline std::optional<std::string> run(const std::string& command) {
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    if (!pipe) return std::nullopt;
    std::string out;
    char buffer[4096];
    while (size_t n = std::fread(buffer, 1, sizeof buffer, pipe.get())) out.append(buffer, n);
    if (::pclose(pipe.release()) != 0) return std::nullopt;
    return out;
}

inline bool haveTool(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string hexOf(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
    }
    return out;
}

// Runs `call` and returns the kind of EngineError it threw (fails the test if none).
template <class Call>
engine::ErrorKind kindOf(Call&& call, std::string* description = nullptr) {
    try {
        call();
    } catch (const engine::EngineError& e) {
        if (description) *description = e.what();
        return e.kind();
    }
    ADD_FAILURE() << "no EngineError was thrown";
    return engine::ErrorKind::Internal;
}

// Every setting of a password cipher at once; codes or their numbers, so
// that a test can run over the numbers.
template <typename Mode, typename Padding, typename Encoding>
void configure(engine::EngineSymCipher& c, Mode mode, Padding padding, int16_t compression, Encoding encoding,
               const std::string& iv = "") {
    c.CipherMode(static_cast<engine::ModeOfOperation>(mode));
    c.Padding(static_cast<engine::BlockPadding>(padding));
    c.Compression(compression);
    c.Encoding(static_cast<engine::OutputEncoding>(encoding));
    c.IV(iv);
}

// Engine options that keep password tests fast.
inline engine::EngineOptions fastOptions() {
    engine::EngineOptions options;
    options.kdfIterations = 1000;
    return options;
}

}  // namespace enginetest
