// SPDX-License-Identifier: Apache-2.0
// What a command line needs of the engine: descriptors in and out, and
// decryption to a descriptor that writes nothing before authentication.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

#include "EngineTestSupport.h"

using namespace enginetest;

namespace {

// A pipe whose writing end a thread fills with `bytes` and closes.
class FedPipe {
public:
    explicit FedPipe(std::string bytes) {
        EXPECT_EQ(::pipe(m_fds), 0);
        m_writer = std::thread([this, bytes = std::move(bytes)] {
            size_t done = 0;
            while (done < bytes.size()) {
                const ssize_t n = ::write(m_fds[1], bytes.data() + done, bytes.size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            ::close(m_fds[1]);
        });
    }
    ~FedPipe() {
        m_writer.join();
        ::close(m_fds[0]);
    }
    int fd() const { return m_fds[0]; }

private:
    int m_fds[2];
    std::thread m_writer;
};

// A file to write into by descriptor, read back by path.
class OutFile {
public:
    explicit OutFile(const std::string& path)
        : m_path(path), m_fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600)) {}
    ~OutFile() { ::close(m_fd); }
    int fd() const { return m_fd; }
    std::string bytes() const { return readAll(m_path); }

private:
    std::string m_path;
    int m_fd;
};

}  // namespace

TEST(Streams, HashAndCodecsOverDescriptorsMatchTheirFileForms) {
    ScratchDir dir;
    auto root = engine::CreateEngineRoot(fastOptions());
    // Larger than a chunk and not a multiple of three: pieces and the last group both count.
    const std::string data = pseudoRandom(3 * 64 * 1024 * 2 + 7);
    writeAll(dir.file("data"), data);
    for (auto algorithm : {engine::HashAlgorithm::Md5, engine::HashAlgorithm::Sha1, engine::HashAlgorithm::Tiger}) {
        auto hash = root->NewHash(algorithm);
        hash->Encoding(engine::OutputEncoding::Hex);
        FedPipe in(data);
        EXPECT_EQ(hash->HashStream(in.fd()), hash->HashFile(dir.file("data")));
    }
    for (auto encoding : {engine::OutputEncoding::Base64, engine::OutputEncoding::Hex}) {
        auto encoder = root->NewEncoder(encoding);
        encoder->EncodeFile(dir.file("data"), dir.file("encoded"));
        {
            FedPipe in(data);
            OutFile out(dir.file("streamed"));
            encoder->EncodeStream(in.fd(), out.fd());
            EXPECT_EQ(out.bytes(), readAll(dir.file("encoded")));
        }
        FedPipe in(readAll(dir.file("encoded")));
        OutFile out(dir.file("decoded"));
        encoder->DecodeStream(in.fd(), out.fd());
        EXPECT_EQ(out.bytes(), data);
    }
}

TEST(Streams, DecryptionToADescriptorWritesOnlyAuthenticatedData) {
    ScratchDir dir;
    auto root = engine::CreateEngineRoot(fastOptions());
    const std::string data = pseudoRandom(1 << 20);
    writeAll(dir.file("plain"), data);
    auto cipher = root->NewSymCipher(engine::SymAlgorithm::Aes, "right", 256);
    cipher->Compression(6);
    cipher->EncryptFile(dir.file("plain"), dir.file("sealed"));
    std::shared_ptr<engine::EngineAsymKey> publicKey;
    auto privateKey = root->NewKeyPair(engine::KeyKind::KeyPair, 512, "", engine::EncryptionSchema::Oaep, publicKey);
    publicKey->EncryptFile(dir.file("plain"), dir.file("rsa-sealed"));
    {
        OutFile out(dir.file("out"));
        cipher->DecryptFileToStream(dir.file("sealed"), out.fd());
        EXPECT_EQ(out.bytes(), data);
    }
    {
        OutFile out(dir.file("out"));
        privateKey->DecryptFileToStream(dir.file("rsa-sealed"), out.fd());
        EXPECT_EQ(out.bytes(), data);
    }

    // A wrong password, and a container damaged in its last bytes, which
    // only the tag at the end tells: nothing at all is written.
    auto wrong = root->NewSymCipher(engine::SymAlgorithm::Aes, "wrong", 256);
    std::string damaged = readAll(dir.file("sealed"));
    damaged[damaged.size() - 40] ^= 1;
    writeAll(dir.file("damaged"), damaged);
    for (auto [opener, source] : {std::pair{wrong, dir.file("sealed")}, std::pair{cipher, dir.file("damaged")}}) {
        OutFile out(dir.file("out"));
        try {
            opener->DecryptFileToStream(source, out.fd());
            ADD_FAILURE() << "decrypted " << source;
        } catch (const engine::EngineError& e) {
            EXPECT_EQ(e.kind(), engine::ErrorKind::WrongKeyOrDamaged) << e.what();
        }
        EXPECT_EQ(out.bytes(), "");
    }

    // Two passes need a regular file: a pipe is refused before anything is read.
    ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0600), 0);
    OutFile out(dir.file("out"));
    try {
        cipher->DecryptFileToStream(dir.file("fifo"), out.fd());
        ADD_FAILURE() << "decrypted a pipe";
    } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.kind(), engine::ErrorKind::Io) << e.what();
    }
}

TEST(Streams, AFileChangedAfterItsAuthenticationIsNotWritten) {
    ScratchDir dir;
    auto root = engine::CreateEngineRoot(fastOptions());
    const std::string data = pseudoRandom(4 << 20);
    writeAll(dir.file("plain"), data);
    auto cipher = root->NewSymCipher(engine::SymAlgorithm::Twofish, "pw", 256);
    cipher->EncryptFile(dir.file("plain"), dir.file("sealed"));
    // The bar runs over both passes: a change (the file's times, as a rewrite
    // in place would set them) in the first pass writes nothing; in the
    // second, writing stops at the next piece.
    for (const int32_t at : {10, 70}) {
        bool touched = false;
        root->SetOnProcess([&](int32_t position, int32_t, bool&) {
            if (touched || position < at || position > 100) return;
            touched = true;
            const timespec later[2] = {{0, UTIME_NOW}, {::time(nullptr) + 100, 0}};
            ::utimensat(AT_FDCWD, dir.file("sealed").c_str(), later, 0);
        });
        TestPacingClock clock(std::chrono::milliseconds(20));
        OutFile out(dir.file("out"));
        try {
            cipher->DecryptFileToStream(dir.file("sealed"), out.fd());
            ADD_FAILURE() << "decrypted a file that changed at " << at << " %";
        } catch (const engine::EngineError& e) {
            EXPECT_NE(std::string(e.what()).find("changed while it was being read"), std::string::npos) << e.what();
        }
        EXPECT_TRUE(touched);
        if (at < 50)
            EXPECT_EQ(out.bytes(), "");
        else
            EXPECT_LT(out.bytes().size(), data.size() * 3 / 4);
    }
}
