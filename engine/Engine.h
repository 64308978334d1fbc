// SPDX-License-Identifier: Apache-2.0
#pragma once
// The cryptography engine as the window logic sees it: one root object that
// creates per-kind objects, and a progress event raised on the root.
// No Botan type appears here; the implementation lives behind CreateEngineRoot.

#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace engine {

// Texts are byte strings: typed text arrives as UTF-8, results may be binary.
using Text = std::string;

enum class ErrorKind {
    Aborted,          // the progress handler asked to stop
    WrongKeyOrDamaged,  // authentication failed: wrong password/key, or altered data
    NotOurData,       // input is not a container this engine wrote
    WrongSettings,    // container needs another algorithm or key length
    InvalidInput,     // bad Base64/Hex, bad argument, out-of-range code
    TooLarge,         // an in-memory result would exceed the documented limit
    Io,               // a file could not be opened, read or written
    KeyFile,          // a key file is missing, garbage, truncated or of the other kind
    MissingKey,       // an operation needs a key the object does not hold
    Internal,         // anything else
};

// Every failure of the engine is an EngineError; what() is the description
// shown to the user.
class EngineError : public std::runtime_error {
public:
    EngineError(ErrorKind kind, const std::string& description)
        : std::runtime_error(description), m_kind(kind) {}
    ErrorKind kind() const { return m_kind; }

private:
    ErrorKind m_kind;
};

// A file's name as every message shows it, the engine's and the window's
// alike: in double quotes, on one line and as it is, with control, format
// and direction characters as \n, \t, \r, \xNN, \uNNNN or \UNNNNNNNN, each
// byte that is not valid UTF-8 as \xNN, and a backslash as \\.
std::string QuotedName(const Text& path);

// The codes the engine takes. A value outside its list can still be cast
// into one of them; the engine refuses it with ErrorKind::InvalidInput.

// The text form of results: bytes as they are, Base64 or Hex.
enum class OutputEncoding : int32_t { Binary = 0, Base64 = 1, Hex = 2 };
enum class HashAlgorithm : int32_t { Md5 = 0, Sha1 = 1, Tiger = 2 };
enum class SymAlgorithm : int32_t { Aes = 0, Twofish = 1 };
enum class ModeOfOperation : int32_t { Ecb = 0, Cbc = 1 };
// Zeros: zero bytes; Pkcs7: PKCS#7; X923: ANSI X9.23.
enum class BlockPadding : int32_t { Zeros = 0, Pkcs7 = 1, X923 = 2 };
// How RSA encryption pads the key it wraps: PKCS#1 v1.5 or OAEP.
enum class EncryptionSchema : int32_t { Pkcs1 = 0, Oaep = 1 };
enum class KeyKind : int32_t { KeyPair = 2, PrivateKey = 3, PublicKey = 4 };

class EngineHash {
public:
    virtual ~EngineHash() = default;
    virtual void Encoding(OutputEncoding encoding) = 0;
    virtual Text HashText(const Text& text) = 0;
    virtual Text HashFile(const Text& path) = 0;
    // Everything that can be read from the descriptor (a pipe, standard
    // input), up to its end; the descriptor stays open.
    virtual Text HashStream(int fd) = 0;
};

class EngineCipher {
public:
    virtual ~EngineCipher() = default;
    virtual Text EncryptText(const Text& text) = 0;
    virtual Text DecryptText(const Text& text) = 0;
    virtual void EncryptFile(const Text& sourcePath, const Text& targetPath) = 0;
    virtual void DecryptFile(const Text& sourcePath, const Text& targetPath) = 0;
    // Decrypts a regular file into the descriptor (standard output): a first
    // pass authenticates the whole file and writes nothing; only then does a
    // second pass write, and it fails before writing any piece of a file that
    // has changed since.
    virtual void DecryptFileToStream(const Text& sourcePath, int fd) = 0;
    virtual void Compression(int16_t level) = 0;
    virtual void Encoding(OutputEncoding encoding) = 0;
};

class EngineSymCipher : public EngineCipher {
public:
    virtual void CipherMode(ModeOfOperation mode) = 0;
    virtual void Padding(BlockPadding padding) = 0;
    virtual void IV(const Text& iv) = 0;
};

class EngineAsymKey : public EngineCipher {
public:
    virtual void SaveToFile(const Text& path) = 0;
    virtual Text SignFile(const Text& path) = 0;
    virtual Text SignText(const Text& text) = 0;
    virtual bool VerifyFile(const Text& path, const Text& signature) = 0;
    virtual bool VerifyText(const Text& text, const Text& signature) = 0;
};

