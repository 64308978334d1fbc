// SPDX-License-Identifier: Apache-2.0
#include "engine/core/Errors.h"

#include <botan/exceptn.h>
#include <botan/mem_ops.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <system_error>

#include "engine/core/Secret.h"

namespace engine::detail {

namespace {

std::string withContext(const std::string& context, const std::string& reason) {
    return context.empty() ? reason : context + ": " + reason;
}

const char kDamagedWords[] = "wrong password or key, or the data is damaged or incomplete.";

void appendHex(std::string& out, const char* prefix, uint32_t value, int digits) {
    static const char kDigits[] = "0123456789ABCDEF";
    out += prefix;
    for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kDigits[(value >> shift) & 15];
}

// The length of the valid UTF-8 sequence at `at` and its code point, or 0.
size_t utf8Sequence(const unsigned char* at, size_t left, uint32_t& codePoint) {
    const unsigned char lead = at[0];
    size_t length;
    unsigned char low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        codePoint = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;   // no overlong forms
        if (lead == 0xED) high = 0x9F;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        codePoint = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || at[1] < low || at[1] > high) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((at[i] & 0xC0) != 0x80) return 0;
        codePoint = (codePoint << 6) | (at[i] & 0x3F);
    }
    return length;
}

// Unicode's format characters (general category Cf, Unicode 15.0): zero
// width, invisible, or turning the text around on screen.
constexpr uint32_t kFormatCharacters[][2] = {
    {0x00AD, 0x00AD},   {0x0600, 0x0605},   {0x061C, 0x061C},   {0x06DD, 0x06DD},   {0x070F, 0x070F},
    {0x0890, 0x0891},   {0x08E2, 0x08E2},   {0x180E, 0x180E},   {0x200B, 0x200F},   {0x202A, 0x202E},
    {0x2060, 0x2064},   {0x2066, 0x206F},   {0xFEFF, 0xFEFF},   {0xFFF9, 0xFFFB},   {0x110BD, 0x110BD},
    {0x110CD, 0x110CD}, {0x13430, 0x1343F}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A}, {0xE0001, 0xE0001},
    {0xE0020, 0xE007F},
};

// Characters a name must not show as they are: the C1 controls, the line and
// paragraph separators, and the format characters.
bool isInvisibleControl(uint32_t c) {
    if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029) return true;
    for (const auto& range : kFormatCharacters)
        if (c >= range[0] && c <= range[1]) return true;
    return false;
}

}  // namespace

void scrubMemory(void* data, size_t length) { Botan::secure_scrub_memory(data, length); }

__attribute__((noinline)) void scrubStackBelow() {
    unsigned char area[64 * 1024];
    scrubMemory(area, sizeof area);
}

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUORVAL_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(QUORVAL_ADDRESS_SANITIZER)
// AddressSanitizer watches the heap, not the library's pool: the sanitizer
// builds keep secrets on the heap, so that an overrun of one is still caught.
void* allocateSecret(size_t length) {
    void* data = std::calloc(length == 0 ? 1 : length, 1);
    if (!data) throw std::bad_alloc();
    return data;
}

void freeSecret(void* data, size_t length) {
    scrubMemory(data, length);
    std::free(data);
}
#else
void* allocateSecret(size_t length) {
    // The library's allocator counts elements; one byte each here.
    void* data = Botan::allocate_memory(length == 0 ? 1 : length, 1);
    if (!data) throw std::bad_alloc();
    return data;
}

void freeSecret(void* data, size_t length) { Botan::deallocate_memory(data, length == 0 ? 1 : length, 1); }
#endif

void rethrowAsEngineError(const std::string& context, ErrorKind damagedKind) {
    try {
        throw;
    } catch (const EngineError&) {
        throw;
    } catch (const std::bad_alloc&) {
        throw EngineError(ErrorKind::TooLarge, withContext(context, "not enough memory for this data."));
    } catch (const Botan::Exception& e) {
        // The library's own words name its internals (assertions, classes,
        // source files): the user gets ours.
        switch (e.error_type()) {
            case Botan::ErrorType::InvalidTag:
            case Botan::ErrorType::DecodingFailure:
                throw EngineError(damagedKind, withContext(context, kDamagedWords));
            case Botan::ErrorType::InvalidArgument:
            case Botan::ErrorType::InvalidKeyLength:
            case Botan::ErrorType::InvalidNonceLength:
                throw EngineError(ErrorKind::InvalidInput,
                                  withContext(context, "the data or a setting does not suit this operation."));
            case Botan::ErrorType::IoError:
            case Botan::ErrorType::SystemError:
                throw EngineError(ErrorKind::Io, withContext(context, "reading or writing failed."));
            case Botan::ErrorType::OutOfMemory:
                throw EngineError(ErrorKind::TooLarge,
                                  withContext(context, "not enough memory for this data."));
            default:
                throw EngineError(ErrorKind::Internal,
                                  withContext(context, "the cryptography library failed unexpectedly."));
        }
    } catch (const std::system_error& e) {
        throw EngineError(ErrorKind::Internal,
                          withContext(context, "the system refused a resource: " + e.code().message() + "."));
    } catch (...) {
        throw EngineError(ErrorKind::Internal, withContext(context, "unexpected failure."));
    }
}

std::string escapedText(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = bytes[i];
        if (c >= 0x80) {
            uint32_t codePoint = 0;
            const size_t length = utf8Sequence(bytes + i, text.size() - i, codePoint);
            if (length == 0) {
                appendHex(out, "\\x", c, 2);
                ++i;
            } else {
                if (isInvisibleControl(codePoint))
                    appendHex(out, codePoint > 0xFFFF ? "\\U" : "\\u", codePoint, codePoint > 0xFFFF ? 8 : 4);
                else
                    out.append(text, i, length);
                i += length;
            }
            continue;
        }
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F) {
            appendHex(out, "\\x", c, 2);
        } else {
            out += static_cast<char>(c);
        }
        ++i;
    }
    return out;
}

std::string quotedPath(const std::string& path) { return QuotedName(path); }

EngineError ioError(const std::string& what, const std::string& path, int errorNumber) {
    return EngineError(ErrorKind::Io,
                       what + " " + quotedPath(path) + ": " + std::strerror(errorNumber) + ".");
}

void rethrowNamingFile(const std::string& path) {
    try {
        rethrowAsEngineError("");
    } catch (const EngineError& e) {
        const std::string description = e.what();
        const std::string name = quotedPath(path);
        if (e.kind() == ErrorKind::Aborted || e.kind() == ErrorKind::Io ||
            description.find(name) != std::string::npos)
            throw;
        throw EngineError(e.kind(), name + ": " + description);
    }
}

EngineError abortedError() { return EngineError(ErrorKind::Aborted, "The operation was aborted."); }

EngineError damagedError() {
    return EngineError(ErrorKind::WrongKeyOrDamaged, std::string("Cannot decrypt: ") + kDamagedWords);
}

EngineError truncatedError() { return damagedError(); }

EngineError notOurDataError() {
    return EngineError(ErrorKind::NotOurData,
                       "This is not data encrypted by this program (its format is not recognised).");
}

}  // namespace engine::detail

namespace engine {

std::string QuotedName(const Text& path) { return "\"" + detail::escapedText(path) + "\""; }

}  // namespace engine
