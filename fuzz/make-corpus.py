#!/usr/bin/env python3
# SPDX-License-Identifier: Apache-2.0
"""Writes the seed corpora of the fuzz targets into fuzz/corpus/<target>/.

Run by hand when an input layout changes (the files are committed): the
structured seeds follow the layouts described at the top of each target, the
raw ones come from tests/data and from openssl. Needs openssl on the PATH.
Files named found-… are the inputs of findings, kept as they are.
"""
import os
import struct
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
DATA = os.path.join(ROOT, "tests", "data")
CONTAINERS = os.path.join(DATA, "containers")
CORPUS = os.path.join(HERE, "corpus")


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as out:
        out.write(data)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def u16(value):
    return struct.pack(">H", value)


# --- codec_fuzz: choice (encoding + 4 * operation), split count, splits, text ---

def codec():
    def seed(name, encoding, operation, text, splits=()):
        write("codec_fuzz", name,
              bytes([encoding + 4 * operation, len(splits)]) + b"".join(u16(s) for s in splits) + text)

    seed("b64-foobar", 1, 0, b"Zm9vYmFy")
    seed("b64-lines", 1, 0, b"Zm9v\r\nYmFy\n", (2, 5, 9))
    seed("b64-padded", 1, 0, b"Zm9vYg==", (6,))
    seed("b64-unpadded", 1, 0, b"Zm9vYg")
    seed("b64-blank-padding", 1, 0, b"Zg = = \n", (3,))
    seed("b64-bad-char", 1, 0, b"Zm9v*mFy")
    seed("b64-after-padding", 1, 0, b"Zg==Zg==")
    seed("b64-incomplete", 1, 1, b"Zm9vY")
    seed("b64-three-pads", 1, 1, b"Zg===")
    seed("b64-high-byte", 1, 1, b"Zm\xc3\xa99v")
    seed("hex-foobar", 2, 0, b"666f6f626172", (1, 7))
    seed("hex-upper", 2, 0, b"666F6F626172")
    seed("hex-groups", 2, 0, b"8f51 5256 431a\n01", (4, 5))
    seed("hex-bad", 2, 1, b"66g6")
    seed("hex-odd", 2, 1, b"666")
    seed("binary", 0, 0, b"\x00\x01\xff raw", (2,))
    seed("encode-b64", 1, 2, b"foobar\x00\xff", (1, 4))
    seed("encode-hex", 2, 2, b"\x8fQRVC\x1a")
    # Detection: prefix choice byte and its bytes, k, then the text.
    detect = 3
    write("codec_fuzz", "detect-magic-b64", bytes([1 + 4 * detect, 0, 0]) + b"abc" + u16(64) + b"j1FSVkMaAQ")
    write("codec_fuzz", "detect-magic-hex", bytes([2 + 4 * detect, 0, 1]) + b"abcdef" + u16(64) + b"8f51 5256\n431a01")
    write("codec_fuzz", "detect-length", bytes([4 * detect, 0, 0]) + b"xyz" + u16(4) + b"3q2+7w==")


# --- containers: the layout of ContainerModel.cpp's buildContainer ---

def form(encoding, upper=False, unpadded=False, blanks=(), replace=None, cut=None):
    choice = encoding | (4 if upper else 0) | (8 if unpadded else 0)
    extra = b""
    if blanks:
        choice |= 0x10
        extra += bytes([len(blanks)]) + b"".join(u16(at) + bytes([kind]) for at, kind in blanks)
    if replace:
        choice |= 0x20
        extra += u16(replace[0]) + bytes([replace[1]])
    if cut is not None:
        choice |= 0x40
        extra += u16(cut)
    return bytes([choice]) + extra


def container(fields, key_block, payload, how=None, text_form=None, tweaks=0, tweak_bytes=b""):
    """fields: algorithm, key choice (0..2 for 16/24/32 bytes), mode, padding, method, level."""
    algorithm, key_choice, mode, padding, method, level = fields
    out = u16(tweaks) + bytes([algorithm, key_choice, mode, padding, method, level])
    if mode == 1:
        out += bytes(range(16))  # IV
    out += key_block
    out += u16(len(payload)) + payload
    if method == 1:
        out += bytes([how or 0])
    return out + tweak_bytes + (text_form or form(0))


def password_block(iterations=1000, salt_extra=0):
    # choice 0: KDF 1, iterations - 1 as two bytes, salt length 16 + extra, salt
    return bytes([0]) + u16(iterations - 1) + bytes([salt_extra]) + bytes(range(7, 7 + 16 + salt_extra))


