// SPDX-License-Identifier: Apache-2.0
#include "engine/codec/Encoder.h"

#include "engine/codec/Codec.h"
#include "engine/core/Errors.h"
#include "engine/core/Progress.h"
#include "engine/core/Relay.h"
#include "engine/core/Secret.h"
#include "engine/io/Descriptors.h"
#include "engine/io/FileJob.h"
#include "engine/io/Files.h"
#include "engine/io/Streams.h"

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
            MemorySource source(text);
            StreamEncoder encoder(m_encoding);
            feedPieces(source, kChunkSize, progress,
                       [&](const uint8_t* data, size_t length) { encoder.update(data, length, out); });
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
            MemorySource source(text);
            StreamDecoder decoder(m_encoding);
            feedPieces(source, kChunkSize, progress, [&](const uint8_t* data, size_t length) {
                decoder.update(reinterpret_cast<const char*>(data), length, out);
            });
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
                       FileSource source(input);
                       StreamEncoder encoder(m_encoding);
                       std::string out;
                       feedPieces(source, kChunkSize, progress, [&](const uint8_t* data, size_t length) {
                           out.clear();
                           encoder.update(data, length, out);
                           output.write(out);
                       });
                       out.clear();
                       encoder.finish(out);
                       output.write(out);
                   });
    }

    void DecodeFile(const Text& sourcePath, const Text& targetPath) override {
        fileToFile(m_context, m_hashCode, sourcePath, targetPath,
                   [&](InputFile& input, AtomicOutputFile& output, Progress& progress) {
                       FileSource source(input);
                       StreamDecoder decoder(m_encoding);
                       // Decoding one piece while the writing stage writes the other: the
                       // disk, not the codec, sets the pace of a large file.
                       Relay<std::string, PieceWriter> writer(input.size() >= kThreadedFrom,
                                                              std::vector<std::string>(2), output);
                       feedPieces(source, kChunkSize, progress, [&](const uint8_t* data, size_t length) {
                           std::string piece = writer.take();
                           piece.clear();
                           decoder.update(reinterpret_cast<const char*>(data), length, piece);
                           writer.send(std::move(piece));
                       });
                       writer.finish();
                       std::string rest;
                       decoder.finish(rest);
                       output.write(rest);
                   });
    }

    void EncodeStream(int inFd, int outFd) override {
        try {
            Progress progress(m_context.hub, m_hashCode, 0);
            progress.begin();
            DescriptorSource source(inFd, progress);
            DescriptorSink sink(outFd, "the output");
            StreamEncoder encoder(m_encoding);
            std::string out;
            feedPieces(source, kChunkSize, progress, [&](const uint8_t* data, size_t length) {
                out.clear();
                encoder.update(data, length, out);
                sink.write(out);
            });
            out.clear();
            encoder.finish(out);
            sink.write(out);
            progress.finish();
        } catch (...) {
            rethrowAsEngineError("Encoding failed");
        }
    }

    void DecodeStream(int inFd, int outFd) override {
        try {
            Progress progress(m_context.hub, m_hashCode, 0);
            progress.begin();
            DescriptorSource source(inFd, progress);
            DescriptorSink sink(outFd, "the output");
            StreamDecoder decoder(m_encoding);
            std::string out;
            feedPieces(source, kChunkSize, progress, [&](const uint8_t* data, size_t length) {
                out.clear();
                decoder.update(reinterpret_cast<const char*>(data), length, out);
                sink.write(out);
            });
            out.clear();
            decoder.finish(out);
            sink.write(out);
            progress.finish();
        } catch (...) {
            rethrowAsEngineError("Decoding failed");
        }
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
