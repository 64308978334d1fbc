// SPDX-License-Identifier: Apache-2.0
#pragma once
// The encrypted container written by password encryption and by RSA
// encryption alike (byte layout in docs/password-container.md):
//
//   header | header tag | cipher text | data length | tag
//
// The header records everything decryption needs: format version, the key
// source with its key block, cipher, key length, mode, padding, compression
// and IV. A key source turns its key block into a secret (password: PBKDF2
// over the password and a fresh salt; RSA: a fresh random secret wrapped with
// the public key); HKDF-SHA-256 expands the secret into the cipher key and the
// HMAC-SHA-256 key. The header tag (HMAC of the header) tells a wrong password
// or key at once, before the recorded settings are trusted; the tag (HMAC of
// everything before it) is compared in constant time before any result
// counts: decryption runs in one pass, and its output is committed only once
// the tag has matched. The data is compressed (zlib, one stream), then padded,
// then encrypted. Whole containers may be Binary, Base64 or Hex; opening
// recognises each form by itself.
//
// Failures are EngineError: WrongKeyOrDamaged (wrong password or key, altered
// or truncated data, always the same words), NotOurData (not a container, a
// format version 0, or a newer format version, or another key derivation or a cost above the limit),
// WrongSettings (needs another algorithm or key length, or another kind of
// key), InvalidInput (bad Base64/Hex), TooLarge (a text to encrypt or a text
// result above kMaxTextResult), Io (files), Aborted.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/codec/Codec.h"
#include "engine/container/CipherSettings.h"
#include "engine/container/KeySources.h"
#include "engine/core/Context.h"
#include "engine/core/Secret.h"

namespace engine::detail {

// --- Limits ----------------------------------------------------------------

// Largest result of DecryptText (after decompression) held in memory, and so
// the largest text EncryptText takes: what it writes must read back as a text.
constexpr uint64_t kMaxTextResult = 64ull << 20;
// The form of a container is told from this many bytes at its start: the
// magic's digits must lie within them, blanks and line breaks around them
// skipped.
constexpr size_t kFormLookAhead = 192 * 1024;

// --- Settings ----------------------------------------------------------------

struct SealSettings {
    DataCipher cipher;
    int16_t compression = 0;  // zlib level 1..9; -1 zlib's default (6); 0 no compression stage
    Encoding output = Encoding::Binary;
    // CBC only: empty gives a fresh random IV; any other text gives the first
    // 16 bytes of SHA-256 of its bytes. Either way the IV is recorded.
    std::string ivText;
};

// What RSA encryption uses: AES-256 CBC PKCS#7 with a random IV, and the key
// object's compression level and output encoding.
SealSettings rsaSealSettings(int16_t compression, Encoding output);

// Checked against the header once the header tag has proved the key right.
struct OpenRules {
    // When set, the container must use this algorithm and key length, else
    // WrongSettings naming what it needs (password decryption sets it; RSA
    // leaves it empty).
    std::optional<CipherAlgorithm> algorithm;
    uint32_t keyBits = 0;
};

// --- Sealing and opening ---------------------------------------------------------
//
// hashCode is the calling object's code for OnProcess (see newHashCode in
// Progress.h). Every call reports 0 first and above 100 last, honours Abort on
// every report (the last included, before a file is committed), and leaves no
// partial output file: files are written through AtomicOutputFile, and an
// existing target stays untouched on any failure. File failures name the path.
// Settings and rules are copies taken as the call starts: a progress handler
// may set the calling object's again while the call runs.

// A text above kMaxTextResult throws TooLarge before any work.
std::string sealText(const EngineContext& context, int32_t hashCode, const std::string& plain,
                     SealSettings settings, KeySealer& key);
// Takes the container in any of the three forms; a result above
// kMaxTextResult throws TooLarge.
std::string openText(const EngineContext& context, int32_t hashCode, const std::string& container,
                     KeyOpener& key, OpenRules rules);

// Streams with memory independent of the file's size. Opening reads the
// source once, authenticating and decrypting as it goes into an output that
// has no name yet (or a hidden 0600 one), and puts it in place only when the
// tag over exactly what was read has matched.
void sealFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, SealSettings settings, KeySealer& key);
void openFile(const EngineContext& context, int32_t hashCode, const std::string& sourcePath,
              const std::string& targetPath, KeyOpener& key, OpenRules rules);

// Decrypts a regular file into a descriptor in two passes over one opening
// of the key: the first authenticates everything and writes nothing, the
// second writes, checking the header and its tag again, and before each piece
// it writes that the file has not changed since it was opened (the tag is
// checked again at its end).
void openFileToStream(const EngineContext& context, int32_t hashCode, const std::string& sourcePath, int fd,
                      KeyOpener& key, OpenRules rules);

// The block layer alone (ECB or CBC over whole blocks, no padding), exactly as
// containers use it; for known-answer tests.
Bytes cryptBlocks(const DataCipher& cipher, const Bytes& key, const Bytes& iv, bool encrypt,
                  const Bytes& data);

// The compression layer alone, exactly as containers use it: `data` as one
// zlib stream at `level` (1 to 9), and a stream decompressed as decryption
// hands it over, in pieces of the given sizes (the rest as one last piece);
// `steps`, when given, receives the number of calls into zlib. For tests and
// benchmarks.
Bytes zlibCompress(const Bytes& data, int level);
Bytes zlibDecompress(const Bytes& stream, const std::vector<size_t>& pieces, size_t* steps = nullptr);

}  // namespace engine::detail