def argon2_block(memory_kib=64, passes=1, lanes=1, salt_extra=0, kdf=None, raw=False, cut=None):
    # choice bit 5: Argon2id's layout; bit 0: a KDF byte of our own; bit 1: the cost as recorded
    # (lanes byte, passes u32, memory u32), else lanes - 1, passes - 1 and memory - 8 x lanes;
    # bit 3: the block cut to `cut` bytes
    choice = 32 | (1 if kdf is not None else 0) | (2 if raw else 0) | (8 if cut is not None else 0)
    out = bytes([choice]) + (bytes([kdf]) if kdf is not None else b"")
    if raw:
        out += bytes([lanes]) + struct.pack(">II", passes, memory_kib)
    else:
        out += bytes([lanes - 1, passes - 1]) + u16(memory_kib - 8 * lanes)
    out += bytes([salt_extra]) + bytes(range(7, 7 + 16 + salt_extra))
    return out + (bytes([cut]) if cut is not None else b"")


def password():
    text = b"Hello, world!"
    lines = b"The quick brown fox jumps over the lazy dog.\n" * 3
    blk = password_block()
    seed = lambda name, body, choice=0: write("password_container_fuzz", name, bytes([choice]) + body)
    seed("aes128-cbc-pkcs7", container((0, 0, 1, 1, 0, 0), blk, text))
    seed("aes256-ecb-zero-b64", container((0, 2, 0, 0, 0, 0), blk, text, text_form=form(1)))
    seed("twofish192-cbc-x923-hex", container((1, 1, 1, 2, 0, 0), blk, lines, text_form=form(2, upper=True)))
    seed("aes192-cbc-zlib9", container((0, 1, 1, 1, 1, 9), blk, lines, how=8 << 4))
    seed("twofish256-ecb-zlib-default-b64", container((1, 2, 0, 1, 1, 0), blk, lines, text_form=form(1, unpadded=True)))
    seed("aes128-cbc-zlib-hex-blanks", container((0, 0, 1, 0, 1, 3), blk, lines, how=0x20,
                                                 text_form=form(2, blanks=((4, 0), (9, 3), (40, 2)))))
    seed("empty-text-zero-padding", container((0, 0, 1, 0, 0, 0), blk, b""))
    seed("empty-text-zlib", container((1, 0, 0, 1, 1, 1), blk, b""))
    seed("long-salt", container((0, 2, 1, 1, 0, 0), password_block(60000, 48), text))
    seed("raw-zlib-data", container((0, 0, 1, 1, 1, 5), blk, zlib.compress(b"abc" * 20), how=1))
    seed("zlib-preset-dictionary", container((0, 0, 1, 1, 1, 5), blk, text, how=2))
    seed("zlib-trailing-bytes", container((0, 0, 1, 1, 1, 5), blk, text, how=4, tweak_bytes=b"\x03xyz"))
    seed("text-cut-in-group", container((0, 0, 1, 1, 0, 0), blk, text, text_form=form(1, cut=150)))
    seed("text-bad-char", container((0, 0, 1, 1, 0, 0), blk, text, text_form=form(2, replace=(100, ord("g")))))
    seed("wrong-rules", container((1, 1, 0, 1, 0, 0), blk, text), choice=1 | (1 << 2))
    # 1 MiB of line breaks after the text: opened on two threads.
    seed("long-twofish-cbc-hex", container((1, 2, 1, 1, 0, 0), blk, lines * 40, text_form=form(2), tweaks=0x1000))
    seed("long-aes-zlib-b64", container((0, 0, 1, 1, 1, 6), blk, lines * 40, text_form=form(1), tweaks=0x1000))
    seed("kdf-above-limit", container((0, 0, 1, 1, 0, 0), bytes([2]) + struct.pack(">I", 4000001) + bytes([16]) + bytes(16), text))
    # Argon2id headers: a small cost, so that a fuzzer's pace is kept (the harness derives cheaply anyway).
    seed("argon2-aes256-cbc", container((0, 2, 1, 1, 0, 0), argon2_block(64, 3, 4), text))
    seed("argon2-twofish128-ecb-zlib-b64", container((1, 0, 0, 1, 1, 6), argon2_block(8, 1, 1, 48), lines, text_form=form(1)))
    seed("argon2-worst-accepted", container((0, 0, 1, 1, 0, 0), argon2_block(262144, 10, 8, raw=True), text))
    seed("argon2-memory-above-limit", container((0, 0, 1, 1, 0, 0), argon2_block(262145, 3, 4, raw=True), text))
    seed("argon2-passes-above-limit", container((0, 0, 1, 1, 0, 0), argon2_block(64, 11, 1, raw=True), text))
    seed("argon2-lanes-above-limit", container((0, 0, 1, 1, 0, 0), argon2_block(72, 1, 9, raw=True), text))
    seed("argon2-below-8-kib-a-lane", container((0, 0, 1, 1, 0, 0), argon2_block(31, 1, 4, raw=True), text))
    seed("argon2-no-pass", container((0, 0, 1, 1, 0, 0), argon2_block(64, 0, 1, raw=True), text))
    seed("argon2-cut-in-cost", container((0, 0, 1, 1, 0, 0), argon2_block(64, 1, 1, cut=7), text))
    seed("kdf-unknown", container((0, 0, 1, 1, 0, 0), argon2_block(64, 1, 1, kdf=3), text))
    for name in sorted(os.listdir(CONTAINERS)):
        if name.startswith(("aes", "twofish")) and name in ("aes128-cbc-pkcs7-z1-text.hex", "aes256-ecb-x923-z9-text.b64",
                                                            "twofish128-cbc-x923-zdef-text.b64", "aes128-ecb-zero-z0-text.bin"):
            seed("raw-" + name, read(os.path.join(CONTAINERS, name)), choice=0x80)
    seed("raw-not-ours", b"plain text that is not a container", choice=0x80)


