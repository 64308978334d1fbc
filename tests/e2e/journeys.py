# SPDX-License-Identifier: Apache-2.0
"""End-to-end journeys through the real window, one per tab and one that
aborts, each in a fresh run of the program:

    journeys.py PROGRAM SCREENSHOT_FOLDER WORK_FOLDER [JOURNEY...]

Run by run.sh inside a private X server and D-Bus session. Every input is a
real X event; results are read through AT-SPI, the clipboard and the files,
and compared with md5sum, sha1sum, rhash, openssl and the files' own bytes.
Each message box met is checked by its title, text, icon and buttons, and
every tab and dialog is pictured into SCREENSHOT_FOLDER.
"""

import base64
import hashlib
import os
import shutil
import subprocess
import sys
import time
import traceback

from desktop import Failure, MessageBox, Program, wait_for

# Titles and texts as the program shows them, trailing blanks included.
DEFAULT_TITLE = "Quorval"
DAMAGED = "Cannot decrypt: wrong password or key, or the data is damaged or incomplete."
ABORTED = "The operation was aborted."


def replace_question(path):
    return f'The file "{path}" already exists. Replace it?'


def pseudo_random(size, seed):
    """Bytes that look random, the same on every run."""
    out = bytearray()
    counter = 0
    while len(out) < size:
        out += hashlib.sha256(f"{seed}:{counter}".encode()).digest()
        counter += 1
    return bytes(out[:size])


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


def tool_hex(command, path):
    """The hex digest a peer tool prints for a file."""
    out = subprocess.run([*command, path], capture_output=True, check=True, text=True).stdout
    return out.split()[0].lower()


def listing(folder):
    """Names, sizes and change times of everything in a folder, hidden files included."""
    result = {}
    for name in os.listdir(folder):
        info = os.stat(os.path.join(folder, name))
        result[name] = (info.st_size, info.st_mtime_ns)
    return result


def shown_form(data):
    """How a text box shows bytes: UTF-8 when they are, else one character a byte."""
    try:
        return data.decode("utf-8")
    except UnicodeDecodeError:
        return data.decode("latin-1")


# ------------------------------------------------------------------ Hash

def journey_hash(p, work):
    p.screenshot("tab-Hash")
    folder = os.path.join(work, "hash")
    os.makedirs(folder)
    # Its MD5 and SHA-1 digests hold a NUL byte, and are not UTF-8.
    typed = "The quick brown fox jumps over the lazy dog, take 68"
    sample = os.path.join(folder, "sample.bin")
    write(sample, pseudo_random(300_000, "hash"))  # more than two of the engine's 128 KiB reads
    typed_file = os.path.join(folder, "typed.txt")
    write(typed_file, typed.encode())

    tools = {"MD5": ["md5sum"], "SHA": ["sha1sum"], "Tiger": ["rhash", "--tiger"]}
    source = p.control("text", "Text or file to hash")
    digest = p.control("text", "Digest")
    algorithm = p.control("combo box", "Algorithm")

    def hash_all(what, path):
        for name, tool in tools.items():
            # Tiger's bytes come in the order rhash prints them.
            expected = bytes.fromhex(tool_hex(tool, path))
            p.choose(algorithm, name)
            for encoding in ("Binary", "Base64", "Hex"):
                p.select_option(encoding)
                # A changed setting empties the digest; the next one is new.
                wait_for(lambda: p.length(digest) == 0, "the digest box emptied by the setting")
                p.press("Hash->")
                wait_for(lambda: p.length(digest), f"the {name} digest of {what}")
                got = p.text(digest)
                label = f"{name} {encoding} of {what}"
                if encoding == "Hex":
                    p.equal(got, expected.hex(), label)
                elif encoding == "Base64":
                    p.equal(got, base64.b64encode(expected).decode(), label)
                else:
                    if b"\0" not in expected:  # AT-SPI texts end at a NUL
                        p.equal(got, shown_form(expected), label + " as shown")
                    # The bytes themselves, through the clipboard.
                    p.focus_box(digest)
                    p.key("ctrl+a", "ctrl+c")
                    try:
                        wait_for(lambda: p.clipboard() == expected, f"the clipboard to hold the {label}")
                    except Failure:
                        p.equal(p.clipboard(), expected, f"the {label} on the clipboard")

    p.replace_text(source, typed)
    hash_all("the typed text", typed_file)
    p.screenshot("hash-text")

    # Escape in the file dialog: "File" selected, the box emptied.
    p.press("Choose file to hash")
    p.file_dialog("Open file ", None)
    wait_for(lambda: p.text(source) == "", "the left-hand box emptied by the cancelled dialog")
    p.check(p.checked(p.control("radio button", "File")), "File selected by the cancelled dialog")
    p.press("Choose file to hash")
    p.file_dialog("Open file ", sample)
    wait_for(lambda: p.text(source) == sample, "the chosen path in the left-hand box")
    p.check(p.checked(p.control("radio button", "File")), "File selected by the file dialog")
    hash_all("the file", sample)
    p.screenshot("hash-file")

    missing = os.path.join(folder, "missing.bin")
    p.replace_text(source, missing)
    p.press("Hash->")
    p.expect_box("clsHash ->Function HashBinary ", f'Cannot open "{missing}": No such file or directory.', "Error")
    p.equal(p.length(digest), 0, "characters in the digest box after a missing file")


