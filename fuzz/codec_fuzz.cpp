// SPDX-License-Identifier: Apache-2.0
// Base64 and Hex: checking and decoding whole and piece by piece, encoding,
// and telling the forms apart, each against the strict reference of
// FuzzSupport.cpp; decoding also against OpenSSL's decoder where both accept.
//
// Input: one byte choosing the encoding (bits 0-1) and the operation (2-3), one byte counting
// the places where the text is split, two bytes for each place, then the text.

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "engine/codec/Codec.h"
#include "fuzz/FuzzSupport.h"

using namespace fuzz;
using engine::detail::StreamDecoder;
using engine::detail::StreamEncoder;

namespace {

const std::string kMagic(
    "\x8F"
    "QRVC\x1A",
    6);

std::shared_ptr<engine::EngineRoot> root() {
    static const auto made = engine::CreateEngineRoot();
    return made;
}

const char* formName(std::optional<OutputEncoding> form) {
    if (!form) return "none";
    return *form == OutputEncoding::Binary ? "Binary" : *form == OutputEncoding::Base64 ? "Base64" : "Hex";
}

// The outcome of a decoding: the bytes, or the words of its refusal.
struct Outcome {
    bool ok = true;
    std::string value;
    bool operator==(const Outcome& other) const { return ok == other.ok && value == other.value; }
    std::string describe() const { return ok ? "bytes " + preview(value) : "refusal \"" + value + "\""; }
};

template <class Decode>
Outcome outcomeOf(Decode&& decode) {
    Outcome outcome;
    try {
        outcome.value = decode();
    } catch (const engine::EngineError& e) {
        check(e.kind() == ErrorKind::InvalidInput, std::string("decoding failed as ") + kindName(e.kind()));
        outcome.ok = false;
        outcome.value = e.what();
    }
    return outcome;
}

// Split places inside a text of `length` characters, rising.
std::vector<size_t> splitsFor(const std::vector<uint16_t>& raw, size_t length) {
    std::vector<size_t> places;
    for (uint16_t place : raw) places.push_back(place % (length + 1));
    std::sort(places.begin(), places.end());
    return places;
}

void checkDecoding(OutputEncoding encoding, const std::string& text, const std::vector<uint16_t>& rawSplits) {
    const RefDecoded reference = refDecode(encoding, text);
    const Outcome expected{reference.ok, reference.ok ? reference.bytes : reference.message};
    const std::string context = std::string("\n") + formName(encoding) + " text: " + preview(text);

    const Outcome whole = outcomeOf([&] { return engine::detail::decode(encoding, text); });
    check(whole == expected,
          "decode gave " + whole.describe() + ", the reference " + expected.describe() + context);

    // Piece by piece: the same outcome, with no more than one group's digits held back.
    const size_t mostHeld = encoding == OutputEncoding::Base64 ? 3 : encoding == OutputEncoding::Hex ? 1 : 0;
    const Outcome pieces = outcomeOf([&] {
        StreamDecoder decoder(encoding);
        std::string out;
        size_t from = 0;
        for (size_t to : splitsFor(rawSplits, text.size())) {
            decoder.update(text.data() + from, to - from, out);
            check(decoder.heldBack() <= mostHeld,
                  "the decoder holds back " + std::to_string(decoder.heldBack()) + " digits" + context);
            from = to;
        }
        decoder.update(text.data() + from, text.size() - from, out);
        decoder.finish(out);
        return out;
    });
    check(pieces == expected, "decoding in pieces gave " + pieces.describe() + ", the reference " +
                                  expected.describe() + context);

    if (encoding == OutputEncoding::Binary) return;
    const Outcome object = outcomeOf([&] { return root()->NewEncoder(encoding)->DecodeText(text); });
    check(object == expected,
          "DecodeText gave " + object.describe() + ", the reference " + expected.describe() + context);

    // OpenSSL, on the same digits: it takes no blanks we skip, and reads a text
    // only up to a NUL or a '-'.
    if (!reference.ok || text.find('\0') != std::string::npos) return;
    const std::string digits = withoutBlanks(text);
    std::string theirs(digits.size() + 3, '\0');
    bool accepted = false;
    if (encoding == OutputEncoding::Base64) {
        std::unique_ptr<EVP_ENCODE_CTX, decltype(&EVP_ENCODE_CTX_free)> context(EVP_ENCODE_CTX_new(),
                                                                                EVP_ENCODE_CTX_free);
        EVP_DecodeInit(context.get());
        int length = 0, last = 0;
        auto* out = reinterpret_cast<unsigned char*>(&theirs[0]);
        accepted = EVP_DecodeUpdate(context.get(), out, &length,
                                    reinterpret_cast<const unsigned char*>(digits.data()),
                                    static_cast<int>(digits.size())) >= 0 &&
                   EVP_DecodeFinal(context.get(), out + length, &last) == 1;
        theirs.resize(static_cast<size_t>(length + last));
    } else {
        size_t length = 0;
        accepted = digits.empty() || OPENSSL_hexstr2buf_ex(reinterpret_cast<unsigned char*>(&theirs[0]),
                                                           theirs.size(), &length, digits.c_str(), '\0') == 1;
        theirs.resize(digits.empty() ? 0 : length);
    }
    if (accepted)
        check(theirs == reference.bytes,
              "OpenSSL decodes to " + preview(theirs) + ", we to " + preview(reference.bytes) + context);
}

void checkEncoding(OutputEncoding encoding, const std::string& bytes,
                   const std::vector<uint16_t>& rawSplits) {
    const std::string expected = refEncode(encoding, bytes);
    const std::string context = std::string("\n") + formName(encoding) + " of " + preview(bytes);
    check(engine::detail::encode(encoding, bytes) == expected, "encode differs from the reference" + context);
    StreamEncoder encoder(encoding);
    std::string pieces;
    size_t from = 0;
    for (size_t to : splitsFor(rawSplits, bytes.size())) {
        encoder.update(reinterpret_cast<const uint8_t*>(bytes.data()) + from, to - from, pieces);
        from = to;
    }
    encoder.update(reinterpret_cast<const uint8_t*>(bytes.data()) + from, bytes.size() - from, pieces);
    encoder.finish(pieces);
    check(pieces == expected, "encoding in pieces differs from the reference" + context);
    check(engine::detail::encodedLength(encoding, bytes.size()) == expected.size(),
          "encodedLength is wrong" + context);
    check(engine::detail::decode(encoding, expected) == bytes, "decoding the encoding differs" + context);
    if (encoding == OutputEncoding::Binary) return;
    check(root()->NewEncoder(encoding)->EncodeText(bytes) == expected, "EncodeText differs" + context);
}

// Form detection, as the reference reads docs/encoding.md.
std::optional<OutputEncoding> referencePrefixForm(const std::string& text, const std::string& prefix) {
    if (text.size() >= prefix.size() && text.compare(0, prefix.size(), prefix) == 0)
        return OutputEncoding::Binary;
    const std::string base64 = refEncode(OutputEncoding::Base64, prefix);
    const std::string hex = refEncode(OutputEncoding::Hex, prefix);
    std::string digits;
    for (char c : text)
        if (!isBlank(c) && digits.size() < std::max(base64.size(), hex.size())) digits += c;
    if (digits.size() >= base64.size() && digits.compare(0, base64.size(), base64) == 0)
        return OutputEncoding::Base64;
    if (digits.size() < hex.size()) return std::nullopt;
    std::string lowered = digits.substr(0, hex.size());
    for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lowered == hex) return OutputEncoding::Hex;
    return std::nullopt;
}

