// SPDX-License-Identifier: Apache-2.0
#pragma once
// What the fuzzing harnesses share: a failed check that libFuzzer reports as a
// crash, a reader of fuzzer bytes, a strict reference of the Base64 and Hex
// decoders, and the text forms a container or a signature may arrive in.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/Engine.h"

namespace fuzz {

using engine::ErrorKind;
using engine::OutputEncoding;

// Prints what went wrong and aborts: libFuzzer saves the input as a crash.
[[noreturn]] void fail(const std::string& what);
inline void check(bool ok, const std::string& what) {
    if (!ok) fail(what);
}

const char* kindName(ErrorKind kind);
// At most 64 bytes of `bytes` in hex, for failure messages.
std::string preview(const std::string& bytes);

// Reads the fuzzer's bytes from the front; past the end every read gives zeros,
// so that any input builds something.
class Reader {
public:
    Reader(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_at < m_size ? m_data[m_at++] : 0; }
    uint16_t u16() { return static_cast<uint16_t>(byte() << 8 | byte()); }
    uint32_t u32() { return static_cast<uint32_t>(u16()) << 16 | u16(); }
    // Up to `length` bytes, fewer when the input ends.
    std::string bytes(size_t length);
    std::string rest() { return bytes(m_size - m_at); }
    size_t left() const { return m_size - m_at; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// --- The reference codec ------------------------------------------------------
//
// Written from docs/encoding.md alone, one character at a time: blanks are
// space, tab, CR and LF; Base64 may end with or without its padding, padding
// must be complete and only blanks may follow it; positions count from 1.

struct RefDecoded {
    bool ok = true;
    std::string bytes;    // whole groups decoded before any error
    std::string message;  // the engine's words for the first fault
    bool atEnd = false;   // the fault is only known at the end of the text
};

RefDecoded refDecode(OutputEncoding encoding, const std::string& text);
std::string refEncode(OutputEncoding encoding, const std::string& bytes);
bool isBlank(char c);
std::string withoutBlanks(const std::string& text);

// --- Text forms ---------------------------------------------------------------

// Turns bytes into the text a user might paste: Binary, Base64 (padded or
// not) or Hex (either case), with blanks put in, one character replaced or the
// text cut, each as the fuzzer's bytes choose.
std::string applyTextForm(Reader& in, const std::string& bytes);

// A private folder on tmpfs (or TMPDIR) for files the engine must read;
// removed at exit.
std::string scratchFile(const std::string& name);
void writeFile(const std::string& path, const std::string& bytes);
std::string readFile(const std::string& path);

}  // namespace fuzz
