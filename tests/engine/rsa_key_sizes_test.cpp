// SPDX-License-Identifier: Apache-2.0
// Hostile key files: numbers far too large for the program, in every key
// form, refused from their encoding before any arithmetic; and a file's own
// PEM label, which a message shows only as a short printable excerpt.

#include <botan/asn1_obj.h>
#include <botan/ber_dec.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "RsaTestSupport.h"
#include "engine/codec/Codec.h"

namespace {

using namespace enginetest;
using ::testing::HasSubstr;

// --- DER, written by hand -------------------------------------------------------------

std::string tlv(uint8_t tag, const std::string& contents) {
    std::string out(1, static_cast<char>(tag));
    if (contents.size() < 0x80) {
        out.push_back(static_cast<char>(contents.size()));
    } else {
        std::string length;
        for (size_t n = contents.size(); n > 0; n >>= 8) length.insert(length.begin(), static_cast<char>(n & 0xFF));
        out.push_back(static_cast<char>(0x80 | length.size()));
        out += length;
    }
    return out + contents;
}

// A non-negative INTEGER from its big-endian magnitude.
std::string integer(const std::string& magnitude) {
    const bool topBitSet = !magnitude.empty() && (static_cast<uint8_t>(magnitude[0]) & 0x80);
    return tlv(0x02, topBitSet ? std::string(1, '\0') + magnitude : magnitude);
}

// An odd number of exactly `bits` bits.
std::string oddNumber(size_t bits, uint32_t seed = 5) {
    std::string bytes = pseudoRandom((bits + 7) / 8, seed);
    const size_t topBits = bits % 8 == 0 ? 8 : bits % 8;
    bytes[0] = static_cast<char>((static_cast<uint8_t>(bytes[0]) & ((1u << topBits) - 1)) | (1u << (topBits - 1)));
    bytes.back() = static_cast<char>(bytes.back() | 1);
    return bytes;
}

const std::string kRsaAlgorithm("\x30\x0D\x06\x09\x2A\x86\x48\x86\xF7\x0D\x01\x01\x01\x05\x00", 15);

// The magnitudes of an RSA private key: n, e, d, p, q, dp, dq, qinv.
struct Numbers {
    std::string n, e, d, p, q, dp, dq, qinv;
};

std::string pkcs1Public(const Numbers& k) { return tlv(0x30, integer(k.n) + integer(k.e)); }

std::string pkcs1Private(const Numbers& k) {
    return tlv(0x30, integer("") + integer(k.n) + integer(k.e) + integer(k.d) + integer(k.p) + integer(k.q) +
                         integer(k.dp) + integer(k.dq) + integer(k.qinv));
}

std::string subjectPublicKeyInfo(const Numbers& k) {
    return tlv(0x30, kRsaAlgorithm + tlv(0x03, std::string(1, '\0') + pkcs1Public(k)));
}

std::string privateKeyInfo(const Numbers& k) {
    return tlv(0x30, integer("") + kRsaAlgorithm + tlv(0x04, pkcs1Private(k)));
}

std::string pemOf(const std::string& label, const std::string& der) {
    return "-----BEGIN " + label + "-----\n" + engine::detail::encode(engine::detail::Encoding::Base64, der) +
           "\n-----END " + label + "-----\n";
}

// kVectorKey's numbers, read with the library.
Numbers vectorKeyNumbers() {
    const std::string pem = kVectorKey;
    const size_t begin = pem.find('\n') + 1;
    const std::string pkcs8 = engine::detail::decode(engine::detail::Encoding::Base64,
                                                     pem.substr(begin, pem.find("-----END") - begin));
    const std::vector<uint8_t> info(pkcs8.begin(), pkcs8.end());
    Botan::BER_Decoder outer(info);
    Botan::BER_Decoder infoSequence = outer.start_cons(Botan::SEQUENCE);
    size_t version = 0;
    Botan::AlgorithmIdentifier algorithm;
    std::vector<uint8_t> rsa;
    infoSequence.decode(version).decode(algorithm).decode(rsa, Botan::OCTET_STRING);
    Botan::BER_Decoder rsaOuter(rsa);
    Botan::BER_Decoder key = rsaOuter.start_cons(Botan::SEQUENCE);
    std::vector<std::string> values;
    while (key.more_items()) {
        const Botan::BER_Object number = key.get_next_object();
        std::string value(reinterpret_cast<const char*>(number.bits()), number.length());
        value.erase(0, value.find_first_not_of('\0'));
        values.push_back(value);
    }
    EXPECT_EQ(values.size(), 9u);
    values.resize(9);
    return {values[1], values[2], values[3], values[4], values[5], values[6], values[7], values[8]};
}

struct KeyFile {
    std::string name;
    std::string contents;
    engine::KeyKind kind;
};

// The key in each of the eight forms LoadKey reads.
std::vector<KeyFile> everyForm(const Numbers& k) {
    const std::string spki = subjectPublicKeyInfo(k), rsaPublic = pkcs1Public(k);
    const std::string pkcs8 = privateKeyInfo(k), rsaPrivate = pkcs1Private(k);
    return {
        {"spki.der", spki, engine::KeyKind::PublicKey},
        {"spki.pem", pemOf("PUBLIC KEY", spki), engine::KeyKind::PublicKey},
        {"pkcs1-public.der", rsaPublic, engine::KeyKind::PublicKey},
        {"pkcs1-public.pem", pemOf("RSA PUBLIC KEY", rsaPublic), engine::KeyKind::PublicKey},
        {"pkcs8.der", pkcs8, engine::KeyKind::PrivateKey},
        {"pkcs8.pem", pemOf("PRIVATE KEY", pkcs8), engine::KeyKind::PrivateKey},
        {"pkcs1-private.der", rsaPrivate, engine::KeyKind::PrivateKey},
        {"pkcs1-private.pem", pemOf("RSA PRIVATE KEY", rsaPrivate), engine::KeyKind::PrivateKey},
    };
}

class RsaKeySizes : public RsaSuite {
protected:
    // Loads `file` as the kind it holds and as the other kind: both must fail
    // with a KeyFile error whose description holds `expected`.
    void expectRefused(const KeyFile& file, const std::string& expected) {
        const std::string path = writeFile(file.name, file.contents);
        const engine::KeyKind other = file.kind == engine::KeyKind::PublicKey ? engine::KeyKind::PrivateKey : engine::KeyKind::PublicKey;
        for (engine::KeyKind kind : {file.kind, other}) {
            std::string description;
            EXPECT_EQ(kindOf([&] { engine::detail::LoadRsaKey(s_context, path, kind, kOaep); }, &description),
                      ErrorKind::KeyFile)
                << file.name << " as kind " << kind;
            EXPECT_THAT(description, HasSubstr(expected)) << file.name << " as kind " << kind;
        }
    }
};

// Each took from half a second to many minutes before the size was read
// from the encoding: the key was built, with the arithmetic set up for its
// modulus, before its size was looked at.
TEST_F(RsaKeySizes, AHugeModulusIsRefusedInEveryFormAtOnce) {
    Numbers k = vectorKeyNumbers();
    // Files of about 12.5 KB, 125 KB and 1 MB (the PEM ones too: their DER is smaller).
    for (size_t fileSize : {12500u, 125000u, 1000000u}) {
        for (bool pem : {false, true}) {
            const size_t bits = 8 * ((pem ? fileSize * 3 / 4 : fileSize) - 600);
            k.n = oddNumber(bits);
            for (const KeyFile& file : everyForm(k)) {
                if ((file.name.find(".pem") != std::string::npos) != pem) continue;
                SCOPED_TRACE(std::to_string(file.contents.size()) + " bytes");
                EXPECT_LE(file.contents.size(), fileSize);
                expectRefused(file, "holds a " + std::to_string(bits) + "-bit RSA key; keys from 512 to 16384");
            }
        }
    }
}

TEST_F(RsaKeySizes, AnExponentOfMoreThan64BitsIsRefusedInEveryForm) {
    Numbers k = vectorKeyNumbers();
    for (size_t bits : {65u, 16383u}) {
        k.e = oddNumber(bits, 7);
        for (const KeyFile& file : everyForm(k)) expectRefused(file, std::to_string(bits) + "-bit public exponent");
    }
}

TEST_F(RsaKeySizes, TheLargestSizesStillLoad) {
    Numbers k = vectorKeyNumbers();
    // Not a real key's exponent, but one a public key may have.
    k.e = oddNumber(64, 7);
    auto key = engine::detail::LoadRsaKey(s_context, writeFile("e64.der", subjectPublicKeyInfo(k)),
                                          engine::KeyKind::PublicKey, kOaep);
    EXPECT_FALSE(key->EncryptText("sixty-four").empty());

    k = vectorKeyNumbers();
    k.n = oddNumber(16384);
    EXPECT_TRUE(engine::detail::LoadRsaKey(s_context, writeFile("n16384.pem", pemOf("RSA PUBLIC KEY", pkcs1Public(k))),
                                           engine::KeyKind::PublicKey, kOaep));
    k.n = oddNumber(16385);
    expectRefused({"n16385.pem", pemOf("RSA PUBLIC KEY", pkcs1Public(k)), engine::KeyKind::PublicKey}, "16385-bit");
}

TEST_F(RsaKeySizes, APrivateKeyWithANumberLongerThanItsModulusIsRefusedAtOnce) {
    const Numbers vector = vectorKeyNumbers();
    const std::string huge = oddNumber(8 * 500000, 9);
    for (std::string Numbers::*number : {&Numbers::d, &Numbers::p, &Numbers::q, &Numbers::qinv}) {
        Numbers k = vector;
        k.*number = huge;
        for (const KeyFile& file : everyForm(k)) {
            if (file.kind != engine::KeyKind::PrivateKey) continue;
            const std::string path = writeFile(file.name, file.contents);
            std::string description;
            EXPECT_EQ(kindOf([&] { engine::detail::LoadRsaKey(s_context, path, engine::KeyKind::PrivateKey, kOaep); },
                             &description),
                      ErrorKind::KeyFile)
                << file.name;
            EXPECT_THAT(description, HasSubstr("do not fit together")) << file.name;
        }
    }
    // The numbers they came from make a key that works.
    auto key = engine::detail::LoadRsaKey(s_context, writeFile("vector.der", pkcs1Private(vector)),
                                          engine::KeyKind::PrivateKey, kOaep);
    EXPECT_EQ(key->DecryptText(key->EncryptText("fits")), "fits");
}

// --- The label of another PEM object ---------------------------------------------------

TEST_F(RsaKeySizes, AForeignLabelIsShownAsAShortPrintableExcerpt) {
    const struct {
        std::string label;
        std::string shown;
    } cases[] = {
        {"CERTIFICATE", "labelled CERTIFICATE, not"},
        {"A\x01" "B\xC3\xA9\tC\n", "labelled A\\x01B\\xC3\\xA9\\tC\\n, not"},
        {std::string(40, 'Z'), "labelled " + std::string(32, 'Z') + "…, not"},
        {std::string(30, 'Y') + "\x7F", "labelled " + std::string(30, 'Y') + "…, not"},
    };
    for (const auto& c : cases) {
        const std::string path = writeFile("foreign.pem", "-----BEGIN " + c.label + "-----\nAAAA\n-----END X-----\n");
        std::string description;
        EXPECT_EQ(kindOf([&] { engine::detail::LoadRsaKey(s_context, path, engine::KeyKind::PublicKey, kOaep); }, &description),
                  ErrorKind::KeyFile);
        EXPECT_THAT(description, HasSubstr(c.shown));
        for (char raw : {'\x01', '\x7F', '\n', '\t', '\xC3'})
            EXPECT_EQ(description.find(raw), std::string::npos) << "raw byte " << int(raw) << " in " << description;
    }
}

}  // namespace