def rsa():
    text = b"Hello, Quorval!"
    seed = lambda name, body: write("rsa_container_fuzz", name, body)
    # key choice byte (bit 0: 1024-bit), then the container; RSA key block: choice (bit 1: OAEP), the secret.
    for key, bits in ((0, 512), (1, 1024)):
        for schema, schema_name in ((0, "pkcs1"), (1, "oaep")):
            length = 22 if bits == 512 and schema == 1 else 32
            block = bytes([schema << 1]) + bytes(range(40, 40 + length))
            seed(f"rsa{bits}-{schema_name}", bytes([key]) + container((0, 2, 1, 1, 0, 0), block, text))
    block = bytes([2]) + bytes(range(40, 62))
    seed("rsa512-oaep-zlib-b64", bytes([0]) + container((0, 2, 1, 1, 1, 0), block, text * 4, text_form=form(1)))
    seed("rsa512-oaep-twofish-hex", bytes([0]) + container((1, 0, 0, 2, 0, 0), block, text, text_form=form(2, blanks=((2, 0),))))
    seed("rsa1024-long-b64", bytes([1]) + container((0, 2, 1, 1, 0, 0), bytes([2]) + bytes(range(40, 72)), text * 300,
                                                   text_form=form(1), tweaks=0x1000))
    seed("rsa512-schema-7", bytes([0]) + container((0, 2, 1, 1, 0, 0), bytes([1, 7]) + bytes(22), text))
    seed("rsa512-flipped-block", bytes([0]) + container((0, 2, 1, 1, 0, 0), bytes([2 | 16]) + bytes(range(40, 62)) + u16(10) + b"\x01", text))
    for name in ("rsa512-oaep-zdef-text.b64", "rsa512-pkcs1-z0-file.bin"):
        seed("raw-" + name, bytes([0x80]) + read(os.path.join(CONTAINERS, name)))
    seed("raw-password-container", bytes([0x80]) + read(os.path.join(CONTAINERS, "aes128-ecb-zero-z0-text.bin")))


def signature():
    seed = lambda name, body: write("signature_fuzz", name, body)
    message = b"Hello, Quorval!"
    lead = lambda choice: bytes([choice, len(message)]) + message
    seed("512-binary", lead(0) + form(0))
    seed("512-base64", lead(0) + form(1))
    seed("512-base64-unpadded-blanks", lead(0) + form(1, unpadded=True, blanks=((10, 3), (20, 0))))
    seed("512-hex-upper", lead(0) + form(2, upper=True))
    seed("1024-hex", lead(1) + form(2))
    seed("1024-base64-cut", lead(1) + form(1, cut=100))
    seed("512-flipped", lead(4) + u16(5) + bytes([1]) + form(1))
    seed("512-replaced-char", lead(0) + form(2, replace=(7, ord("z"))))
    seed("raw-docs-hex", lead(2) + b"907d20a84a8cc91a64546935604e0def74fb52a71a7cb9350a3cda0bfed681cb\n"
                                    b"ab201596f8ae7cca21c0c2a37041ca3d9e5b6747232ff802d3e5204a31bcb0ff")
    seed("raw-docs-base64", lead(2) + b"kH0gqEqMyRpkVGk1YE4N73T7UqcafLk1CjzaC/7WgcurIBWW+K58yiHAwqNwQco9nltnRyMv+ALT5SBKMbyw/w==")
    seed("raw-empty", lead(2))


