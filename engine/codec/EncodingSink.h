// SPDX-License-Identifier: Apache-2.0
#pragma once
// A sink that writes what passes through in one of the text forms.

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/codec/Codec.h"
#include "engine/io/Streams.h"

namespace engine::detail {

// Encodes what passes through into Binary, Base64 or Hex; call finish() last.
class EncodingSink : public ByteSink {
public:
    EncodingSink(ByteSink& next, Encoding encoding)
        : m_next(next), m_encoding(encoding), m_encoder(encoding) {}
    void write(const uint8_t* data, size_t length) override {
        if (m_encoding == Encoding::Binary) return m_next.write(data, length);
        m_text.clear();
        m_encoder.update(data, length, m_text);
        m_next.write(m_text);
    }
    void finish() {
        m_text.clear();
        m_encoder.finish(m_text);
        if (!m_text.empty()) m_next.write(m_text);
    }

private:
    ByteSink& m_next;
    Encoding m_encoding;
    StreamEncoder m_encoder;
    std::string m_text;
};

}  // namespace engine::detail
