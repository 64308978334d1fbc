// SPDX-License-Identifier: Apache-2.0
#pragma once
// Turning library and system failures into EngineError with words a user
// understands. Tests check the ErrorKind, never the wording.

#include <string>
#include <utility>

#include "engine/Engine.h"

namespace engine::detail {

// Call inside a catch block: rethrows the exception in flight as an
// EngineError. An EngineError passes unchanged; std::bad_alloc becomes TooLarge;
// an invalid argument becomes InvalidInput; an invalid authentication tag,
// bad padding or a decoding error of cipher data becomes `damagedKind`
// (WrongKeyOrDamaged by default); anything else becomes Internal. The
// description is always the engine's own: no library text (assertions,
// exception names, source files) reaches the user. `context` starts it, e.g.
// "Decrypting C:/a.txt".
[[noreturn]] void rethrowAsEngineError(const std::string& context,
                                       ErrorKind damagedKind = ErrorKind::WrongKeyOrDamaged);

// Runs `work`, translating any failure with rethrowAsEngineError.
template <class Work>
auto translateErrors(const std::string& context, Work&& work) -> decltype(work()) {
    try {
        return std::forward<Work>(work)();
    } catch (...) {
        rethrowAsEngineError(context);
    }
}

// `text` on one line and as it is: control characters, line and paragraph
// separators and Unicode's format characters (zero-width, byte-order and
// direction marks among them) as escapes (\n, \t, \r, \xNN, \uNNNN, and
// \UNNNNNNNN beyond U+FFFF), each byte that is not part of valid UTF-8 as
// \xNN, and a backslash as \\.
std::string escapedText(const std::string& text);

// A file's name as every message shows it: QuotedName (Engine.h).
std::string quotedPath(const std::string& path);

// EngineError(Io) "<what> <quoted path>: <reason of errno>".
EngineError ioError(const std::string& what, const std::string& path, int errorNumber);

// The same messages everywhere for the same situations.
EngineError abortedError();     // Aborted: "The operation was aborted."
EngineError damagedError();     // WrongKeyOrDamaged: wrong password/key or damaged data
EngineError truncatedError();   // the same words as damagedError: no hint for an attacker
EngineError notOurDataError();  // NotOurData

// Inside a catch block: like rethrowAsEngineError, and the description starts
// with the quoted path when it does not name it already (an abort and an Io
// error, which names its own path, keep their words).
[[noreturn]] void rethrowNamingFile(const std::string& path);

}  // namespace engine::detail
