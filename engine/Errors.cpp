#include "engine/Errors.h"

#include <botan/exceptn.h>
#include <botan/mem_ops.h>

#include <cstring>
#include <new>
#include <system_error>

#include "engine/Secret.h"

namespace engine::detail {

namespace {

std::string withContext(const std::string& context, const std::string& reason) {
    return context.empty() ? reason : context + ": " + reason;
}

const char kDamagedWords[] = "wrong password or key, or the data is damaged or incomplete.";

}  // namespace

void scrubMemory(void* data, size_t length) { Botan::secure_scrub_memory(data, length); }

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

EngineError ioError(const std::string& what, const std::string& path, int errorNumber) {
    return EngineError(ErrorKind::Io, what + " \"" + path + "\": " + std::strerror(errorNumber) + ".");
}

void rethrowNamingFile(const std::string& path) {
    try {
        rethrowAsEngineError("");
    } catch (const EngineError& e) {
        const std::string description = e.what();
        if (e.kind() == ErrorKind::Aborted || e.kind() == ErrorKind::Io ||
            description.find("\"" + path + "\"") != std::string::npos)
            throw;
        throw EngineError(e.kind(), "\"" + path + "\": " + description);
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
