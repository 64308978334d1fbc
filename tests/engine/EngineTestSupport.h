#pragma once
// Shared helpers of the engine tests: scratch folders, whole-file I/O, a
// recording progress handler and external tools.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "engine/Engine.h"

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

// Records every OnProcess report; can ask for an abort at the n-th report
// (0 = the first) or at the final one.
class Recorder {
public:
    void attach(engine::EngineRoot& root) {
        root.SetOnProcess([this](int32_t position, int32_t hashCode, bool& abort) {
            reports.push_back({position, hashCode});
            if (abortAt && reports.size() == *abortAt + 1) abort = true;
            if (abortAtFinal && position > 100) abort = true;
        });
    }
    std::vector<Report> reports;
    std::optional<size_t> abortAt;
    bool abortAtFinal = false;
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

// Engine options that keep password tests fast.
inline engine::EngineOptions fastOptions() {
    engine::EngineOptions options;
    options.kdfIterations = 1000;
    return options;
}

}  // namespace enginetest
