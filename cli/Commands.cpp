// SPDX-License-Identifier: Apache-2.0
// The subcommands, each a thin layer over one engine call.
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <iostream>
#include <mutex>
#include <thread>

#include "cli/Cli.h"

#ifndef QUORVAL_VERSION
#define QUORVAL_VERSION "1.00"
#endif

namespace cli {

namespace {

using engine::EngineError;
using engine::ErrorKind;

struct Command {
    const char* name;
    const char* usage;  // the --help text after the first line
    std::vector<OptionRule> options;
    std::function<int(const Arguments&)> run;
};

const OptionRule kHelp{"help", 'h', false};
const OptionRule kQuiet{"quiet", 'q', false};
const OptionRule kShowProgress{"progress", 0, false};
const OptionRule kForce{"force", 'f', false};
const OptionRule kOutput{"output", 'o', true};
const OptionRule kPasswordFile{"password-file", 0, true};
const OptionRule kPasswordFd{"password-fd", 0, true};

// ---------------------------------------------------------------- helpers

void writeOut(const std::string& data) {
    std::fwrite(data.data(), 1, data.size(), stdout);
}

// A target that exists is replaced only with --force; a symbolic link
// counts as existing (the engine replaces the link, never what it points to).
void requireNewOrForced(const Arguments& args, const std::string& target) {
    struct stat info {};
    if (args.has("force") || ::lstat(target.c_str(), &info) != 0) return;
    throw Failure(kFailed, "The file " + engine::QuotedName(target) +
                               " already exists. Replace it? Not replaced: give --force to replace it.");
}

const std::string& oneSource(const Arguments& args, const char* command) {
    if (args.operands.size() != 1)
        throw UsageError(std::string(command) + " takes one FILE (see quorval-cli " + command + " --help)");
    return args.operands[0];
}

std::string outputFor(const Arguments& args, const std::string& source, const char* suffix) {
    if (args.has("output")) {
        if (args.get("output").empty()) throw UsageError("-o needs a file name");
        return args.get("output");
    }
    return engine::NameBeside(source, suffix);
}

int16_t levelOf(const Arguments& args) {
    if (!args.has("level")) return -1;
    const std::string text = args.get("level");
    if (text.size() == 1 && std::isdigit(static_cast<unsigned char>(text[0]))) return static_cast<int16_t>(text[0] - '0');
    if (text == "-1") return -1;
    throw UsageError("--level takes a whole number from -1 to 9, not " + engine::QuotedName(text));
}

engine::OutputEncoding encodingOf(const Arguments& args, const std::string& option) {
    return static_cast<engine::OutputEncoding>(Choice(args, option, {"binary", "base64", "hex"}, 0));
}

engine::EncryptionSchema schemaOf(const Arguments& args) {
    // The window lists OAEP first and starts on it.
    return Choice(args, "schema", {"oaep", "pkcs1"}, 0) == 0 ? engine::EncryptionSchema::Oaep
                                                            : engine::EncryptionSchema::Pkcs1;
}

// Every input is opened here before its operation: one that cannot be is an
// unreadable input (exit 2); whatever fails once the operation runs is a
// failed run (exit 1). Returns the file's size, for the bar.
uint64_t openedInput(const std::string& path) {
    try {
        return engine::FileSize(path);
    } catch (const EngineError& e) {
        if (e.kind() == ErrorKind::Aborted) throw;
        throw Failure(kUsage, e.what());
    }
}

// Standard input as an input: closed, write-only or a folder, it is unreadable
// (the words are those a read would give).
void checkStandardInput() {
    struct stat info {};
    const int flags = ::fcntl(STDIN_FILENO, F_GETFL);
    int error = 0;
    if (flags < 0 || ::fstat(STDIN_FILENO, &info) != 0)
        error = errno;
    else if ((flags & O_ACCMODE) == O_WRONLY)
        error = EBADF;
    else if (S_ISDIR(info.st_mode))
        error = EISDIR;
    if (error != 0) throw Failure(kUsage, std::string("Cannot read the input: ") + ::strerror(error) + ".");
}

// A file operation with its progress over the source's size.
template <class Work>
void withProgress(const Arguments& args, const std::string& source, Work&& work) {
    const uint64_t size = openedInput(source);
    Progress progress(args, size);
    ProgressShare share(progress, size);
    work(NewRoot(&share));
    share.done();
    progress.finish();
}

// Decrypting to standard output: only from a regular file, which the engine
// authenticates before it writes a byte.
bool toStandardOutput(const Arguments& args) { return args.get("output") == "-"; }

// ---------------------------------------------------------------- hash

struct HashJob {
    std::string name;
    engine::HashAlgorithm algorithm = engine::HashAlgorithm::Md5;
    engine::OutputEncoding encoding = engine::OutputEncoding::Hex;
    bool done = false;
    std::string digest;
    std::string error;
    int code = kOk;
};

std::string lowerText(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Hashes every job on as many threads as there are cores (one engine root
// each), and hands each result to `report` in the order of the jobs.
void hashAll(const Arguments& args, std::vector<HashJob>& jobs, const std::function<void(HashJob&)>& report) {
    uint64_t total = 0;
    std::vector<uint64_t> sizes(jobs.size(), 0);
    // Inputs that cannot be opened, reported when their turn comes. A look at
    // every file before the work costs a tree of small files dearly: it is
    // taken first only when there is a bar or lines to fill, and otherwise
    // only for a file whose hashing failed.
    std::vector<std::string> unopened(jobs.size());
    const bool sized = Progress::Wanted(args);
    for (size_t i = 0; i < jobs.size(); ++i) {
        if (!sized && jobs[i].name != "-") continue;
        try {
            if (jobs[i].name == "-") {
                checkStandardInput();
                continue;
            }
            sizes[i] = openedInput(jobs[i].name);
            total += sizes[i];
        } catch (const Failure& e) {
            unopened[i] = e.what();
        }
    }
    Progress progress(args, total);
    std::mutex lock;
    std::condition_variable ready;
    // The reporter waits for one job at a time: a finished job wakes it only
    // when it is that one, so a tree of small files costs few wake-ups.
    size_t awaited = jobs.size();
    size_t nextFile = 0, nextInput = 0;
    // Standard input is read on the main thread, the one that signals
    // interrupt: a stop request then ends a read that waits for a writer.
    auto claim = [&](bool input) -> size_t {
        const std::lock_guard<std::mutex> guard(lock);
        size_t& next = input ? nextInput : nextFile;
        while (next < jobs.size() && (jobs[next].name == "-") != input) ++next;
        return next < jobs.size() ? next++ : jobs.size();
    };
    // One engine root a thread: a root runs its self-test once, and a tree
    // of small files would otherwise pay for it at every file.
    struct ThreadRoot {
        explicit ThreadRoot(Progress& progress) : share(progress, 0), root(NewRoot(&share)) {}
        ProgressShare share;
        std::shared_ptr<engine::EngineRoot> root;
    };
    auto hashOne = [&](ThreadRoot& thread, size_t index) {
        HashJob& job = jobs[index];
        std::string digest, error;
        int code = kOk;
        thread.share.restart(sizes[index]);
        try {
            if (!unopened[index].empty()) throw Failure(kUsage, unopened[index]);
            auto hash = thread.root->NewHash(job.algorithm);
            hash->Encoding(job.encoding);
            digest = job.name == "-" ? hash->HashStream(STDIN_FILENO) : hash->HashFile(job.name);
            if (job.encoding == engine::OutputEncoding::Hex) digest = lowerText(digest);
            thread.share.done();
        } catch (const Failure& e) {
            error = e.what();
            code = e.code();
        } catch (const EngineError& e) {
            error = e.what();
            code = ExitCodeFor(e);
            if (!sized && job.name != "-" && code != kStopped) {
                try {
                    openedInput(job.name);
                } catch (const Failure& unreadable) {
                    error = unreadable.what();
                    code = unreadable.code();
                }
            }
        } catch (const std::exception& e) {
            error = e.what();
            code = kFailed;
        }
        const std::lock_guard<std::mutex> guard(lock);
        job.digest = std::move(digest);
        job.error = std::move(error);
        job.code = code;
        job.done = true;
        if (index == awaited) ready.notify_one();
    };
    auto worker = [&] {
        ThreadRoot thread(progress);
        // After a stop each job ends at its first report: every one is done, none printed.
        for (size_t index; (index = claim(false)) < jobs.size();) hashOne(thread, index);
    };
    const size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const size_t count = std::min(cores, jobs.size());
    std::vector<std::thread> threads;
    std::thread reporter;
    {
        // The threads started here leave SIGINT and SIGTERM to the main thread.
        sigset_t stops, before;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &stops, &before);
        for (size_t i = 1; i < count; ++i) threads.emplace_back(worker);
        reporter = std::thread([&] {
            for (size_t index = 0; index < jobs.size(); ++index) {
                std::unique_lock<std::mutex> guard(lock);
                awaited = index;
                ready.wait(guard, [&] { return jobs[index].done; });
                guard.unlock();
                report(jobs[index]);
            }
        });
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    const size_t input = claim(true);
    if (input < jobs.size()) {
        ThreadRoot thread(progress);
        hashOne(thread, input);
    }
    worker();
    for (auto& thread : threads) thread.join();
    reporter.join();
    progress.finish();
}

// A name as md5sum writes it: a name with a backslash or a line break is
// escaped, and its line starts with a backslash.
std::string listName(const std::string& name, bool& escaped) {
    escaped = name.find_first_of("\\\n\r") != std::string::npos;
    if (!escaped) return name;
    std::string out;
    for (char c : name) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescapeListName(const std::string& name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 1 < name.size()) {
            const char c = name[++i];
            out += c == 'n' ? '\n' : c == 'r' ? '\r' : c;
        } else {
            out += name[i];
        }
    }
    return out;
}

void printFailure(const std::string& message);

int hashCheck(const Arguments& args, int algorithmChoice) {
    const std::string list = args.get("check");
    std::string text;
    try {
        text = engine::ReadWholeFile(list, 64u << 20);
    } catch (const EngineError& e) {
        throw Failure(kUsage, e.what());
    }
    // Digest lengths as hex and as Base64, by algorithm.
    static const size_t hexLength[] = {32, 40, 48};
    static const size_t base64Length[] = {24, 28, 32};
    std::vector<HashJob> jobs;
    size_t lineNumber = 0, badLines = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        const bool escaped = line[0] == '\\';
        if (escaped) line.erase(0, 1);
        const size_t space = line.find(' ');
        if (space == std::string::npos || space + 1 >= line.size() ||
            (line[space + 1] != ' ' && line[space + 1] != '*')) {
            ++badLines;
            continue;
        }
        HashJob job;
        job.digest = line.substr(0, space);
        job.name = line.substr(space + 2);
        if (escaped) job.name = unescapeListName(job.name);
        const bool hex = std::all_of(job.digest.begin(), job.digest.end(),
                                     [](unsigned char c) { return std::isxdigit(c) != 0; });
        int algorithm = algorithmChoice;
        if (algorithm < 0)
            for (int a = 0; a < 3 && algorithm < 0; ++a)
                if (job.digest.size() == (hex ? hexLength[a] : base64Length[a])) algorithm = a;
        if (algorithm < 0 || (hex && job.digest.size() != hexLength[algorithm]) ||
            (!hex && job.digest.size() != base64Length[algorithm])) {
            ++badLines;
            continue;
        }
        job.algorithm = static_cast<engine::HashAlgorithm>(algorithm);
        job.encoding = hex ? engine::OutputEncoding::Hex : engine::OutputEncoding::Base64;
        if (hex) job.digest = lowerText(job.digest);
        jobs.push_back(std::move(job));
    }
    if (jobs.empty())
        throw Failure(kFailed, "The list " + engine::QuotedName(list) + " holds no line of a digest and a name.");
    // The expected digests move aside; the jobs return the computed ones.
    std::vector<std::string> expected;
    for (auto& job : jobs) expected.push_back(job.digest);
    int failed = 0;
    size_t index = 0;
    hashAll(args, jobs, [&](HashJob& job) {
        const std::string& want = expected[index++];
        if (StopRequested()) return;
        // A name with a line break would otherwise forge a line of its own;
        // md5sum escapes only those here.
        bool escaped = job.name.find_first_of("\n\r") != std::string::npos;
        const std::string shown = escaped ? "\\" + listName(job.name, escaped) : job.name;
        if (!job.error.empty()) {
            printFailure(job.error);
            writeOut(shown + ": FAILED open or read\n");
            ++failed;
        } else if (job.digest == want) {
            writeOut(shown + ": OK\n");
        } else {
            writeOut(shown + ": FAILED\n");
            ++failed;
        }
    });
    if (StopRequested()) throw Failure(kStopped, "Stopped.");
    if (badLines > 0)
        printFailure(std::to_string(badLines) + " line" + (badLines == 1 ? " is" : "s are") +
                     " not a digest and a name; skipped.");
    if (failed > 0) {
        printFailure(std::to_string(failed) + " of " + std::to_string(jobs.size()) + " digests did not match.");
        return kFailed;
    }
    return kOk;
}

int hashCommand(const Arguments& args) {
    static const std::vector<std::string> algorithms{"md5", "sha1", "tiger"};
    if (args.has("check")) {
        if (!args.operands.empty()) throw UsageError("hash --check reads the names from the list, not from FILE");
        return hashCheck(args, args.has("algorithm") ? Choice(args, "algorithm", algorithms, 0) : -1);
    }
    const auto algorithm = static_cast<engine::HashAlgorithm>(Choice(args, "algorithm", algorithms, 0));
    const auto encoding = Choice(args, "encoding", {"hex", "base64"}, 0) == 0 ? engine::OutputEncoding::Hex
                                                                             : engine::OutputEncoding::Base64;
    std::vector<HashJob> jobs;
    std::vector<std::string> names = args.operands;
    if (names.empty()) names.push_back("-");
    if (std::count(names.begin(), names.end(), "-") > 1) throw UsageError("standard input (-) can be hashed once");
    for (const auto& name : names) {
        HashJob job;
        job.name = name;
        job.algorithm = algorithm;
        job.encoding = encoding;
        jobs.push_back(std::move(job));
    }
    int code = kOk;
    hashAll(args, jobs, [&](HashJob& job) {
        if (StopRequested()) return;
        if (!job.error.empty()) {
            if (job.code != kStopped) printFailure(job.error);
            code = std::max(code, job.code);
            return;
        }
        bool escaped = false;
        const std::string name = listName(job.name, escaped);
        // Buffered as md5sum's are: a write a file would cost a tree of small files dearly.
        writeOut((escaped ? "\\" : "") + job.digest + "  " + name + "\n");
    });
    if (StopRequested()) throw Failure(kStopped, "Stopped.");
    return code;
}

// ---------------------------------------------------------------- symmetric

int cipherCommand(const Arguments& args, bool encrypt) {
    const std::string& source = oneSource(args, encrypt ? "encrypt" : "decrypt");
    const auto algorithm = Choice(args, "algorithm", {"aes", "twofish"}, 1) == 0 ? engine::SymAlgorithm::Aes
                                                                                 : engine::SymAlgorithm::Twofish;
    static const int32_t bitsList[] = {128, 192, 256};
    const int32_t bits = bitsList[Choice(args, "bits", {"128", "192", "256"}, 2)];
    engine::ModeOfOperation mode = engine::ModeOfOperation::Ecb;
    engine::BlockPadding padding = engine::BlockPadding::X923;
    engine::OutputEncoding encoding = engine::OutputEncoding::Binary;
    int16_t level = -1;
    if (encrypt) {
        mode = Choice(args, "mode", {"ecb", "cbc"}, 0) == 0 ? engine::ModeOfOperation::Ecb
                                                            : engine::ModeOfOperation::Cbc;
        // The window's captions are accepted too.
        static const engine::BlockPadding paddings[] = {engine::BlockPadding::X923, engine::BlockPadding::Pkcs7,
                                                        engine::BlockPadding::Zeros};
        padding = paddings[Choice(args, "padding", {"x923", "pkcs7", "zeros", "fips81", "pcks5", "zeropadding"}, 0) % 3];
        encoding = encodingOf(args, "encoding");
        level = levelOf(args);
    }
    const bool toStdout = !encrypt && toStandardOutput(args);
    const std::string target = toStdout ? std::string() : outputFor(args, source, encrypt ? "Enc" : "Dec");
    if (!toStdout) requireNewOrForced(args, target);
    // A source that cannot be read is reported before the password is asked for.
    openedInput(source);
    Secret password;
    ReadPassword(args, encrypt ? PasswordUse::Encrypt : PasswordUse::Decrypt, password);
    withProgress(args, source, [&](const std::shared_ptr<engine::EngineRoot>& root) {
        auto cipher = root->NewSymCipher(algorithm, password.text(), bits);
        password.wipe();
        if (encrypt) {
            cipher->Encoding(encoding);
            cipher->CipherMode(mode);
            cipher->Padding(padding);
            cipher->Compression(level);
            cipher->IV(args.get("iv"));
            cipher->EncryptFile(source, target);
        } else if (toStdout) {
            std::fflush(stdout);
            cipher->DecryptFileToStream(source, STDOUT_FILENO);
        } else {
            cipher->DecryptFile(source, target);
        }
    });
    return kOk;
}

// ---------------------------------------------------------------- RSA

int genkeyCommand(const Arguments& args) {
    if (!args.operands.empty()) throw UsageError("genkey takes no FILE; name the key file with -o");
    if (!args.has("output")) throw UsageError("genkey needs -o PRIVATE, the private key file");
    static const int32_t bitsList[] = {512, 1024, 2048};
    const int32_t bits = bitsList[Choice(args, "bits", {"512", "1024", "2048"}, 0)];
    const std::string privatePath = args.get("output");
    const std::string publicPath = args.get("public-out");
    requireNewOrForced(args, privatePath);
    if (!publicPath.empty()) requireNewOrForced(args, publicPath);
    auto root = NewRoot(nullptr);
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, bits, args.get("seed"), schemaOf(args), publicKey);
    if (StopRequested()) throw Failure(kStopped, "Stopped.");
    privateKey->SaveToFile(privatePath);
    if (!publicPath.empty()) publicKey->SaveToFile(publicPath);
    return kOk;
}

std::shared_ptr<engine::EngineAsymKey> loadKey(const std::shared_ptr<engine::EngineRoot>& root,
                                               const Arguments& args, engine::KeyKind kind) {
    if (!args.has("key")) throw UsageError(std::string("needs --key ") + (kind == engine::KeyKind::PublicKey ? "PUBLIC" : "PRIVATE"));
    try {
        return root->LoadKey(args.get("key"), kind, schemaOf(args));
    } catch (const EngineError& e) {
        // A key that cannot be read is an unreadable input.
        if (e.kind() == ErrorKind::Aborted) throw;
        throw Failure(kUsage, e.what());
    }
}

int rsaCipherCommand(const Arguments& args, bool encrypt) {
    const std::string& source = oneSource(args, encrypt ? "rsa-encrypt" : "rsa-decrypt");
    const bool toStdout = !encrypt && toStandardOutput(args);
    const std::string target = toStdout ? std::string() : outputFor(args, source, encrypt ? "Enc" : "Dec");
    if (!toStdout) requireNewOrForced(args, target);
    const engine::OutputEncoding encoding = encodingOf(args, "encoding");
    const int16_t level = levelOf(args);
    withProgress(args, source, [&](const std::shared_ptr<engine::EngineRoot>& root) {
        auto key = loadKey(root, args, encrypt ? engine::KeyKind::PublicKey : engine::KeyKind::PrivateKey);
        if (encrypt) {
            key->Encoding(encoding);
            key->Compression(level);
            key->EncryptFile(source, target);
        } else if (toStdout) {
            std::fflush(stdout);
            key->DecryptFileToStream(source, STDOUT_FILENO);
        } else {
            key->DecryptFile(source, target);
        }
    });
    return kOk;
}

int signCommand(const Arguments& args) {
    const std::string& source = oneSource(args, "sign");
    const bool toStdout = !args.has("output") || toStandardOutput(args);
    if (!toStdout) requireNewOrForced(args, args.get("output"));
    std::string signature;
    withProgress(args, source, [&](const std::shared_ptr<engine::EngineRoot>& root) {
        auto key = loadKey(root, args, engine::KeyKind::PrivateKey);
        key->Encoding(encodingOf(args, "encoding"));
        signature = key->SignFile(source);
    });
    if (toStdout)
        writeOut(signature);
    else
        engine::WriteWholeFile(args.get("output"), signature);
    return kOk;
}

int verifyCommand(const Arguments& args) {
    const std::string& source = oneSource(args, "verify");
    if (!args.has("signature")) throw UsageError("verify needs --signature FILE");
    std::string signature;
    try {
        signature = engine::ReadWholeFile(args.get("signature"), 1u << 20);
    } catch (const EngineError& e) {
        throw Failure(kUsage, e.what());
    }
    bool valid = false;
    withProgress(args, source, [&](const std::shared_ptr<engine::EngineRoot>& root) {
        valid = loadKey(root, args, engine::KeyKind::PublicKey)->VerifyFile(source, signature);
    });
    if (!valid) throw Failure(kFailed, "Invalid signature");
    std::printf("Valid signature\n");
    return kOk;
}

// ---------------------------------------------------------------- encoding

int codecCommand(const Arguments& args, bool encode) {
    const auto encoding = Choice(args, "encoding", {"base64", "hex"}, 0) == 0 ? engine::OutputEncoding::Base64
                                                                             : engine::OutputEncoding::Hex;
    if (args.operands.size() > 1) throw UsageError(std::string(encode ? "encode" : "decode") + " takes one FILE");
    const std::string source = args.operands.empty() ? "-" : args.operands[0];
    if (source == "-") {
        if (args.has("output") && !toStandardOutput(args))
            throw UsageError("from standard input the result goes to standard output; redirect it");
        checkStandardInput();
        Progress progress(args, 0);
        ProgressShare share(progress, 0);
        const auto root = NewRoot(&share);
        auto encoder = root->NewEncoder(encoding);
        encode ? encoder->EncodeStream(STDIN_FILENO, STDOUT_FILENO)
               : encoder->DecodeStream(STDIN_FILENO, STDOUT_FILENO);
        progress.finish();
        return kOk;
    }
    if (toStandardOutput(args)) throw UsageError("to write to standard output, read standard input: < FILE");
    const std::string target = outputFor(args, source, encode ? "Enc" : "Dec");
    requireNewOrForced(args, target);
    withProgress(args, source, [&](const std::shared_ptr<engine::EngineRoot>& root) {
        auto encoder = root->NewEncoder(encoding);
        encode ? encoder->EncodeFile(source, target) : encoder->DecodeFile(source, target);
    });
    return kOk;
}

// ---------------------------------------------------------------- the table

const std::vector<Command>& commands() {
    const OptionRule algorithm{"algorithm", 'a', true};
    const OptionRule encoding{"encoding", 'e', true};
    const OptionRule bits{"bits", 0, true};
    const OptionRule key{"key", 'k', true};
    const OptionRule level{"level", 0, true};
    const OptionRule schema{"schema", 0, true};
    static const std::vector<Command> table{
        {"hash",
         "hash [-a md5|sha1|tiger] [-e hex|base64] FILE...\n"
         "hash --check LIST [-a md5|sha1|tiger]\n\n"
         "Prints DIGEST  NAME for each FILE (- or none: standard input), as md5sum does.\n"
         "With --check, reads such a list (also from md5sum, sha1sum or rhash --tiger),\n"
         "prints NAME: OK or NAME: FAILED, and exits 1 if any failed.\n\n"
         "  -a, --algorithm   md5 (default), sha1 or tiger; with --check, found from the digests\n"
         "  -e, --encoding    hex (default) or base64\n"
         "  -c, --check LIST  check the files a list names\n",
         {algorithm, encoding, {"check", 'c', true}},
         hashCommand},
        {"encrypt",
         "encrypt [OPTIONS] FILE\n\n"
         "Encrypts FILE with a key derived from a password, into -o OUT or, without -o,\n"
         "FILE with \"Enc\" before its last four characters (report.txt: reportEnc.txt).\n\n"
         "  --algorithm aes|twofish        default twofish\n"
         "  --bits 128|192|256             default 256\n"
         "  --mode ecb|cbc                 default ecb\n"
         "  --padding x923|pkcs7|zeros     default x923 (the window's FIPS81, PCKS5, ZeroPadding)\n"
         "  --iv TEXT                      CBC's IV; a random one when not given\n"
         "  --level -1..9                  zlib compression, default -1\n"
         "  --encoding binary|base64|hex   default binary\n",
         {algorithm, bits, {"mode", 0, true}, {"padding", 0, true}, {"iv", 0, true}, level, encoding},
         [](const Arguments& a) { return cipherCommand(a, true); }},
        {"decrypt",
         "decrypt [--algorithm aes|twofish] [--bits 128|192|256] FILE\n\n"
         "Decrypts FILE into -o OUT or, without -o, FILE with \"Dec\" before its last four\n"
         "characters. The rest of the settings are read from the data. With -o -, writes\n"
         "to standard output, after the whole file has been authenticated.\n\n"
         "  --algorithm aes|twofish        default twofish\n"
         "  --bits 128|192|256             default 256\n",
         {algorithm, bits},
         [](const Arguments& a) { return cipherCommand(a, false); }},
        {"genkey",
         "genkey [--bits 512|1024|2048] [--seed S] [--schema oaep|pkcs1] -o PRIVATE [--public-out PUBLIC]\n\n"
         "Makes an RSA key pair; saves the private key (which holds the pair) and the public key.\n\n"
         "  --bits 512|1024|2048   default 512\n"
         "  --seed S               optional\n"
         "  --schema oaep|pkcs1    default oaep\n",
         {bits, {"seed", 0, true}, schema, {"public-out", 0, true}},
         genkeyCommand},
        {"rsa-encrypt",
         "rsa-encrypt --key PUBLIC [--schema oaep|pkcs1] [--level -1..9] [--encoding binary|base64|hex] FILE\n\n"
         "Encrypts FILE for the holder of the private key, into -o OUT or FILE with \"Enc\".\n",
         {key, schema, level, encoding},
         [](const Arguments& a) { return rsaCipherCommand(a, true); }},
        {"rsa-decrypt",
         "rsa-decrypt --key PRIVATE [--schema oaep|pkcs1] FILE\n\n"
         "Decrypts FILE into -o OUT or FILE with \"Dec\"; -o - writes to standard output\n"
         "after the whole file has been authenticated.\n",
         {key, schema},
         [](const Arguments& a) { return rsaCipherCommand(a, false); }},
        {"sign",
         "sign --key PRIVATE [--encoding binary|base64|hex] [-o SIGNATURE] FILE\n\n"
         "Signs FILE; the signature goes to -o SIGNATURE or to standard output.\n",
         {key, encoding},
         signCommand},
        {"verify",
         "verify --key PUBLIC --signature SIGNATURE FILE\n\n"
         "Checks SIGNATURE against FILE: prints \"Valid signature\" and exits 0, or exits 1.\n",
         {key, {"signature", 's', true}},
         verifyCommand},
        {"encode",
         "encode [-e base64|hex] [FILE]\n\n"
         "Encodes FILE into -o OUT or FILE with \"Enc\"; without FILE (or with -),\n"
         "streams standard input to standard output.\n\n"
         "  -e, --encoding base64|hex   default base64\n",
         {encoding},
         [](const Arguments& a) { return codecCommand(a, true); }},
        {"decode",
         "decode [-e base64|hex] [FILE]\n\n"
         "Decodes FILE into -o OUT or FILE with \"Dec\"; without FILE (or with -),\n"
         "streams standard input to standard output.\n\n"
         "  -e, --encoding base64|hex   default base64\n",
         {encoding},
         [](const Arguments& a) { return codecCommand(a, false); }},
    };
    return table;
}

bool writesFile(const std::string& name) { return name != "hash" && name != "verify"; }
bool needsPassword(const std::string& name) { return name == "encrypt" || name == "decrypt"; }

std::string commonHelp(const std::string& name) {
    std::string text = "\nCommon options:\n";
    if (writesFile(name)) text += "  -o, --output FILE     where the result goes\n  -f, --force           replace an existing file\n";
    if (needsPassword(name))
        text += "  --password-file FILE  read the password from the first line of FILE\n"
                "  --password-fd N       read the password from descriptor N\n"
                "                        (without either, it is asked on the terminal)\n";
    text += "  -q, --quiet           no progress\n"
            "  --progress            progress as plain lines, even when not on a terminal\n"
            "  -h, --help            this text\n";
    return text;
}

const char* const kMainHelp =
    "Usage: quorval-cli COMMAND [OPTIONS] [FILE...]\n\n"
    "Hashes, encrypts, signs and encodes files with the engine of Quorval,\n"
    "reading and writing the same files as the window.\n\n"
    "Commands:\n"
    "  hash          MD5, SHA-1 or Tiger digests, and checking lists of them\n"
    "  encrypt       encrypt a file with a password (AES or Twofish)\n"
    "  decrypt       decrypt a file encrypted with a password\n"
    "  genkey        make an RSA key pair\n"
    "  rsa-encrypt   encrypt a file with a public key\n"
    "  rsa-decrypt   decrypt a file with a private key\n"
    "  sign          sign a file with a private key\n"
    "  verify        check a signature with a public key\n"
    "  encode        Base64 or Hex encoding\n"
    "  decode        Base64 or Hex decoding\n\n"
    "quorval-cli COMMAND --help describes a command; --version prints the version.\n"
    "Exit codes: 0 success, 1 the operation failed, 2 usage or an unreadable input,\n"
    "130 stopped by Ctrl+C.\n";

std::string oneLine(std::string text) {
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

void printFailure(const std::string& message) {
    std::fflush(stdout);
    const std::string line = "quorval-cli: " + oneLine(message) + "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

}  // namespace

int ExitCodeFor(const EngineError& error) {
    switch (error.kind()) {
        case ErrorKind::Aborted:
            return kStopped;
        case ErrorKind::KeyFile:
            return kUsage;
        default:
            return kFailed;
    }
}

int Run(const std::vector<std::string>& args) {
    try {
        if (args.empty()) {
            std::fputs(kMainHelp, stderr);
            return kUsage;
        }
        const std::string& name = args[0];
        if (name == "--version" || name == "-V") {
            std::printf("quorval-cli " QUORVAL_VERSION "\n");
            return kOk;
        }
        if (name == "--help" || name == "-h" || name == "help") {
            std::fputs(kMainHelp, stdout);
            return kOk;
        }
        const Command* command = nullptr;
        for (const auto& candidate : commands())
            if (name == candidate.name) command = &candidate;
        if (!command) throw UsageError("unknown command " + engine::QuotedName(name) + " (see quorval-cli --help)");
        std::vector<OptionRule> rules = command->options;
        rules.insert(rules.end(), {kHelp, kQuiet, kShowProgress});
        if (writesFile(name)) rules.insert(rules.end(), {kForce, kOutput});
        if (needsPassword(name)) rules.insert(rules.end(), {kPasswordFile, kPasswordFd});
        Arguments parsed;
        try {
            parsed = ParseArguments(rules, std::vector<std::string>(args.begin() + 1, args.end()));
        } catch (const Failure& failure) {
            throw UsageError(name + ": " + failure.what() + " (see quorval-cli " + name + " --help)");
        }
        if (parsed.has("help")) {
            std::printf("Usage: quorval-cli %s%s", command->usage, commonHelp(name).c_str());
            return kOk;
        }
        const int code = command->run(parsed);
        std::fflush(stdout);
        return code;
    } catch (const Failure& failure) {
        printFailure(failure.what());
        return failure.code();
    } catch (const EngineError& error) {
        printFailure(error.what());
        return ExitCodeFor(error);
    } catch (const std::exception& error) {
        printFailure(error.what());
        return kFailed;
    }
}

}  // namespace cli