class EngineEncoder {
public:
    virtual ~EngineEncoder() = default;
    virtual Text EncodeText(const Text& text) = 0;
    virtual void EncodeFile(const Text& sourcePath, const Text& targetPath) = 0;
    virtual Text DecodeText(const Text& text) = 0;
    virtual void DecodeFile(const Text& sourcePath, const Text& targetPath) = 0;
    // From one descriptor to another as the data comes (standard input to
    // standard output), until the input ends. Decoding writes what it has
    // decoded before it meets bad input: a stream cannot be taken back.
    virtual void EncodeStream(int inFd, int outFd) = 0;
    virtual void DecodeStream(int inFd, int outFd) = 0;
};

// position: 0..100 while working, above 100 once finished. hashCode identifies
// the reporting object. Setting Abort to true stops the running call, which
// then fails with ErrorKind::Aborted.
using OnProcessHandler = std::function<void(int32_t position, int32_t hashCode, bool& Abort)>;

class EngineRoot {
public:
    virtual ~EngineRoot() = default;

    // Connects the window to the root's OnProcess event (one handler; an empty
    // function disconnects).
    virtual void SetOnProcess(OnProcessHandler handler) = 0;

    virtual std::shared_ptr<EngineHash> NewHash(HashAlgorithm algorithm) = 0;
    virtual std::shared_ptr<EngineSymCipher> NewSymCipher(SymAlgorithm algorithm, const Text& password,
                                                          int32_t keyBits) = 0;
    // Returns the private key; the public half is stored into publicKey.
    virtual std::shared_ptr<EngineAsymKey> NewKeyPair(KeyKind keyKind, int32_t keyBits, const Text& seed,
                                                      EncryptionSchema schema,
                                                      std::shared_ptr<EngineAsymKey>& publicKey) = 0;
    virtual std::shared_ptr<EngineAsymKey> LoadKey(const Text& fileName, KeyKind keyKind,
                                                   EncryptionSchema schema) = 0;
    virtual std::shared_ptr<EngineEncoder> NewEncoder(OutputEncoding encoding) = 0;
};

// Tuning that only tests and benchmarks change.
struct EngineOptions {
    // New password-encrypted data derives its key with Argon2id; these lower
    // its memory (KiB), passes and lanes (0 = the engine's default: 64 MiB, 3
    // passes, 4 lanes). Decryption always uses the cost recorded in the data.
    uint32_t argon2MemoryKiB = 0;
    uint32_t argon2Passes = 0;
    uint32_t argon2Lanes = 0;
    // Not 0: PBKDF2-HMAC-SHA-256 with this many iterations instead, as data
    // written before Argon2id.
    uint32_t kdfIterations = 0;
};

// Creates the real engine. Its self-test (known-answer tests of the
// libraries) runs at the first factory call below: when the libraries are
// unusable, every factory call throws EngineError(Internal) with a
// description, and no object is made.
std::shared_ptr<EngineRoot> CreateEngineRoot(const EngineOptions& options = {});

// The name a file operation gives its output when none is chosen: `suffix`
// ("Enc", "Dec") inserted before the last four characters of the path (a
// shorter name gets it in front), never before a folder separator:
// "report.txt" gives "reportEnc.txt". Every front end names outputs so.
Text NameBeside(const Text& path, const Text& suffix);

// The size of the regular file at `path` (for progress shown in bytes);
// throws EngineError(Io) as reading it would.
uint64_t FileSize(const Text& path);

// Reads a whole regular file of at most `limit` bytes (a signature, a
// list of digests); a larger one throws TooLarge.
Text ReadWholeFile(const Text& path, uint64_t limit);

// Writes `data` to a new file that appears at `path` only once complete,
// with the engine's rules for what a target may replace.
void WriteWholeFile(const Text& path, const Text& data);

// For a program's first lines: no core file on a crash (core limit 0) and
// the process not dumpable, so that another process of the same user cannot
// attach to it or read its memory. Needs no window: every front end calls it.
void HardenProcess();

// Wakes the streamed call that waits for input on a descriptor, or is about
// to (one at a time: the call that wakes takes the wake): it reports progress
// at once, so its OnProcess handler can abort. Async-signal-safe: a front end
// calls it from its signal handler.
void WakeWaitingReads() noexcept;

}  // namespace engine
