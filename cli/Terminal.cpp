// SPDX-License-Identifier: Apache-2.0
// What the program does with its terminal: stop requests, passwords, progress.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <string.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "cli/Cli.h"

namespace cli {

namespace {

// Lock-free, so that the handler may set it and every thread may read it.
std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void onStopSignal(int) {
    g_stop.store(true);
    // A read of standard input that is waiting, or about to, would not see the flag.
    engine::WakeWaitingReads();
}

// Longer passwords are refused rather than copied into a larger buffer.
constexpr size_t kPasswordLimit = 4096;

int64_t nowNs() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += static_cast<size_t>(n);
    }
}

// One line (without its line break, and without a carriage return before
// it) from `fd`, read a byte at a time so that nothing after it is taken.
// Returns false when a stop was requested meanwhile.
bool readLine(int fd, Secret& into, const std::string& from) {
    std::string& text = into.text();
    text.clear();
    for (;;) {
        char c = 0;
        const ssize_t n = ::read(fd, &c, 1);
        if (n < 0 && errno == EINTR) {
            if (g_stop) return false;
            continue;
        }
        if (n < 0) throw Failure(kUsage, "Cannot read the password from " + from + ": " + ::strerror(errno) + ".");
        if (n == 0 || c == '\n') break;
        if (text.size() >= kPasswordLimit)
            throw Failure(kUsage, "The password from " + from + " is longer than " +
                                      std::to_string(kPasswordLimit) + " bytes.");
        text.push_back(c);
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    return true;
}

// Restores the terminal's echo on every way out.
class EchoOff {
public:
    explicit EchoOff(int fd) : m_fd(fd) {
        m_saved = ::tcgetattr(fd, &m_old) == 0;
        if (!m_saved) return;
        termios quiet = m_old;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        ::tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        if (m_saved) ::tcsetattr(m_fd, TCSAFLUSH, &m_old);
    }

private:
    int m_fd;
    termios m_old{};
    bool m_saved = false;
};

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    int get() const { return m_fd; }

private:
    int m_fd;
};

void askOnTerminal(PasswordUse use, Secret& password) {
    const Descriptor tty(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (tty.get() < 0)
        throw Failure(kUsage,
                      "No password: there is no terminal to ask on; give --password-file FILE or --password-fd N.");
    Secret again;
    {
        const EchoOff quiet(tty.get());
        writeAll(tty.get(), "Password: ");
        bool complete = readLine(tty.get(), password, "the terminal");
        if (complete && use == PasswordUse::Encrypt) {
            writeAll(tty.get(), "Password (again): ");
            complete = readLine(tty.get(), again, "the terminal");
        }
        if (!complete) throw Failure(kStopped, "Stopped.");
    }
    if (use == PasswordUse::Encrypt && again.text() != password.text())
        throw Failure(kUsage, "The two passwords differ; nothing was written.");
}

}  // namespace

void InstallStopHandlers() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a read from the terminal returns, and the flag is seen.
    action.sa_flags = 0;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return g_stop.load(); }

Secret::Secret() { m_text.reserve(kPasswordLimit + 1); }

Secret::~Secret() { wipe(); }

void Secret::wipe() {
    // The whole reserved buffer: no copy was ever made outside it.
    m_text.resize(m_text.capacity());
    ::explicit_bzero(&m_text[0], m_text.size());
    m_text.clear();
}

void ReadPassword(const Arguments& args, PasswordUse use, Secret& password) {
    if (args.has("password-file") && args.has("password-fd"))
        throw UsageError("give --password-file or --password-fd, not both");
    if (args.has("password-file")) {
        const std::string path = args.get("password-file");
        const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
        if (file.get() < 0)
            throw Failure(kUsage, "Cannot open the password file " + engine::QuotedName(path) + ": " +
                                      ::strerror(errno) + ".");
        if (!readLine(file.get(), password, "the file " + engine::QuotedName(path)))
            throw Failure(kStopped, "Stopped.");
        return;
    }
    if (args.has("password-fd")) {
        const std::string text = args.get("password-fd");
        char* end = nullptr;
        const long fd = std::strtol(text.c_str(), &end, 10);
        if (text.empty() || *end != '\0' || fd < 0 || fd > 65535)
            throw UsageError("--password-fd takes a file descriptor number, not " + engine::QuotedName(text));
        if (!readLine(static_cast<int>(fd), password, "descriptor " + text)) throw Failure(kStopped, "Stopped.");
        return;
    }
    askOnTerminal(use, password);
}