def key_files():
    seed = lambda name, body: write("key_file_fuzz", name, body)
    private512 = os.path.join(CONTAINERS, "rsa512-private.pem")
    private1024 = os.path.join(HERE, "data", "rsa1024-private.pem")
    with tempfile.TemporaryDirectory() as tmp:
        def openssl(*args, stdin=None):
            return subprocess.run(["openssl", *args], input=stdin, capture_output=True, check=True).stdout

        for bits, path in ((512, private512), (1024, private1024)):
            seed(f"rsa{bits}-pkcs8.pem", read(path))
            seed(f"rsa{bits}-pkcs8.der", openssl("pkey", "-in", path, "-outform", "DER"))
            seed(f"rsa{bits}-spki.pem", openssl("pkey", "-in", path, "-pubout"))
            seed(f"rsa{bits}-spki.der", openssl("pkey", "-in", path, "-pubout", "-outform", "DER"))
            seed(f"rsa{bits}-pkcs1.pem", openssl("rsa", "-in", path, "-traditional"))
            seed(f"rsa{bits}-pkcs1.der", openssl("rsa", "-in", path, "-traditional", "-outform", "DER"))
            seed(f"rsa{bits}-pkcs1-public.pem", openssl("rsa", "-in", path, "-RSAPublicKey_out"))
            seed(f"rsa{bits}-pkcs1-public.der", openssl("rsa", "-in", path, "-RSAPublicKey_out", "-outform", "DER"))
        seed("rsa512-encrypted-pkcs8.pem", openssl("pkcs8", "-topk8", "-in", private512, "-passout", "pass:x", "-v2", "aes-128-cbc"))
        seed("rsa512-encrypted-pkcs8.der", openssl("pkcs8", "-topk8", "-in", private512, "-passout", "pass:x", "-v2", "aes-128-cbc", "-outform", "DER"))
        seed("rsa512-encrypted-pkcs1.pem", openssl("rsa", "-in", private512, "-traditional", "-aes128", "-passout", "pass:x"))
        seed("rsa1024-3-primes.pem", openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:1024",
                                            "-pkeyopt", "rsa_keygen_primes:3", "-outform", "PEM"))
        seed("rsa1024-3-primes-pkcs1.der", openssl("rsa", "-traditional", "-outform", "DER",
                                                   stdin=read_seed("key_file_fuzz", "rsa1024-3-primes.pem")))
        seed("rsa-e3.der", openssl("genpkey", "-algorithm", "RSA", "-pkeyopt", "rsa_keygen_bits:512",
                                   "-pkeyopt", "rsa_keygen_pubexp:3", "-outform", "DER"))
        seed("rsa-pss.pem", openssl("genpkey", "-algorithm", "RSA-PSS", "-pkeyopt", "rsa_keygen_bits:512"))
        seed("ec.pem", openssl("genpkey", "-algorithm", "EC", "-pkeyopt", "ec_paramgen_curve:P-256"))
        seed("ec-public.der", openssl("pkey", "-pubout", "-outform", "DER", stdin=read_seed("key_file_fuzz", "ec.pem")))
        seed("ed25519.pem", openssl("genpkey", "-algorithm", "ED25519"))
    pem = read(private512)
    seed("text-before-pem", b"My key, keep it safe:\n" + pem)
    seed("pem-cut", pem[: len(pem) // 2])
    seed("pem-certificate-label", b"-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n")
    seed("pem-odd-label", b"-----BEGIN \xc3\xa9\tKEY-----\nAAAA\n-----END \xc3\xa9\tKEY-----\n")
    # One key a file; numbers no RSA key has.
    seed("two-keys.pem", pem + read_seed("key_file_fuzz", "rsa512-spki.pem"))
    spki = read_seed("key_file_fuzz", "rsa512-spki.der")
    seed("rsa512-spki-even-exponent.der", spki.replace(b"\x02\x03\x01\x00\x01", b"\x02\x03\x01\x00\x02"))
    seed("garbage", b"not a key at all\n")
    seed("sequence-garbage", b"\x30\x82\x01\x00garbage")
    seed("empty", b"")


def read_seed(target, name):
    return read(os.path.join(CORPUS, target, name))


def main():
    targets = {"codec_fuzz": codec, "password_container_fuzz": password, "rsa_container_fuzz": rsa,
               "signature_fuzz": signature, "key_file_fuzz": key_files}
    for target, make in targets.items():
        if len(sys.argv) > 1 and target not in sys.argv[1:]:
            continue
        # The reproducers of findings ("found-…") stay; the rest is written anew.
        folder = os.path.join(CORPUS, target)
        for name in os.listdir(folder) if os.path.isdir(folder) else ():
            if not name.startswith("found-"):
                os.remove(os.path.join(folder, name))
        make()
        print(target, len(os.listdir(os.path.join(CORPUS, target))), "seeds")


if __name__ == "__main__":
    main()
