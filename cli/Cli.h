// SPDX-License-Identifier: Apache-2.0
#pragma once
// The command-line front end: its arguments, terminal and commands, over
// engine/Engine.h alone.

#include <cstdint>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/Engine.h"

namespace cli {

// Exit codes.
constexpr int kOk = 0;
constexpr int kFailed = 1;    // the operation failed: wrong password, damaged data, invalid signature...
constexpr int kUsage = 2;     // a usage error or an unreadable input
constexpr int kStopped = 130; // Ctrl+C or SIGTERM

// A failure the program reports on one line and exits with.
class Failure : public std::runtime_error {
public:
    Failure(int code, const std::string& message) : std::runtime_error(message), m_code(code) {}
    int code() const { return m_code; }

private:
    int m_code;
};

inline Failure UsageError(const std::string& message) { return Failure(kUsage, message); }

// ---------------------------------------------------------------- arguments

struct OptionRule {
    std::string name;  // long name, without "--"
    char letter;       // short name, or 0
    bool takesValue;
};

struct Arguments {
    std::map<std::string, std::string> values;  // by long name; "" for a flag
    std::vector<std::string> operands;
    bool has(const std::string& name) const { return values.count(name) != 0; }
    std::string get(const std::string& name, const std::string& fallback = {}) const {
        auto found = values.find(name);
        return found == values.end() ? fallback : found->second;
    }
};

// Throws a usage Failure on an unknown option or a missing value.
Arguments ParseArguments(const std::vector<OptionRule>& rules, const std::vector<std::string>& args);

// One of `choices` (compared without case), or a usage Failure naming the option.
int Choice(const Arguments& args, const std::string& option, const std::vector<std::string>& choices,
           int fallback);

// ---------------------------------------------------------------- terminal

// SIGINT and SIGTERM set a flag (nothing else: it is async-signal-safe) that
// the engine's progress handler turns into an abort.
void InstallStopHandlers();
bool StopRequested();

// A password that is wiped when it goes.
class Secret {
public:
    Secret();
    ~Secret();
    Secret(const Secret&) = delete;
    Secret& operator=(const Secret&) = delete;
    std::string& text() { return m_text; }
    void wipe();

private:
    std::string m_text;
};

enum class PasswordUse { Encrypt, Decrypt };

// From --password-file, --password-fd or, without either, the terminal
// (twice when encrypting). Throws a Failure.
void ReadPassword(const Arguments& args, PasswordUse use, Secret& password);

// Progress on standard error: a bar on a terminal, plain lines with
// --progress, nothing with --quiet or when standard error is no terminal.
class Progress {
public:
    Progress(const Arguments& args, uint64_t totalBytes);
    ~Progress();
    // Bytes done so far (thread-safe).
    void advance(uint64_t bytes);
    void finish();
    bool shown() const { return m_mode != Mode::Off; }
    // Whether progress would be shown at all: sizes are worth a look only then.
    static bool Wanted(const Arguments& args);

private:
    enum class Mode { Off, Bar, Lines };
    void draw(bool last);

    Mode m_mode = Mode::Off;
    uint64_t m_total;
    uint64_t m_done = 0;
    int m_lastPercent = -1;
    int64_t m_startNs = 0;
    int64_t m_lastDrawNs = 0;
    bool m_finished = false;
};

// One engine call's share of a Progress: turns the engine's positions
// (0..100 over `bytes`) into bytes done.
class ProgressShare {
public:
    ProgressShare(Progress& progress, uint64_t bytes) : m_progress(progress), m_bytes(bytes) {}
    void position(int32_t percent);
    void done() { position(100); }
    // The next call's share, on the same Progress.
    void restart(uint64_t bytes) {
        m_bytes = bytes;
        m_reported = 0;
    }

private:
    Progress& m_progress;
    uint64_t m_bytes;
    uint64_t m_reported = 0;
};

// The engine root with the progress handler that reports to `share` and
// aborts once a stop was requested. Objects hold their root's reports
// weakly: keep the root for as long as its objects work.
std::shared_ptr<engine::EngineRoot> NewRoot(ProgressShare* share);

// ---------------------------------------------------------------- commands

// Runs argv[1..]; returns the exit code. Every failure is one line on stderr.
int Run(const std::vector<std::string>& args);

// The exit code an engine failure gives once the operation runs (its inputs
// were opened before it, each a usage failure if it could not be).
int ExitCodeFor(const engine::EngineError& error);

}  // namespace cli
