#include "engine/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <string>

#include "engine/Errors.h"

namespace engine::detail {

namespace {

// Start writing back to disk every this many bytes, so that commit() finds
// little left to flush.
constexpr uint64_t kWritebackStep = 16ull << 20;

void checkNamed(const std::string& path) {
    if (path.empty()) throw EngineError(ErrorKind::Io, "No file name was given.");
}

std::string folderOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string nameOf(const std::string& path) {
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A hidden name beside `target` that no other file has yet, most likely.
std::string hiddenName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    // Keep the name within the usual 255-byte limit.
    return folderOf(target) + "/." + nameOf(target).substr(0, 180) + ".tmp-" + std::to_string(::getpid()) + "-" +
           std::to_string(counter.fetch_add(1));
}

// The process's umask, read rather than set: setting it, even briefly, would
// race with other threads creating files.
mode_t currentUmask() {
    if (FILE* status = std::fopen("/proc/self/status", "re")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, status))
            found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(status);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(077);
    ::umask(mask);
    return mask;
}

std::atomic<bool> unnamedAllowed{true};
FileFaults faults;

}  // namespace

InputFile::InputFile(const std::string& path) : m_path(path) {
    checkNamed(path);
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) throw ioError("Cannot open", path, errno);
    if (S_ISDIR(info.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot open \"" + path + "\": it is a folder, not a file.");
    if (!S_ISREG(info.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot open \"" + path + "\": it is not a regular file.");
    // Non-blocking, so that a pipe put in its place since the check cannot stall the open.
    m_fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) throw ioError("Cannot open", path, errno);
    errno = 0;
    const int flags = ::fcntl(m_fd, F_GETFL);
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) || flags < 0 ||
        ::fcntl(m_fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        const int error = errno;
        ::close(m_fd);
        throw ioError("Cannot open", path, error ? error : EINVAL);
    }
    m_size = static_cast<uint64_t>(info.st_size);
    m_device = info.st_dev;
    m_inode = info.st_ino;
    ::posix_fadvise(m_fd, 0, 0, POSIX_FADV_SEQUENTIAL);
}

InputFile::~InputFile() {
    if (m_fd >= 0) ::close(m_fd);
}

size_t InputFile::read(uint8_t* buffer, size_t length) {
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::read(m_fd, buffer + done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ioError("Cannot read", m_path, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void InputFile::rewind() {
    if (::lseek(m_fd, 0, SEEK_SET) != 0) throw ioError("Cannot read", m_path, errno);
}

bool InputFile::isSameFile(const std::string& path) const {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return false;
    return info.st_dev == m_device && info.st_ino == m_inode;
}

AtomicOutputFile::AtomicOutputFile(const std::string& targetPath, mode_t mode, const InputFile* source)
    : m_target(targetPath) {
    checkNamed(targetPath);
    if (source && source->isSameFile(targetPath))
        throw EngineError(ErrorKind::InvalidInput,
                          "Cannot write \"" + targetPath + "\": it is the source file itself.");
    struct stat info {};
    const bool exists = ::stat(targetPath.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot write \"" + targetPath + "\": it is a folder.");
    // A replaced file keeps its permissions, never more than asked for:
    // decrypted text must not become readable to others.
    m_finalMode = exists && S_ISREG(info.st_mode) ? (info.st_mode & 07777 & mode) : (mode & ~currentUmask());
    if (!openUnnamed()) openNamed();
}

bool AtomicOutputFile::openUnnamed() {
    // Linking the file in later goes through /proc.
    static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
    if (!canLink || !unnamedAllowed.load()) return false;
    // Fails on file systems without unnamed files (EOPNOTSUPP, EISDIR); the
    // named file then reports any other reason itself.
    m_fd = ::open(folderOf(m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    return m_fd >= 0;
}

void AtomicOutputFile::openNamed() {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        m_temporary = hiddenName(m_target);
        m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0 || errno != EEXIST) break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        throw ioError("Cannot create", m_target, error);
    }
}

AtomicOutputFile::~AtomicOutputFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void AtomicOutputFile::write(const uint8_t* data, size_t length) {
    if (m_fd < 0) throw EngineError(ErrorKind::Internal, "Cannot write \"" + m_target + "\": file closed.");
    if (faults.beforeWrite)
        if (const int error = faults.beforeWrite(m_written, length))
            throw ioError("Cannot write", m_target, error);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::write(m_fd, data + done, length - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw ioError("Cannot write", m_target, errno);
        }
        done += static_cast<size_t>(n);
    }
    m_written += length;
    if (m_written - m_flushedUpTo >= kWritebackStep) startWriteback();
}

void AtomicOutputFile::startWriteback() {
    ::sync_file_range(m_fd, static_cast<off64_t>(m_flushedUpTo),
                      static_cast<off64_t>(m_written - m_flushedUpTo), SYNC_FILE_RANGE_WRITE);
    m_flushedUpTo = m_written;
}

void AtomicOutputFile::commit() {
    if (m_committed) return;
    if (m_fd < 0) throw EngineError(ErrorKind::Internal, "Cannot write \"" + m_target + "\": file closed.");
    if (::fsync(m_fd) != 0 || ::fchmod(m_fd, m_finalMode) != 0) throw ioError("Cannot write", m_target, errno);
    if (m_temporary.empty()) {
        linkIntoPlace();
        ::close(m_fd);  // the data is on disk already
        m_fd = -1;
    } else {
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) throw ioError("Cannot write", m_target, errno);
        if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) throw ioError("Cannot write", m_target, errno);
    }
    m_committed = true;
    // Make the new name itself durable.
    const int folder = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        if (faults.syncFolder)
            faults.syncFolder(folder);
        else
            ::fsync(folder);
        ::close(folder);
    }
}

// An unnamed file gets a name only when complete. A link cannot replace a
// file, so an existing target is replaced by renaming a hidden link over it.
void AtomicOutputFile::linkIntoPlace() {
    const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, m_target.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
    if (errno != EEXIST) throw ioError("Cannot write", m_target, errno);
    std::string hidden;
    int result = -1;
    for (int attempt = 0; attempt < 1000 && result != 0; ++attempt) {
        hidden = hiddenName(m_target);
        result = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, hidden.c_str(), AT_SYMLINK_FOLLOW);
        if (result != 0 && errno != EEXIST) break;
    }
    if (result != 0) throw ioError("Cannot write", m_target, errno);
    if (::rename(hidden.c_str(), m_target.c_str()) != 0) {
        const int error = errno;
        ::unlink(hidden.c_str());
        throw ioError("Cannot write", m_target, error);
    }
}

void allowUnnamedTemporaryFiles(bool allowed) { unnamedAllowed = allowed; }

void setFileFaults(FileFaults injected) { faults = std::move(injected); }

}  // namespace engine::detail