// ---------------------------------------------------------------- progress

namespace {

std::mutex g_progressLock;

std::string bytesText(double bytes) {
    static const char* const units[] = {"B", "KiB", "MiB", "GiB", "TiB"};
    int unit = 0;
    while (bytes >= 1024 && unit < 4) {
        bytes /= 1024;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, units[unit]);
    return text;
}

std::string clockText(double seconds) {
    const long s = static_cast<long>(seconds + 0.5);
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

}  // namespace

Progress::Progress(const Arguments& args, uint64_t totalBytes) : m_total(totalBytes), m_startNs(nowNs()) {
    if (args.has("quiet")) return;
    if (args.has("progress"))
        m_mode = Mode::Lines;
    else if (::isatty(STDERR_FILENO) && totalBytes > 0)  // a stream's size is unknown: no bar to fill
        m_mode = Mode::Bar;
}

bool Progress::Wanted(const Arguments& args) {
    return !args.has("quiet") && (args.has("progress") || ::isatty(STDERR_FILENO));
}

Progress::~Progress() {
    // A run that failed clears its bar, so that the message starts a line.
    if (m_mode == Mode::Bar && !m_finished && m_lastDrawNs != 0) writeAll(STDERR_FILENO, "\r\033[K");
}

void Progress::advance(uint64_t bytes) {
    if (m_mode == Mode::Off) return;
    const std::lock_guard<std::mutex> lock(g_progressLock);
    m_done += bytes;
    draw(false);
}

void Progress::finish() {
    if (m_mode == Mode::Off) return;
    const std::lock_guard<std::mutex> lock(g_progressLock);
    m_done = m_total;
    draw(true);
    m_finished = true;
}

void Progress::draw(bool last) {
    const int64_t now = nowNs();
    const int percent = m_total == 0 ? (last ? 100 : 0) : static_cast<int>(m_done * 100 / m_total);
    if (m_mode == Mode::Lines) {
        // A line at the start, at every tenth and at the end.
        if (!last && m_lastPercent >= 0 && percent / 10 == m_lastPercent / 10) return;
        if (last && m_lastPercent == 100) return;
    } else if (!last && m_lastDrawNs != 0 && now - m_lastDrawNs < 100000000) {
        return;
    }
    m_lastPercent = percent;
    m_lastDrawNs = now;
    const double seconds = static_cast<double>(now - m_startNs) / 1e9;
    const double rate = seconds > 0 ? static_cast<double>(m_done) / seconds : 0;
    std::string text = std::to_string(percent) + "%  " + bytesText(static_cast<double>(m_done)) + " / " +
                       bytesText(static_cast<double>(m_total));
    if (seconds > 0.2) text += "  " + bytesText(rate) + "/s";
    if (!last && rate > 0 && m_total > m_done)
        text += "  " + clockText(static_cast<double>(m_total - m_done) / rate) + " left";
    else if (last)
        text += "  " + clockText(seconds);
    if (m_mode == Mode::Lines) {
        writeAll(STDERR_FILENO, text + "\n");
        return;
    }
    constexpr int kWidth = 24;
    const int filled = percent * kWidth / 100;
    const std::string bar = "[" + std::string(static_cast<size_t>(filled), '#') +
                            std::string(static_cast<size_t>(kWidth - filled), '-') + "] ";
    writeAll(STDERR_FILENO, "\r\033[K" + bar + text + (last ? "\n" : ""));
}

void ProgressShare::position(int32_t percent) {
    if (percent < 0) return;
    if (percent > 100) percent = 100;
    const uint64_t now = m_bytes * static_cast<uint64_t>(percent) / 100;
    if (now <= m_reported) return;
    m_progress.advance(now - m_reported);
    m_reported = now;
}

std::shared_ptr<engine::EngineRoot> NewRoot(ProgressShare* share) {
    std::shared_ptr<engine::EngineRoot> root = engine::CreateEngineRoot();
    root->SetOnProcess([share](int32_t position, int32_t, bool& abort) {
        if (g_stop) abort = true;
        if (share) share->position(position);
    });
    return root;
}

}  // namespace cli
