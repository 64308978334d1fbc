# SPDX-License-Identifier: Apache-2.0
"""quorval-cli run as a user or a script runs it: exit codes, names, lists of
digests, passwords, standard input and output, and (in a pseudo-terminal) the
prompt, the progress bar and Ctrl+C.

    cli_tests.py PROGRAM [GROUP...]     (unittest names, e.g. Hash or Terminal.test_ctrl_c)
"""

import os
import pty
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest

PROGRAM = None
PASSWORD = "correct horse 42"


def wait_until_catching_sigint(pid):
    """Until the program has put its handler in place (a signal before that would kill it)."""
    for _ in range(1000):
        with open("/proc/%d/status" % pid) as f:
            caught = [l for l in f if l.startswith("SigCgt:")]
        if caught and int(caught[0].split()[1], 16) & (1 << (signal.SIGINT - 1)):
            return
        time.sleep(0.01)


def run(*args, stdin=None, input=None, cwd=None, **kwargs):
    return subprocess.run([PROGRAM, *args], input=input, stdin=stdin, capture_output=True, cwd=cwd,
                          timeout=300, **kwargs)


class CliTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="quorval-cli-")
        self.addCleanup(shutil.rmtree, self.dir, True)
        with open(self.path("pw"), "w") as f:
            f.write(PASSWORD + "\n")

    def path(self, name):
        return os.path.join(self.dir, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def read(self, name):
        with open(self.path(name), "rb") as f:
            return f.read()

    def expect(self, result, code, stderr_has=None):
        """The exit code, and on failure one line on standard error."""
        self.assertEqual(result.returncode, code, result.stderr.decode(errors="replace"))
        if code != 0:
            lines = result.stderr.decode(errors="replace").splitlines()
            self.assertEqual(len(lines), 1, lines)
            if stderr_has:
                self.assertIn(stderr_has, lines[0])


class Usage(CliTest):
    def test_usage_errors_exit_2_and_every_command_has_help(self):
        for args in [(), ("frobnicate",), ("hash", "--bogus"), ("encrypt", "--level", "10", "x"),
                     ("encrypt", "--algorithm", "des", "x"), ("genkey", "--bits", "4096", "-o", "k"),
                     ("verify", "--key", "k", "x"), ("hash", "-a")]:
            result = run(*args)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
        self.expect(run("hash", "--bogus"), 2, "--bogus")
        # An unreadable input is a 2 as well, named as the window names files.
        self.expect(run("hash", self.path("missing\nname")), 2, '"' + self.path("missing\\nname") + '"')
        # Whatever the command and however it is unreadable (missing, a folder, closed standard
        # input, no permission); a target that cannot be written is a failed run, 1.
        os.mkdir(self.path("folder"))
        data = self.write("data", b"data")
        pw = ["--password-file", self.path("pw")]
        for source in [self.path("missing"), self.path("folder")]:
            for args in [("hash", data, source), ("encrypt", *pw, source), ("decrypt", *pw, "-o", "-", source),
                         ("encode", source), ("sign", "--key", data, source)]:
                self.expect(run(*args), 2, '"%s"' % source)
        folder = os.open(self.path("folder"), os.O_RDONLY)
        self.expect(run("hash", "-", stdin=folder), 2, "Is a directory")
        os.close(folder)
        self.expect(run("encode", "-", preexec_fn=lambda: os.close(0)), 2, "Bad file descriptor")
        self.expect(run("encode", data, "-o", self.path("missing/out")), 1, "Cannot create")
        # Opened, then failing as it is read (offset 0 of a process's memory is unmapped): a failed run.
        self.expect(run("hash", "/proc/self/mem"), 1, "Input/output error")
        if os.geteuid() == 0:
            os.chmod(self.dir, 0o755)
            os.chmod(self.write("locked", b"x"), 0o600)
            as_nobody = ["runuser", "-u", "nobody", "--", PROGRAM]
            result = subprocess.run(as_nobody + ["hash", self.path("locked")], capture_output=True, timeout=60)
            self.expect(result, 2, "Permission denied")
            result = subprocess.run(as_nobody + ["encode", data], capture_output=True, timeout=60)
            self.expect(result, 1, "Cannot create")
        for command in ["hash", "encrypt", "decrypt", "genkey", "rsa-encrypt", "rsa-decrypt", "sign", "verify",
                        "encode", "decode"]:
            result = run(command, "--help")
            self.assertEqual(result.returncode, 0, command)
            self.assertIn(b"Usage: quorval-cli " + command.encode(), result.stdout)
        self.assertEqual(run("--version").stdout, b"quorval-cli 1.00\n")


class Hash(CliTest):
    def test_lines_and_lists_as_md5sum_sha1sum_and_rhash_write_them(self):
        names = ["empty", "small.txt", "big.bin", "with space", "back\\slash", "line\nbreak"]
        contents = [b"", b"hello\n", os.urandom(3 << 20), b"x" * 1000, b"y", b"z"]
        for name, data in zip(names, contents):
            self.write(name, data)
        for algorithm, tool in [("md5", ["md5sum"]), ("sha1", ["sha1sum"]), ("tiger", ["rhash", "--tiger"])]:
            # rhash reads a backslash in a name as a folder separator, and a line break ends its line.
            listed = names if algorithm != "tiger" else names[:-2]
            ours = run("hash", "-a", algorithm, *listed, cwd=self.dir)
            self.expect(ours, 0)
            theirs = subprocess.run(tool + listed, capture_output=True, cwd=self.dir, check=True).stdout
            self.assertEqual(ours.stdout, theirs)  # byte for byte, escaped name and order included
            self.write("list", theirs)
            checked = run("hash", "--check", "list", cwd=self.dir)
            self.expect(checked, 0)
            if algorithm == "tiger":
                self.assertEqual(checked.stdout.decode().splitlines(), [n + ": OK" for n in listed])
            else:  # escaped names included
                self.assertEqual(checked.stdout, subprocess.run(tool + ["-c", "list"], capture_output=True,
                                                                cwd=self.dir, check=True).stdout)
        # Standard input, and Base64.
        self.assertEqual(run("hash", "-", input=b"hello\n").stdout, b"b1946ac92492d2347c6235b4d2611184  -\n")
        self.assertEqual(run("hash", "-e", "base64", "small.txt", cwd=self.dir).stdout,
                         b"sZRqySSS0jR8YjW00mERhA==  small.txt\n")
        # A changed file fails its check, a missing one too; the others still pass.
        self.write("list", subprocess.run(["sha1sum"] + names[:3], capture_output=True, cwd=self.dir).stdout)
        self.write("small.txt", b"changed\n")
        os.remove(self.path("empty"))
        checked = run("hash", "--check", "list", cwd=self.dir)
        self.assertEqual(checked.returncode, 1)
        self.assertEqual(checked.stdout.decode().splitlines(),
                         ["empty: FAILED open or read", "small.txt: FAILED", "big.bin: OK"])
        # Digests that cannot be written are a failure, not a success with nothing to show.
        with open("/dev/full", "wb") as full:
            result = subprocess.run([PROGRAM, "hash", "big.bin"], stdout=full, stderr=subprocess.PIPE, cwd=self.dir)
            self.expect(result, 1, "standard output")


class Files(CliTest):
    def test_names_force_and_failures_leave_files_as_they_were(self):
        data = os.urandom(200000)
        self.write("report.txt", data)
        pw = ["--password-file", self.path("pw")]
        self.expect(run("encrypt", *pw, "--algorithm", "aes", "--mode", "cbc", "--level", "9",
                        "--encoding", "base64", self.path("report.txt")), 0)
        self.expect(run("decrypt", *pw, "--algorithm", "aes", self.path("reportEnc.txt")), 0)
        self.assertEqual(self.read("reportEncDec.txt"), data)
        # The window's defaults (Twofish, 256 bits) on both sides.
        self.expect(run("encrypt", *pw, self.path("report.txt"), "-o", self.path("tf")), 0)
        self.expect(run("decrypt", *pw, "--algorithm", "aes", self.path("tf"), "-o", self.path("x")), 1)
        # An existing target: refused with the window's question, replaced with --force.
        before = self.read("reportEnc.txt")
        self.expect(run("encrypt", *pw, self.path("report.txt")), 1,
                    'The file "%s" already exists. Replace it?' % self.path("reportEnc.txt"))
        self.assertEqual(self.read("reportEnc.txt"), before)
        self.expect(run("encrypt", *pw, "--force", self.path("report.txt")), 0)
        self.assertNotEqual(self.read("reportEnc.txt"), before)
        # A wrong password writes nothing; a folder as target is refused.
        with open(self.path("bad"), "w") as f:
            f.write("wrong\n")
        self.expect(run("decrypt", "--password-file", self.path("bad"), self.path("reportEnc.txt"),
                        "-o", self.path("out")), 1, "wrong password")
        os.mkdir(self.path("folder"))
        self.expect(run("encode", self.path("report.txt"), "-o", self.path("folder"), "--force"), 1, "folder")
        self.assertEqual(sorted(os.listdir(self.dir)),
                         sorted(["pw", "bad", "report.txt", "reportEnc.txt", "reportEncDec.txt", "tf", "folder"]))

    def test_keys_signatures_and_rsa_containers(self):
        data = os.urandom(100000)
        self.write("doc.pdf", data)
        self.expect(run("genkey", "--bits", "1024", "--schema", "pkcs1", "-o", self.path("me.key"),
                        "--public-out", self.path("me.pub")), 0)
        self.assertEqual(os.stat(self.path("me.key")).st_mode & 0o777, 0o600)
        self.expect(run("rsa-encrypt", "--key", self.path("me.pub"), "--schema", "pkcs1", self.path("doc.pdf")), 0)
        self.expect(run("rsa-decrypt", "--key", self.path("me.key"), "--schema", "pkcs1",
                        self.path("docEnc.pdf")), 0)
        self.assertEqual(self.read("docEncDec.pdf"), data)
        self.expect(run("sign", "--key", self.path("me.key"), "-e", "hex", "-o", self.path("sig"),
                        self.path("doc.pdf")), 0)
        valid = run("verify", "--key", self.path("me.pub"), "--signature", self.path("sig"), self.path("doc.pdf"))
        self.expect(valid, 0)
        self.assertEqual(valid.stdout, b"Valid signature\n")
        self.write("doc.pdf", data + b"!")
        self.expect(run("verify", "--key", self.path("me.pub"), "--signature", self.path("sig"),
                        self.path("doc.pdf")), 1, "Invalid signature")
        # A public key where a private one is needed is an unreadable input.
        self.expect(run("sign", "--key", self.path("me.pub"), self.path("doc.pdf")), 2)


class Streams(CliTest):
    def test_standard_input_and_output(self):
        data = os.urandom(1 << 20)
        self.write("data.bin", data)
        self.expect(run("encode", self.path("data.bin")), 0)
        with open(self.path("data.bin"), "rb") as source:
            streamed = run("encode", stdin=source)
        self.expect(streamed, 0)
        self.assertEqual(streamed.stdout, self.read("dataEnc.bin"))
        self.assertEqual(run("decode", input=streamed.stdout).stdout, data)
        self.assertEqual(run("encode", "-e", "hex", "-", input=b"\x00\xff").stdout.strip().lower(), b"00ff")
        # Ctrl+C while standard input is silent (held open) stops the read at
        # once, however close to the start of the wait it comes.
        for attempt in range(20):
            for command in ["hash", "encode"]:
                silent, held = os.pipe()
                process = subprocess.Popen([PROGRAM, command, "-"], stdin=silent, stdout=subprocess.PIPE,
                                           stderr=subprocess.PIPE)
                os.close(silent)
                wait_until_catching_sigint(process.pid)
                time.sleep(attempt * 0.002 if attempt < 19 else 0.2)  # before, at and into the read
                process.send_signal(signal.SIGINT)
                try:
                    process.wait(timeout=10)
                except subprocess.TimeoutExpired:
                    process.kill()
                out, err = process.communicate()
                os.close(held)
                self.assertEqual((process.returncode, out), (130, b""), (command, attempt, err))

        # Decrypting to standard output: the plain data, only once it is authenticated.
        pw = ["--password-file", self.path("pw")]
        self.expect(run("encrypt", *pw, "--level", "1", "--force", self.path("data.bin")), 0)
        out = run("decrypt", *pw, "-o", "-", self.path("dataEnc.bin"))
        self.expect(out, 0)
        self.assertEqual(out.stdout, data)
        sealed = bytearray(self.read("dataEnc.bin"))
        sealed[-40] ^= 1
        self.write("damaged", bytes(sealed))
        out = run("decrypt", *pw, "-o", "-", self.path("damaged"))
        self.expect(out, 1)
        self.assertEqual(out.stdout, b"")
        with open(self.path("bad"), "w") as f:
            f.write("wrong\n")
        out = run("decrypt", "--password-file", self.path("bad"), "-o", "-", self.path("dataEnc.bin"))
        self.expect(out, 1)
        self.assertEqual(out.stdout, b"")
        # From a pipe there can be no first pass: refused, nothing written.
        cat = subprocess.Popen(["cat", self.path("dataEnc.bin")], stdout=subprocess.PIPE)
        out = run("decrypt", *pw, "-o", "-", "/dev/stdin", stdin=cat.stdout)
        cat.stdout.close()
        cat.wait()
        self.expect(out, 2, "not a regular file")
        self.assertEqual(out.stdout, b"")


class Passwords(CliTest):
    def test_descriptor_no_terminal_and_nothing_on_the_command_line(self):
        self.write("data.bin", os.urandom(10000))
        # Without a terminal and without a password option: a clear refusal.
        result = run("encrypt", self.path("data.bin"), stdin=subprocess.DEVNULL, start_new_session=True)
        self.expect(result, 2, "--password-file")
        self.assertFalse(os.path.exists(self.path("dataEnc.bin")))
        # --password-fd: the process waits for the password; its command line is read meanwhile.
        reader, writer = os.pipe()
        process = subprocess.Popen([PROGRAM, "encrypt", "--password-fd", str(reader), self.path("data.bin")],
                                   pass_fds=[reader], stderr=subprocess.PIPE)
        os.close(reader)
        cmdline = b""
        for _ in range(500):  # until the program has started
            with open("/proc/%d/cmdline" % process.pid, "rb") as f:
                cmdline = f.read()
            if b"--password-fd" in cmdline:
                break
            time.sleep(0.01)
        self.assertIn(b"--password-fd", cmdline)
        os.write(writer, (PASSWORD + "\n").encode())
        os.close(writer)
        self.assertEqual(process.wait(timeout=60), 0, process.stderr.read())
        process.stderr.close()
        self.assertNotIn(PASSWORD.encode(), cmdline)
        out = run("decrypt", "--password-file", self.path("pw"), "-o", "-", self.path("dataEnc.bin"))
        self.assertEqual(out.stdout, self.read("data.bin"))

    @unittest.skipUnless(os.geteuid() == 0, "needs root to run the program as nobody")
    def test_no_core_and_another_process_of_the_same_user_cannot_read_it(self):
        nobody = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"]
        peek = "import sys; open('/proc/%s/environ', 'rb').read()"
        # A program of nobody's waiting on its standard input; `cat` shows the peek works on an ordinary one.
        for command, readable in [(["cat"], True), ([PROGRAM, "hash", "-"], False)]:
            process = subprocess.Popen(nobody + command, stdin=subprocess.PIPE, stdout=subprocess.DEVNULL)
            try:
                if readable:
                    for _ in range(1000):
                        if os.path.basename(os.readlink("/proc/%d/exe" % process.pid)) == "cat":
                            break
                        time.sleep(0.01)
                else:
                    wait_until_catching_sigint(process.pid)  # its stop handlers come after the hardening
                with open("/proc/%d/limits" % process.pid) as f:
                    core = [l.split()[4:6] for l in f if l.startswith("Max core file size")][0]
                peeked = subprocess.run(nobody + ["python3", "-c", peek % process.pid], capture_output=True)
                self.assertEqual(peeked.returncode == 0, readable, (command, peeked.stderr))
                if not readable:
                    self.assertEqual(core, ["0", "0"])
            finally:
                process.stdin.close()
                process.wait(timeout=60)


class Terminal(CliTest):
    """The real binary on a pseudo-terminal: its controlling terminal is the pty."""

    def spawn(self, *args, stderr_pipe=False):
        pid, master = pty.fork()
        if pid == 0:
            try:
                os.execv(PROGRAM, [PROGRAM, *args])
            finally:
                os._exit(127)
        self.addCleanup(os.close, master)
        return pid, master

    def read_until(self, master, wanted, timeout=60):
        seen = b""
        end = time.time() + timeout
        while wanted not in seen and time.time() < end:
            ready, _, _ = select.select([master], [], [], 0.2)
            if ready:
                try:
                    chunk = os.read(master, 4096)
                except OSError:
                    break
                if not chunk:
                    break
                seen += chunk
        return seen

    def finish(self, pid, master):
        rest = self.read_until(master, b"\0never\0", timeout=0.5)
        _, status = os.waitpid(pid, 0)
        rest += self.read_until(master, b"\0never\0", timeout=0.2)
        return os.waitstatus_to_exitcode(status), rest

    def test_prompt_without_echo_twice_on_encrypt(self):
        self.write("data.txt", b"secret plans\n")
        pid, master = self.spawn("encrypt", self.path("data.txt"))
        self.read_until(master, b"Password: ")
        os.write(master, b"typed-secret\n")
        seen = self.read_until(master, b"Password (again): ")
        os.write(master, b"typed-secret\n")
        code, rest = self.finish(pid, master)
        self.assertEqual(code, 0, rest)
        self.assertNotIn(b"typed-secret", seen + rest)
        # The same password decrypts; a mismatch on encrypting is refused.
        pid, master = self.spawn("decrypt", "-o", "-", self.path("dataEnc.txt"))
        self.read_until(master, b"Password: ")
        os.write(master, b"typed-secret\n")
        code, rest = self.finish(pid, master)
        self.assertEqual(code, 0, rest)
        self.assertIn(b"secret plans", rest)
        self.assertNotIn(b"Password (again)", rest)
        pid, master = self.spawn("encrypt", "-o", self.path("other"), self.path("data.txt"))
        self.read_until(master, b"Password: ")
        os.write(master, b"one\n")
        self.read_until(master, b"Password (again): ")
        os.write(master, b"two\n")
        code, rest = self.finish(pid, master)
        self.assertEqual(code, 2)
        self.assertIn(b"differ", rest)
        self.assertFalse(os.path.exists(self.path("other")))

    def test_progress_bar_on_a_terminal_only(self):
        self.write("big", b"\1" * (8 << 20))
        pid, master = self.spawn("hash", self.path("big"))
        code, out = self.finish(pid, master)
        self.assertEqual(code, 0)
        self.assertRegex(out, rb"\[#{24}\] 100%  8\.0 MiB / 8\.0 MiB")
        piped = run("hash", self.path("big"))
        self.assertEqual(piped.stderr, b"")
        lines = run("hash", "--progress", self.path("big")).stderr.decode().splitlines()
        self.assertTrue(lines and lines[-1].startswith("100%  8.0 MiB / 8.0 MiB"), lines)
        pid, master = self.spawn("hash", "--quiet", self.path("big"))
        code, out = self.finish(pid, master)
        self.assertNotIn(b"100%", out)

    def test_ctrl_c_stops_removes_the_output_and_exits_130(self):
        # Large enough that encrypting it outlasts the first bar on any build.
        with open(self.path("big"), "wb") as f:
            f.truncate(1 << 30)
        pid, master = self.spawn("encrypt", "--password-file", self.path("pw"), "--level", "0",
                                 "-o", self.path("out"), self.path("big"))
        seen = self.read_until(master, b"MiB/s")
        self.assertIn(b"MiB", seen)
        os.write(master, b"\x03")  # the terminal's interrupt character: SIGINT to the program
        code, rest = self.finish(pid, master)
        self.assertEqual(code, 130, seen + rest)
        self.assertEqual(sorted(os.listdir(self.dir)), ["big", "pw"])


if __name__ == "__main__":
    PROGRAM = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0], "-v", *sys.argv[2:]])