# ------------------------------------------------------------------ Symmetric

def journey_symmetric(p, work):
    p.tab("Symetric Encrypt/Decrypt")
    p.screenshot("tab-Symmetric")
    folder = os.path.join(work, "sym")
    os.makedirs(folder)
    # Text that compresses, above the 1 MiB from which the file workers start.
    plain = b"".join(b"line %06d of a report that compresses well\n" % i for i in range(40_000))
    source_path = os.path.join(folder, "report.txt")
    write(source_path, plain)
    encrypted = os.path.join(folder, "reportEnc.txt")
    decrypted = os.path.join(folder, "reportEncDec.txt")

    left = p.control("text", "Text or file to encrypt")
    right = p.control("text", "Encrypted text or file")
    password = p.control("text", "Password")
    algorithm = p.control("combo box", "Algorithm")
    level = p.control("text", "Compression level")
    arrows = p.control("spin button", "Compression level arrows")

    def open_source():
        p.press("Choose file to encrypt")
        p.file_dialog("Open file ", source_path)
        wait_for(lambda: p.text(left) == source_path, "the source path in the left-hand box")

    # AES, level 9 by the Up key (one more press stays at 9), back to 6 by Down.
    open_source()
    p.choose(algorithm, "AES")
    p.replace_text(password, "correct horse 1")
    p.focus_box(level)
    p.key(*["Up"] * 11)
    wait_for(lambda: p.text(level) == "9", "level 9 after eleven Up keys")
    p.key("Down", "Down", "Down")
    wait_for(lambda: p.text(level) == "6", "level 6 after three Down keys")
    p.equal(p.value(arrows), 6.0, "the arrows' value")
    p.screenshot("aes-settings")

    p.press("Encrypting->")
    wait_for(lambda: p.text(right) == encrypted, "the encrypted file's path")
    aes_cipher = read(encrypted)
    p.check(len(aes_cipher) < len(plain) // 4, f"AES at level 6 compressed {len(plain)} bytes to {len(aes_cipher)}")
    p.check(plain[:64] not in aes_cipher, "the cipher text does not hold the plain text")
    p.press("<-Decrypting")
    wait_for(lambda: p.text(left) == decrypted, "the decrypted file's path")
    p.check(read(decrypted) == plain, "AES: the decrypted file equals the source")
    p.screenshot("aes-done")

    # Twofish: the encrypted file exists, so the program asks first; No changes nothing.
    open_source()
    p.choose(algorithm, "TwoFish")
    before = listing(folder)
    p.press("Encrypting->")
    p.expect_box(DEFAULT_TITLE, replace_question(encrypted), "Warning", answer="Escape", buttons=("Yes", "No"))
    p.equal(listing(folder), before, "the folder after No")
    p.check(read(encrypted) == aes_cipher, "No leaves the AES file as it was")
    p.equal((p.text(left), p.text(right)), (source_path, ""), "the boxes after No")

    p.press("Encrypting->")
    p.expect_box(DEFAULT_TITLE, replace_question(encrypted), "Warning", answer="Yes", buttons=("Yes", "No"))
    wait_for(lambda: p.text(right) == encrypted, "the Twofish file's path")
    twofish_cipher = read(encrypted)
    p.check(twofish_cipher != aes_cipher, "Yes replaced the AES file")
    p.press("<-Decrypting")
    p.expect_box(DEFAULT_TITLE, replace_question(decrypted), "Warning", answer="Yes", buttons=("Yes", "No"))
    wait_for(lambda: p.text(left) == decrypted, "the decrypted file's path")
    p.check(read(decrypted) == plain, "Twofish: the decrypted file equals the source")

    # A wrong password: refused, and the earlier decrypted file stays whole.
    p.replace_text(password, "wrong horse 1")
    p.replace_text(right, encrypted)  # the changed password emptied it
    before = listing(folder)
    p.press("<-Decrypting")
    p.expect_box(DEFAULT_TITLE, replace_question(decrypted), "Warning", answer="Yes", buttons=("Yes", "No"))
    p.expect_box("clsSym -> Function DecryptSym", f'"{encrypted}": {DAMAGED}', "Error")
    p.equal(listing(folder), before, "the folder after a wrong password")
    p.check(read(decrypted) == plain, "the decrypted file survives a wrong password")
    p.equal(p.text(left), "", "the left-hand box after a failed decryption")
    p.screenshot("wrong-password")


# ------------------------------------------------------------------ Asymmetric

def journey_asymmetric(p, work):
    p.tab("Asymmetric Encrypt/Decrypt")
    p.screenshot("tab-Asymmetric")
    folder = os.path.join(work, "asym")
    os.makedirs(folder)
    public_path = os.path.join(folder, "public.pem")
    private_path = os.path.join(folder, "private.pem")
    plain = pseudo_random(200_000, "asym")
    source_path = os.path.join(folder, "letter.bin")
    write(source_path, plain)

    left = p.control("text", "Text or file to encrypt or sign")
    right = p.control("text", "Encrypted text, signature or file")
    p.check(not p.enabled(left), "the left-hand box is greyed before there are keys")

    p.press("Generate keys")
    save = p.control("push button", "Save key to file")
    wait_for(lambda: p.enabled(save), "Save key to file enabled by the new pair")
    p.screenshot("generated")

    def key_dialog(title, selected, locked):
        dialog = p.dialog("dialog", title)
        public = p.control("radio button", "Public key", dialog)
        private = p.control("radio button", "Private key", dialog)
        p.equal((p.checked(public), p.checked(private)), (selected == "Public key", selected == "Private key"),
                f"{title!r}: which kind is preset")
        p.equal((p.enabled(public), p.enabled(private)), (not locked, not locked), f"{title!r}: kinds enabled")
        return dialog

    # Escape in the key dialog, then in the file dialog: nothing is saved, and
    # the next press finds the key dialog again, not a dialog left open.
    before = listing(folder)
    p.press("Save key to file")
    key_dialog("Save Key ", "Public key", locked=False)
    p.key("Escape")
    p.closed("dialog", "Save Key ")
    p.press("Save key to file")
    key_dialog("Save Key ", "Public key", locked=False)
    p.key("Return")
    p.file_dialog("Save to file ", None)
    p.equal(listing(folder), before, "the folder after cancelled saves")

    # The public key by the keyboard: Enter is OK.
    p.press("Save key to file")
    key_dialog("Save Key ", "Public key", locked=False)
    p.screenshot("frmKey-save-public")
    p.key("Return")
    p.file_dialog("Save to file ", public_path)
    wait_for(lambda: os.path.exists(public_path), "the public key file")

    # The private key by the mouse.
    p.press("Save key to file")
    dialog = key_dialog("Save Key ", "Public key", locked=False)
    p.select_option("Private key", dialog)
    p.screenshot("frmKey-save-private")
    p.press("OK", dialog)
    p.file_dialog("Save to file ", private_path)
    wait_for(lambda: os.path.exists(private_path), "the private key file")

    # The two files are one pair, as OpenSSL reads them.
    derived = subprocess.run(["openssl", "pkey", "-in", private_path, "-pubout"], capture_output=True, text=True)
    p.check(derived.returncode == 0, f"openssl reads the private key: {derived.stderr.strip()}")
    p.equal(derived.stdout, read(public_path).decode(), "the saved public key is the private key's")
    p.equal(oct(os.stat(private_path).st_mode & 0o777), "0o600", "the private key file's mode")

    # Load the private key, then its public key through the related-key button,
    # relabelled "Load Key" by the generation.
    p.press("Load Key")
    dialog = key_dialog("Load Key ", "Private key", locked=False)
    p.screenshot("frmKey-load")
    p.key("Return")
    p.file_dialog("Load to file ", private_path)
    p.control("push button", "Load Key Private")
    related = p.control("push button", "Load Key Public Related")
    buttons = {name: p.control("push button", name) for name in ("Encrypting->", "<-Decrypting", "Sign->")}
    p.equal({name: p.enabled(b) for name, b in buttons.items()},
            {"Encrypting->": False, "<-Decrypting": True, "Sign->": True}, "actions with the private key alone")
    p.press("Load Key Public Related")
    key_dialog("Load Key ", "Public key", locked=True)
    p.screenshot("frmKey-related")
    p.key("Return")
    p.file_dialog("Load to file ", public_path)
    wait_for(lambda: all(p.enabled(b) for b in buttons.values()), "every action enabled by the pair")
    p.check(p.enabled(related), "the related-key button stays enabled")

    # Sign a text, verify it, then change one character: first as raw bytes
    # (a signature the box must keep whole), then as Base64.
    message = "Pay Alice 100 coins on Monday"
    p.replace_text(left, message)
    p.press("Sign->")
    wait_for(lambda: p.length(right), "the binary signature")  # its first byte may be a NUL
    p.press("Verify signature")
    p.expect_box(DEFAULT_TITLE, "Valid signature ", "Warning")
    p.select_option("Base64")
    wait_for(lambda: p.length(right) == 0, "the signature box emptied by the encoding")
    p.press("Sign->")
    signature = wait_for(lambda: p.text(right), "the Base64 signature")
    p.check(len(base64.b64decode(signature, validate=True)) == 64, "a 512-bit signature, as Base64")
    p.press("Verify signature")
    p.expect_box(DEFAULT_TITLE, "Valid signature ", "Warning")
    p.focus_box(left)
    p.key("End", "BackSpace")
    p.type("Y")
    wait_for(lambda: p.text(left) == message[:-1] + "Y", "the changed message")
    p.press("Verify signature")
    p.expect_box(DEFAULT_TITLE, "Invalid signature ", "Warning")

    # A file, encrypted with the loaded public key at level 9 (the Up key) and back.
    p.press("Choose file to encrypt or sign")
    p.file_dialog("Open file ", source_path)
    wait_for(lambda: p.text(left) == source_path, "the file's path")
    level = p.control("text", "Compression level")
    p.focus_box(level)
    p.key(*["Up"] * 10)
    wait_for(lambda: p.text(level) == "9", "level 9 after ten Up keys")
    p.select_option("Binary")
    p.press("Encrypting->")
    encrypted = os.path.join(folder, "letterEnc.bin")
    wait_for(lambda: p.text(right) == encrypted, "the encrypted file's path")
    p.check(plain[:64] not in read(encrypted), "the cipher text does not hold the plain text")
    p.press("<-Decrypting")
    decrypted = os.path.join(folder, "letterEncDec.bin")
    wait_for(lambda: p.text(left) == decrypted, "the decrypted file's path")
    p.check(read(decrypted) == plain, "RSA: the decrypted file equals the source")
    p.screenshot("asym-done")


# ------------------------------------------------------------------ Encode/Decode

def journey_encoding(p, work):
    p.tab("Encode/Decode")
    p.screenshot("tab-Encode")
    folder = os.path.join(work, "enc")
    os.makedirs(folder)
    plain = pseudo_random(100_001, "enc")  # not a whole number of Base64 groups
    source_path = os.path.join(folder, "photo.raw")
    write(source_path, plain)
    left = p.control("text", "Text or file to encode")
    right = p.control("text", "Encoded text or file")
    p.check(p.checked(p.control("radio button", "Base64")), "Base64 selected at start")

    p.press("Choose file to encode")
    p.file_dialog("Open file ", source_path)
    wait_for(lambda: p.text(left) == source_path, "the file's path")
    p.press("Encoding->")
    encoded = os.path.join(folder, "photoEnc.raw")
    wait_for(lambda: p.text(right) == encoded, "the encoded file's path")
    p.equal(read(encoded), base64.b64encode(plain), "the encoded file, as Base64")
    p.press("<-Decoding")
    decoded = os.path.join(folder, "photoEncDec.raw")
    wait_for(lambda: p.text(left) == decoded, "the decoded file's path")
    p.check(read(decoded) == plain, "the decoded file equals the source")
    p.screenshot("file-done")

    # Text that is not Base64: its box, and the target box emptied.
    p.select_option("Text")
    p.replace_text(right, "QUJD$RA==")
    p.press("<-Decoding")
    p.expect_box("clsEnc ->Function Decode ", "Invalid Base64 character '$' at position 5.", "Error")
    p.equal(p.text(left), "", "the left-hand box after invalid Base64")
    p.equal(read(decoded), plain, "the decoded file is untouched")


# ------------------------------------------------------------------ Abort

def journey_abort(p, work):
    p.tab("Symetric Encrypt/Decrypt")
    folder = os.path.join(work, "abort")
    os.makedirs(folder)
    # Zeros at level 9 keep zlib busy for many seconds while little is written.
    big = os.path.join(folder, "big.img")
    with open(big, "wb") as f:
        f.truncate(8 << 30)
    left = p.control("text", "Text or file to encrypt")
    right = p.control("text", "Encrypted text or file")

    p.press("Choose file to encrypt")
    p.file_dialog("Open file ", big)
    wait_for(lambda: p.text(left) == big, "the big file's path")
    p.replace_text(p.control("text", "Password"), "abort me")
    level = p.control("text", "Compression level")
    p.focus_box(level)
    p.key(*["Up"] * 10)
    wait_for(lambda: p.text(level) == "9", "level 9")
    before = listing(folder)

    abort = p.control("push button", "Abort transaction")

    def run_and_stop(how):
        p.press("Encrypting->")
        bar = p.control("progress bar", "Progress")
        wait_for(lambda: p.value(bar) >= 1, "the progress bar to move")
        p.check(p.enabled(abort), "Abort transaction enabled during the run")
        p.screenshot(f"running-{how}")
        started = time.monotonic()
        if how == "click":
            p.click(abort)
        else:
            p.key("Escape")
        p.expect_box("clsSym -> Function CryptSym", ABORTED, "Error")
        print(f"abort by {how}: the box came {time.monotonic() - started:.2f} s after it", flush=True)
        p.equal(listing(folder), before, f"the folder after the abort by {how} (no output, no temporary file)")
        p.equal(p.text(right), "", f"the right-hand box after the abort by {how}")
        wait_for(lambda: not p.enabled(abort), "Abort transaction disabled again")

    run_and_stop("click")
    # Escape does the same while the button is enabled.
    run_and_stop("Escape")

    # The program goes on: a short text round trip, the cipher text as raw bytes.
    p.select_option("Text")
    p.replace_text(left, "still working")
    p.press("Encrypting->")
    wait_for(lambda: p.length(right), "the cipher text after the abort")
    p.replace_text(left, "")
    p.press("<-Decrypting")
    wait_for(lambda: p.text(left) == "still working", "the text decrypted after the abort")
    p.screenshot("after-abort")


JOURNEYS = {
    "hash": journey_hash,
    "symmetric": journey_symmetric,
    "asymmetric": journey_asymmetric,
    "encoding": journey_encoding,
    "abort": journey_abort,
}


def main(program, shots, work, names):
    if os.path.isdir(shots):
        shutil.rmtree(shots)
    os.makedirs(shots)
    failed = []
    for name in names:
        start = time.monotonic()
        p = None
        try:
            p = Program(program, shots, name)
            JOURNEYS[name](p, work)
            p.quit()
        except Failure as error:
            print(f"FAIL [{name}]: {error}", flush=True)
            if p is not None:
                p.failures.append(str(error))
                p.screenshot("failure")
                # A box nobody expected holds the program up: say what it says.
                box = p.window("alert")
                if box is not None:
                    print(f"  open: {MessageBox(box)!r}", flush=True)
        except Exception:
            traceback.print_exc()
            if p is not None:
                p.failures.append("exception")
        finally:
            if p is not None:
                p.kill()
        problems = len(p.failures) if p is not None else 1
        print(f"{'PASS' if not problems else 'FAIL'} {name} ({time.monotonic() - start:.1f} s)", flush=True)
        if problems:
            failed.append(name)
    print(f"End-to-end: {len(names) - len(failed)} passed, {len(failed)} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    if len(sys.argv) < 4:
        print(__doc__)
        sys.exit(2)
    sys.exit(main(sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:] or list(JOURNEYS)))
