#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
# A password container reader written from docs/password-container.md alone:
# read_container.py PASSWORD FILE prints the plain text of a Binary AES
# container, or fails. Argon2id from python3-argon2; PBKDF2, HKDF, HMAC and
# AES from the standard library and python3-cryptography.
import hashlib
import hmac
import struct
import sys
import zlib

from argon2.low_level import Type, hash_secret_raw
from cryptography.hazmat.primitives import hashes, padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
from cryptography.hazmat.primitives.kdf.hkdf import HKDF


def derive_secret(password, block):
    kdf = block[0]
    if kdf == 1:
        (iterations,) = struct.unpack(">I", block[1:5])
        salt = block[6:6 + block[5]]
        return hashlib.pbkdf2_hmac("sha256", password, salt, iterations, 32)
    if kdf == 2:
        memory, passes, lanes = struct.unpack(">IIB", block[1:10])
        assert memory <= 262144 and passes <= 10 and lanes <= 8, "cost above the limit"
        salt = block[11:11 + block[10]]
        assert len(salt) == block[10] and len(block) == 11 + len(salt)
        return hash_secret_raw(password, salt, time_cost=passes, memory_cost=memory, parallelism=lanes,
                               hash_len=32, type=Type.ID, version=19)
    raise SystemExit("unknown KDF %d" % kdf)


def hkdf(secret, length, label):
    return HKDF(algorithm=hashes.SHA256(), length=length, salt=None, info=label.encode()).derive(secret)


def main():
    password = sys.argv[1].encode()
    data = open(sys.argv[2], "rb").read()
    assert data[:6] == bytes.fromhex("8f515256431a") and data[6] == 1 and data[7] == 1
    algorithm, key_length, mode, pad, compression = data[8:13]
    assert algorithm == 0, "AES only"
    iv_length = data[14]
    iv = data[15:15 + iv_length]
    (block_length,) = struct.unpack(">H", data[15 + iv_length:17 + iv_length])
    header_end = 17 + iv_length + block_length
    secret = derive_secret(password, data[17 + iv_length:header_end])
    cipher_key = hkdf(secret, key_length, "Quorval container 1 cipher key")
    mac_key = hkdf(secret, 32, "Quorval container 1 MAC key")
    if not hmac.compare_digest(hmac.new(mac_key, data[:header_end], "sha256").digest(),
                               data[header_end:header_end + 32]):
        raise SystemExit("wrong password or damaged header")
    if not hmac.compare_digest(hmac.new(mac_key, data[:-32], "sha256").digest(), data[-32:]):
        raise SystemExit("damaged")
    (data_length,) = struct.unpack(">Q", data[-40:-32])
    body = data[header_end + 32:-40]
    decryptor = Cipher(algorithms.AES(cipher_key), modes.CBC(iv) if mode == 1 else modes.ECB()).decryptor()
    padded = decryptor.update(body) + decryptor.finalize()
    if pad == 1:
        unpadder = padding.PKCS7(128).unpadder()
        assert len(unpadder.update(padded) + unpadder.finalize()) == data_length
    stored = padded[:data_length]
    sys.stdout.buffer.write(zlib.decompress(stored) if compression == 1 else stored)


main()
