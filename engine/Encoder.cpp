// SPDX-License-Identifier: Apache-2.0
#include "engine/Codec.h"
#include "engine/Errors.h"
#include "engine/FileJob.h"
#include "engine/Files.h"
#include "engine/Objects.h"
#include "engine/Progress.h"
#include "engine/Relay.h"
#include "engine/Secret.h"

namespace engine::detail {

namespace {

// The writing stage of file decoding.
class PieceWriter {
public:
    explicit PieceWriter(AtomicOutputFile& output) : m_output(output) {}
    void operator()(const std::string& piece) { m_output.write(piece); }

private:
    AtomicOutputFile& m_output;
};

class EncoderObject final : public EngineEncoder {
public:
    EncoderObject(const EngineContext& context, Encoding encoding)
        : m_context(context), m_encoding(encoding), m_hashCode(newHashCode()) {}

    Text EncodeText(const Text& text) override {
        try {
            Progress progress(m_context.hub, m_hashCode, text.size());
            progress.begin();
            std::string out;
            out.reserve(static_cast<size_t>(encodedLength(m_encoding, text.size())));
            StreamEncoder encoder(m_encoding);
            const auto* data = reinterpret_cast<const uint8_t*>(text.data());
            for (size_t offset = 0; offset < text.size(); offset += kChunkSize) {
                const size_t n = std::min(kChunkSize, text.size() - offset);
                encoder.update(data + offset, n, out);
                progress.advance(n);
            }
            encoder.finish(out);
            progress.finish();
            return out;
        } catch (...) {
            rethrowAsEngineError("Encoding failed");
        }
    }

    Text DecodeText(const Text& text) override {
        try {
            Progress progress(m_context.hub, m_hashCode, text.size());
            progress.begin();
            std::string out;
            StreamDecoder decoder(m_encoding);
            for (size_t offset = 0; offset < text.size(); offset += kChunkSize) {
                const size_t n = std::min(kChunkSize, text.size() - offset);
                decoder.update(text.data() + offset, n, out);
                progress.advance(n);
            }
            decoder.finish(out);
            progress.finish();
            return out;
        } catch (...) {
            rethrowAsEngineError("Decoding failed");
        }
    }

    // One thread: with the library's codec, a second one that encodes half
    // of each chunk or writes the output costs more than it saves here.
    void EncodeFile(const Text& sourcePath, const Text& targetPath) override {
        fileToFile(m_context, m_hashCode, sourcePath, targetPath,
                   [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                       StreamEncoder encoder(m_encoding);
                       Bytes buffer(kChunkSize);
                       std::string out;
                       while (const size_t n = input.read(buffer.data(), buffer.size())) {
                           out.clear();
                           encoder.update(buffer.data(), n, out);
                           output.write(out);
                           progress.advance(n);
                       }
                       out.clear();
                       encoder.finish(out);
                       output.write(out);
                   });
    }

    void DecodeFile(const Text& sourcePath, const Text& targetPath) override {
        fileToFile(
            m_context, m_hashCode, sourcePath, targetPath,
            [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                StreamDecoder decoder(m_encoding);
                std::string buffer(kChunkSize, '\0');
                // Decoding one piece while the writing stage writes the other: the
                // disk, not the codec, sets the pace of a large file.
                Relay<std::string, PieceWriter> writer(input.size() >= kThreadedFrom,
                                                       std::vector<std::string>(2), output);
                while (const size_t n = input.read(reinterpret_cast<uint8_t*>(&buffer[0]), buffer.size())) {
                    std::string piece = writer.take();
                    piece.clear();
                    decoder.update(buffer.data(), n, piece);
                    writer.send(std::move(piece));
                    progress.advance(n);
                }
                writer.finish();
                std::string rest;
                decoder.finish(rest);
                output.write(rest);
            });
    }

private:
    EngineContext m_context;
    Encoding m_encoding;
    int32_t m_hashCode;
};

}  // namespace

std::shared_ptr<EngineEncoder> NewEncoderObject(const EngineContext& context, OutputEncoding encoding) {
    return std::make_shared<EncoderObject>(context, checkedEncoding(encoding));
}

}  // namespace engine::detail
