// SPDX-License-Identifier: Apache-2.0
#include "engine/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

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

// Keeps hidden names within the usual 255-byte limit.
constexpr size_t kHiddenNameRoom = 180;
constexpr std::string_view kHiddenTag = ".tmp-";

// A hidden name beside `target` that no other file has yet, most likely.
std::string hiddenName(const std::string& target) {
    static std::atomic<unsigned> counter{0};
    return folderOf(target) + "/." + nameOf(target).substr(0, kHiddenNameRoom) + std::string(kHiddenTag) +
           std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
}

// Digits without a leading zero (but "0"), read into `value`.
bool parseNumber(std::string_view digits, uint64_t& value) {
    if (digits.empty() || digits.size() > 10 || (digits.size() > 1 && digits[0] == '0')) return false;
    value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return true;
}

// Whether `name` is exactly what hiddenName() makes, and for which process.
bool isHiddenName(std::string_view name, pid_t& pid) {
    if (name.empty() || name[0] != '.') return false;
    const size_t counterDash = name.rfind('-');
    if (counterDash == std::string_view::npos) return false;
    const size_t tag = name.rfind(kHiddenTag, counterDash);
    if (tag == std::string_view::npos || tag < 1 || tag - 1 > kHiddenNameRoom) return false;
    const size_t pidAt = tag + kHiddenTag.size();
    uint64_t number = 0, counter = 0;
    if (pidAt > counterDash || !parseNumber(name.substr(pidAt, counterDash - pidAt), number) ||
        !parseNumber(name.substr(counterDash + 1), counter) || number == 0 || number > 0x7FFFFFFF)
        return false;
    pid = static_cast<pid_t>(number);
    return true;
}

// A lock held on the file while it is written. A process number means
// nothing in another PID namespace or on another machine sharing the folder;
// the lock does, and the system drops it when the writer dies.
void lockWhileWriting(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    ::fcntl(fd, F_OFD_SETLK, &lock);
}