std::optional<OutputEncoding> referenceLengthForm(const std::string& text, size_t k) {
    if (text.size() == k) return OutputEncoding::Binary;
    const size_t digits = withoutBlanks(text).size();
    if (digits == 2 * k) return OutputEncoding::Hex;
    if (digits == (k + 2) / 3 * 4 || digits == (4 * k + 2) / 3) return OutputEncoding::Base64;
    return std::nullopt;
}

void checkDetection(const std::string& prefixBytes, size_t k, const std::string& text) {
    const std::string context = "\ntext: " + preview(text);
    for (const std::string& prefix : {kMagic, prefixBytes}) {
        const auto got = engine::detail::detectByPrefix(reinterpret_cast<const uint8_t*>(text.data()),
                                                        text.size(), prefix);
        const auto expected = referencePrefixForm(text, prefix);
        check(got == expected, std::string("detectByPrefix says ") + formName(got) + ", the reference " +
                                   formName(expected) + " for the prefix " + preview(prefix) + context);
    }
    const auto got = engine::detail::detectByLength(text, k);
    const auto expected = referenceLengthForm(text, k);
    check(got == expected, std::string("detectByLength says ") + formName(got) + ", the reference " +
                               formName(expected) + " for k = " + std::to_string(k) + context);
    std::optional<std::string> decoded;
    if (expected) {
        const RefDecoded reference = refDecode(*expected, text);
        if (reference.ok && reference.bytes.size() == k) decoded = reference.bytes;
    }
    check(engine::detail::decodeByLength(text, k) == decoded,
          "decodeByLength differs from the reference" + context);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    const uint8_t choice = in.byte();
    const auto encoding = static_cast<OutputEncoding>((choice & 3) % 3);
    std::vector<uint16_t> splits(in.byte() % 16);
    for (uint16_t& split : splits) split = in.u16();
    switch ((choice >> 2) % 4) {
        case 0:
        case 1:
            checkDecoding(encoding, in.rest(), splits);
            break;
        case 2:
            checkEncoding(encoding, in.rest(), splits);
            break;
        default: {
            const std::string prefix = in.bytes(3 * (1 + in.byte() % 3));
            const size_t k = in.u16() % 1024;
            checkDetection(prefix.size() % 3 == 0 && !prefix.empty() ? prefix : kMagic, k, in.rest());
            break;
        }
    }
    return 0;
}
