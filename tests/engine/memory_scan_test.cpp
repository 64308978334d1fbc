// SPDX-License-Identifier: Apache-2.0
// What is left in a process after use, read from outside: an engine driver
// decrypts an RSA container and two password containers (PBKDF2, and
// Argon2id at its full cost) to files, releases every object and waits while
// this test reads its whole memory. And what a hardened process gives away:
// no core file on a crash, no ptrace by another process of the same user.
#include <botan/bigint.h>
#include <botan/data_src.h>
#include <botan/kdf.h>
#include <botan/pkcs8.h>
#include <botan/pwdhash.h>
#include <botan/rsa.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <random>
#include <sstream>

#include "AnotherUser.h"
#include "EngineTestSupport.h"

namespace enginetest {
namespace {

using Needle = std::pair<std::string, std::string>;  // name, bytes

std::string readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::string bytesOf(const Botan::secure_vector<uint8_t>& data) {
    return std::string(data.begin(), data.end());
}

// A number as DER holds it, and as the library's words hold it in memory.
void addNumber(std::vector<Needle>& needles, const std::string& name, const Botan::BigInt& number) {
    const std::string bigEndian = bytesOf(Botan::BigInt::encode_locked(number));
    needles.push_back({name + " (big-endian)", bigEndian});
    needles.push_back({name + " (words)", std::string(bigEndian.rbegin(), bigEndian.rend())});
}

// The password container's secret and its two keys, from the documented
// derivation and the salt in its header.
void addPasswordKeys(std::vector<Needle>& needles, const std::string& container,
                     const std::string& password) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(container.data());
    const size_t keyBlock = 17 + bytes[14];
    auto number = [&](size_t at) {
        return (uint32_t(bytes[at]) << 24) | (uint32_t(bytes[at + 1]) << 16) | (uint32_t(bytes[at + 2]) << 8) |
               bytes[at + 3];
    };
    Botan::secure_vector<uint8_t> secret(32);
    const uint8_t kdf = bytes[keyBlock];
    ASSERT_TRUE(kdf == 1 || kdf == 2);
    if (kdf == 1) {
        Botan::PasswordHashFamily::create_or_throw("PBKDF2(SHA-256)")
            ->from_params(number(keyBlock + 1))
            ->derive_key(secret.data(), secret.size(), password.data(), password.size(), bytes + keyBlock + 6,
                         bytes[keyBlock + 5]);
    } else {
        // Botan's Argon2id, M, t and p as the header records them.
        Botan::PasswordHashFamily::create_or_throw("Argon2id")
            ->from_params(number(keyBlock + 1), number(keyBlock + 5), bytes[keyBlock + 9])
            ->derive_key(secret.data(), secret.size(), password.data(), password.size(), bytes + keyBlock + 11,
                         bytes[keyBlock + 10]);
    }
    const std::string which = kdf == 1 ? "PBKDF2 " : "Argon2id ";
    needles.push_back({which + "derived secret", bytesOf(secret)});
    auto hkdf = Botan::KDF::create_or_throw("HKDF(SHA-256)");
    for (const std::string label : {"Quorval container 1 cipher key", "Quorval container 1 MAC key"})
        needles.push_back(
            {which + label, bytesOf(hkdf->derive_key(32, secret.data(), secret.size(), nullptr, 0,
                                             reinterpret_cast<const uint8_t*>(label.data()), label.size()))});
}

// Names of the needles found in any readable mapping of `pid`. Mappings
// above 1 GiB (the sanitizers' shadow, reserved address space) are skipped.
std::vector<std::string> findInMemory(pid_t pid, const std::vector<Needle>& needles, uint64_t& scanned) {
    size_t longest = 0;
    for (const auto& needle : needles) longest = std::max(longest, needle.second.size());
    const int mem = ::open(("/proc/" + std::to_string(pid) + "/mem").c_str(), O_RDONLY | O_CLOEXEC);
    if (mem < 0) {
        ADD_FAILURE() << "cannot open the driver's memory: " << std::strerror(errno);
        return {};
    }
    std::vector<std::string> found;
    std::istringstream maps(readAll("/proc/" + std::to_string(pid) + "/maps"));
    std::string line;
    std::vector<char> chunk;
    while (std::getline(maps, line)) {
        uint64_t start = 0, end = 0;
        char perms[5] = {};
        if (std::sscanf(line.c_str(), "%lx-%lx %4s", &start, &end, perms) != 3 || perms[0] != 'r') continue;
        if (end - start > (uint64_t(1) << 30) || line.find("[vvar]") != std::string::npos) continue;
        // Pieces of 1 MiB that overlap by a needle's length, so none is cut in two.
        for (uint64_t at = start; at < end;) {
            const size_t length = static_cast<size_t>(std::min<uint64_t>(end - at, 1 << 20));
            chunk.resize(length);
            const ssize_t got = ::pread(mem, chunk.data(), length, static_cast<off_t>(at));
            if (got > 0) {
                scanned += static_cast<uint64_t>(got);
                for (const auto& [name, bytes] : needles)
                    if (::memmem(chunk.data(), static_cast<size_t>(got), bytes.data(), bytes.size()) &&
                        std::find(found.begin(), found.end(), name) == found.end())
                        found.push_back(name);
            }
            if (at + length >= end) break;
            at += length - std::min(length - 1, longest - 1);
        }
    }
    ::close(mem);
    return found;
}

TEST(MemoryAfterUse, NoKeyKeyFileTextOrPlainTextIsLeftInTheProcess) {
    if (::geteuid() != 0) GTEST_SKIP() << "reading another process's memory needs root";
    ScratchDir dir;
    engine::EngineOptions options;
    options.kdfIterations = 1000;
    auto root = engine::CreateEngineRoot(options);
    std::string plain(64 * 1024, '\0');
    std::mt19937 random(28);
    for (char& c : plain) c = static_cast<char>(random());
    std::ofstream(dir.file("plain"), std::ios::binary) << plain;

    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey =
        root->NewKeyPair(engine::KeyKind::KeyPair, 1024, "", engine::EncryptionSchema::Oaep, publicKey);
    privateKey->SaveToFile(dir.file("key.pem"));
    publicKey->EncryptFile(dir.file("plain"), dir.file("rsa.qv"));
    const std::string password = "correct horse battery staple";
    root->NewSymCipher(engine::SymAlgorithm::Aes, password, 256)
        ->EncryptFile(dir.file("plain"), dir.file("pw.qv"));
    // And at the default cost: Argon2id's 64 MiB work area held what the password became.
    engine::CreateEngineRoot()
        ->NewSymCipher(engine::SymAlgorithm::Aes, password, 256)
        ->EncryptFile(dir.file("plain"), dir.file("argon2.qv"));

    std::vector<Needle> needles;
    addPasswordKeys(needles, readAll(dir.file("pw.qv")), password);
    addPasswordKeys(needles, readAll(dir.file("argon2.qv")), password);
    const std::string pem = readAll(dir.file("key.pem"));
    Botan::DataSource_Memory source(pem);
    const auto key = Botan::PKCS8::load_key(source);
    const auto& rsa = dynamic_cast<const Botan::RSA_PrivateKey&>(*key);
    addNumber(needles, "d", rsa.get_d());
    addNumber(needles, "p", rsa.get_p());
    addNumber(needles, "q", rsa.get_q());
    // Every line of the body is 64 characters: any copy of the text holds them.
    std::istringstream lines(pem);
    for (std::string line; std::getline(lines, line);)
        if (line.size() == 64) needles.push_back({"key file line " + std::to_string(needles.size()), line});
    for (size_t at = 0; at < plain.size(); at += 4096)
        needles.push_back({"plain text block at " + std::to_string(at), plain.substr(at, 4096)});

    int toDriver[2], fromDriver[2];
    ASSERT_EQ(::pipe2(toDriver, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(fromDriver, O_CLOEXEC), 0);
    const std::string driver = QUORVAL_ENGINE_DRIVER;
    const std::vector<std::string> args = {
        driver,   "decrypt",         dir.file("key.pem"), dir.file("rsa.qv"), dir.file("rsa.out"),
        password, dir.file("pw.qv"), dir.file("pw.out"), dir.file("argon2.qv"), dir.file("argon2.out")};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(toDriver[0], STDIN_FILENO);
        ::dup2(fromDriver[1], STDOUT_FILENO);
        std::vector<char*> argv;
        for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(driver.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(toDriver[0]);
    ::close(fromDriver[1]);
    char said[8] = {};
    const ssize_t got = ::read(fromDriver[0], said, sizeof said - 1);
    EXPECT_EQ(std::string(said, got > 0 ? static_cast<size_t>(got) : 0), "done\n");
    uint64_t scanned = 0;
    const std::vector<std::string> found =
        got > 0 ? findInMemory(pid, needles, scanned) : std::vector<std::string>();
    ::close(toDriver[1]);
    ::close(fromDriver[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readAll(dir.file("rsa.out")), plain);
    EXPECT_EQ(readAll(dir.file("pw.out")), plain);
    EXPECT_EQ(readAll(dir.file("argon2.out")), plain);
    EXPECT_GT(scanned, 1u << 20);
    std::string names;
    for (const auto& name : found) names += "\n  " + name;
    EXPECT_TRUE(found.empty()) << "left in the driver's memory (" << needles.size() << " looked for, "
                               << scanned << " bytes read):" << names;
}

std::string driverStatus() {
    FILE* out = ::popen((std::string(QUORVAL_ENGINE_DRIVER) + " status").c_str(), "r");
    char line[128] = {};
    if (!out || !std::fgets(line, sizeof line, out)) line[0] = '\0';
    if (out) ::pclose(out);
    return line;
}

TEST(HardenedProcess, IsNotDumpableAndWritesNoCoreOnACrash) {
    EXPECT_EQ(driverStatus(), "dumpable 0 core 0 0\n");
    // A real crash, with the limit raised as `ulimit -c unlimited` does, in a
    // folder of its own (wherever the system's core pattern sends cores).
    ScratchDir dir;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.path().c_str()) != 0) ::_exit(3);
        const rlimit unlimited{RLIM_INFINITY, RLIM_INFINITY};
        ::setrlimit(RLIMIT_CORE, &unlimited);
        engine::HardenProcess();
        ::signal(SIGABRT, SIG_DFL);
        ::abort();
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(WTERMSIG(status), SIGABRT);
    EXPECT_FALSE(WCOREDUMP(status));
    EXPECT_TRUE(dir.names().empty());
}

TEST(HardenedProcess, AnotherProcessOfTheSameUserCannotAttach) {
    // The attacker is the target's parent, which ptrace allows under any
    // Yama setting up to 1: only the target's own flag refuses it.
    const std::string outcome = asAnotherUser([] {
        int ready[2];
        if (::pipe(ready) != 0) return std::string("no pipe");
        const pid_t target = ::fork();
        if (target == 0) {
            // Dumpable, as a program is when it starts (becoming nobody cleared the flag).
            ::prctl(PR_SET_DUMPABLE, 1, 0, 0, 0);
            engine::HardenProcess();
            if (::write(ready[1], "", 1) != 1) ::_exit(3);
            ::pause();
            ::_exit(0);
        }
        char byte;
        if (::read(ready[0], &byte, 1) != 1) return std::string("no target");
        const long attached = ::ptrace(PTRACE_ATTACH, target, nullptr, nullptr);
        const int error = errno;
        ::kill(target, SIGKILL);
        ::waitpid(target, nullptr, 0);
        return attached == 0 ? std::string("attached") : std::string(std::strerror(error));
    });
    EXPECT_EQ(outcome, std::strerror(EPERM));
}

}  // namespace
}  // namespace enginetest