// Whether a writer holds that lock; false where the file system has no locks.
bool lockedByWriter(int fd) {
    struct flock lock {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Removes the hidden files that runs killed before their commit() left in
// `folder`: exactly hiddenName()'s pattern, regular files of this user, made
// by a process that no longer runs and locked by no writer. A process that
// took the same number since only keeps the file until a later run. Best
// effort: nothing here fails.
void removeLeftovers(const std::string& folder) {
    DIR* listing = ::opendir(folder.c_str());
    if (!listing) return;
    const int fd = ::dirfd(listing);
    const uid_t user = ::geteuid();
    // One pass over the names; only candidates cost more than that.
    while (const dirent* entry = ::readdir(listing)) {
        const char* name = entry->d_name;
        pid_t pid = 0;
        if (name[0] != '.' || !isHiddenName(name, pid)) continue;
        if (entry->d_type != DT_REG && entry->d_type != DT_UNKNOWN) continue;
        if (pid == ::getpid() || ::kill(pid, 0) == 0 || errno != ESRCH) continue;
        struct stat info {};
        struct stat opened {};
        if (::fstatat(fd, name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(info.st_mode) ||
            info.st_uid != user)
            continue;
        const int file = ::openat(fd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (file < 0) continue;
        const bool unused = ::fstat(file, &opened) == 0 && opened.st_dev == info.st_dev &&
                            opened.st_ino == info.st_ino && !lockedByWriter(file);
        ::close(file);
        if (unused) ::unlinkat(fd, name, 0);
    }
    ::closedir(listing);
}

const char* nodeKind(mode_t mode) {
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISSOCK(mode)) return "a socket";
    return "a special file";
}

// Refuses a target that must not be replaced (see AtomicOutputFile). True
// when the name leads to a regular file, whose status is then in `found`.
bool checkTarget(const std::string& target, struct stat& found) {
    struct stat node {};
    // Nothing there, or nothing reachable: creating the file reports why.
    if (::lstat(target.c_str(), &node) != 0) return false;
    const bool link = S_ISLNK(node.st_mode);
    if (!link)
        found = node;
    else if (::stat(target.c_str(), &found) != 0)
        return false;
    if (S_ISDIR(found.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot write " + quotedPath(target) + ": it is a folder.");
    if (link) return S_ISREG(found.st_mode);
    if (!S_ISREG(node.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot write " + quotedPath(target) + ": it is " +
                                             nodeKind(node.st_mode) +
                                             ", not a regular file; it was left as it is.");
    // Replacing takes only the folder's permission: the file's own must allow
    // this user to write it too, as an open for writing would (root may).
    if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
        const int error = errno;
        throw EngineError(ErrorKind::Io, "Cannot replace " + quotedPath(target) +
                                             ": you may not write to this file (" + std::strerror(error) +
                                             "); it was left as it is.");
    }
    return true;
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
        throw EngineError(ErrorKind::Io, "Cannot open " + quotedPath(path) + ": it is a folder, not a file.");
    if (!S_ISREG(info.st_mode))
        throw EngineError(ErrorKind::Io, "Cannot open " + quotedPath(path) + ": it is not a regular file.");
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
    m_modified = info.st_mtim;
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
    m_read += done;
    return done;
}

void InputFile::rewind() {
    if (::lseek(m_fd, 0, SEEK_SET) != 0) throw ioError("Cannot read", m_path, errno);
    m_read = 0;
}

void InputFile::checkUnchanged() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) throw ioError("Cannot read", m_path, errno);
    if (m_read != m_size || static_cast<uint64_t>(info.st_size) != m_size ||
        info.st_mtim.tv_sec != m_modified.tv_sec || info.st_mtim.tv_nsec != m_modified.tv_nsec)
        throw EngineError(ErrorKind::Io,
                          "The file " + quotedPath(m_path) + " changed while it was being read.");
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
                          "Cannot write " + quotedPath(targetPath) + ": it is the source file itself.");
    struct stat info {};
    const bool replacing = checkTarget(targetPath, info);
    // A replaced file keeps its permissions, never more than asked for:
    // decrypted text must not become readable to others.
    m_finalMode = replacing ? (info.st_mode & 07777 & mode) : (mode & ~currentUmask());
    removeLeftovers(folderOf(targetPath));
    if (!openUnnamed()) openNamed();
}

bool AtomicOutputFile::openUnnamed() {
    // Linking the file in later goes through /proc.
    static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
    if (!canLink || !unnamedAllowed.load()) return false;
    // Fails on file systems without unnamed files (EOPNOTSUPP, EISDIR); the
    // named file then reports any other reason itself.
    m_fd = ::open(folderOf(m_target).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd < 0) return false;
    // Covers the hidden name linkIntoPlace() may give it too.
    lockWhileWriting(m_fd);
    return true;
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
    lockWhileWriting(m_fd);
}

AtomicOutputFile::~AtomicOutputFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlink(m_temporary.c_str());
}

void AtomicOutputFile::write(const uint8_t* data, size_t length) {
    if (m_fd < 0)
        throw EngineError(ErrorKind::Internal, "Cannot write " + quotedPath(m_target) + ": file closed.");
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
    if (m_fd < 0)
        throw EngineError(ErrorKind::Internal, "Cannot write " + quotedPath(m_target) + ": file closed.");
    if (::fsync(m_fd) != 0 || ::fchmod(m_fd, m_finalMode) != 0) throw ioError("Cannot write", m_target, errno);
    // The run may have taken long: what is at the target now must still be replaceable.
    struct stat ignored {};
    checkTarget(m_target, ignored);
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
    syncFolder();
}

// Makes the new name itself durable. A folder this user may not read cannot
// be opened to be flushed, and some file systems do not flush folders at all
// (EINVAL): those are left to the system. Any other failure is reported, but
// the new file stays: what it replaced is gone already.
void AtomicOutputFile::syncFolder() {
    const int folder = ::open(folderOf(m_target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    const int result = faults.syncFolder ? faults.syncFolder(folder) : ::fsync(folder);
    const int error = errno;
    ::close(folder);
    if (result != 0 && error != EINVAL)
        throw EngineError(ErrorKind::Io, "Wrote " + quotedPath(m_target) +
                                             ", but its folder could not be flushed to disk (" +
                                             std::strerror(error) +
                                             "), so the file may not survive a crash.");
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
