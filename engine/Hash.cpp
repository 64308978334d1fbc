#include <botan/hash.h>

#include <array>

#include "engine/Algorithms.h"
#include "engine/Codec.h"
#include "engine/Errors.h"
#include "engine/Files.h"
#include "engine/Objects.h"
#include "engine/Progress.h"
#include "engine/Secret.h"
#include "engine/Worker.h"

namespace engine::detail {

namespace {

constexpr size_t kHashChunk = 4 * kChunkSize;

class HashObject final : public EngineHash {
public:
    HashObject(const EngineContext& context, HashAlgorithm algorithm)
        : m_context(context), m_algorithm(algorithm), m_hashCode(newHashCode()) {
        // Fails early if this build of the library lacks the algorithm.
        translateErrors("Hashing is not available",
                        [&] { Botan::HashFunction::create_or_throw(hashLibraryName(algorithm)); });
    }

    void Encoding(int32_t code) override { m_encoding = encodingFromCode(code); }

    // The encoding is read as the call starts: a progress handler may set it again.
    Text HashText(const Text& text) override {
        const detail::Encoding encoding = m_encoding;
        try {
            auto hash = Botan::HashFunction::create_or_throw(hashLibraryName(m_algorithm));
            Progress progress(m_context.hub, m_hashCode, text.size());
            progress.begin();
            const auto* data = reinterpret_cast<const uint8_t*>(text.data());
            for (size_t offset = 0; offset < text.size(); offset += kChunkSize) {
                const size_t n = std::min(kChunkSize, text.size() - offset);
                hash->update(data + offset, n);
                progress.advance(n);
            }
            const auto digest = hash->final();
            progress.finish();
            return encode(encoding, digest.data(), digest.size());
        } catch (...) {
            rethrowAsEngineError("Hashing failed");
        }
    }

    Text HashFile(const Text& path) override {
        const detail::Encoding encoding = m_encoding;
        try {
            auto hash = Botan::HashFunction::create_or_throw(hashLibraryName(m_algorithm));
            InputFile file(path);
            Progress progress(m_context.hub, m_hashCode, file.size());
            progress.begin();
            // One thread reads the next buffer while the other hashes this one.
            const bool threaded = file.size() >= kThreadedFrom;
            std::array<Bytes, 2> buffers{Bytes(kHashChunk), Bytes(threaded ? kHashChunk : 0)};
            Worker worker(threaded);
            for (int current = 0;; current ^= threaded ? 1 : 0) {
                const uint8_t* data = buffers[current].data();
                const size_t n = file.read(buffers[current].data(), kHashChunk);
                if (n == 0) break;
                worker.submit([&hash, data, n] { hash->update(data, n); });
                progress.advance(n);
            }
            worker.wait();
            const auto digest = hash->final();
            progress.finish();
            return encode(encoding, digest.data(), digest.size());
        } catch (...) {
            rethrowNamingFile(path);
        }
    }

private:
    EngineContext m_context;
    HashAlgorithm m_algorithm;
    int32_t m_hashCode;
    detail::Encoding m_encoding = detail::Encoding::Binary;
};

}  // namespace

std::shared_ptr<EngineHash> NewHashObject(const EngineContext& context, int32_t algorithm) {
    return std::make_shared<HashObject>(context, hashFromCode(algorithm));
}

}  // namespace engine::detail
