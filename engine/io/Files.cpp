// SPDX-License-Identifier: Apache-2.0
#include "engine/io/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>

#include "engine/core/Errors.h"
#include "engine/core/TestHooks.h"

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

// The most of the target's name a hidden name keeps; less where the file
// system's names are shorter. Killed runs of earlier versions left names of
// the same form, which removeLeftovers() still takes.
constexpr size_t kHiddenNameRoom = 180;
constexpr std::string_view kHiddenTag = ".tmp-";

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
void removeLeftovers(int folder) {
    const int opened = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (opened < 0) return;
    DIR* listing = ::fdopendir(opened);
    if (!listing) {
        ::close(opened);
        return;
    }
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

// Refuses a target, `name` in `folder`, that must not be replaced (see
// AtomicOutputFile). True when the name leads to a regular file, whose status
// is then in `found`.
bool checkTarget(int folder, const std::string& name, const std::string& target, struct stat& found) {
    struct stat node {};
    // Nothing there, or nothing reachable: creating the file reports why.
    if (::fstatat(folder, name.c_str(), &node, AT_SYMLINK_NOFOLLOW) != 0) return false;
    const bool link = S_ISLNK(node.st_mode);
    if (!link)
        found = node;
    else if (::fstatat(folder, name.c_str(), &found, 0) != 0)
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
    if (::faccessat(folder, name.c_str(), W_OK, AT_EACCESS) != 0 && errno != ENOENT) {
        const int error = errno;
        throw EngineError(ErrorKind::Io, "Cannot replace " + quotedPath(target) +
                                             ": you may not write to this file (" + std::strerror(error) +
                                             "); it was left as it is.");
    }
    return true;
}

TargetNode nodeAt(int folder, const std::string& name) {
    struct stat info {};
    TargetNode node;
    if (::fstatat(folder, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) return node;
    node.present = true;
    node.device = info.st_dev;
    node.inode = info.st_ino;
    node.size = info.st_size;
    node.changed = info.st_ctim;
    return node;
}

bool sameNode(const TargetNode& a, const TargetNode& b) {
    return a.present == b.present && a.device == b.device && a.inode == b.inode && a.size == b.size &&
           a.changed.tv_sec == b.changed.tv_sec && a.changed.tv_nsec == b.changed.tv_nsec;
}

EngineError changedByAnother(const std::string& target) {
    return EngineError(ErrorKind::Io, "The file " + quotedPath(target) +
                                          " was created or changed by another program while this one was "
                                          "writing it; it was left as it is.");
}

// Whether the folder opened at the start is no longer at its path.
bool folderMoved(int folder, const std::string& path) {
    struct stat opened {};
    struct stat now {};
    if (::fstat(folder, &opened) != 0) return false;
    return ::stat(path.c_str(), &now) != 0 || now.st_dev != opened.st_dev || now.st_ino != opened.st_ino;
}

// Runs of this program putting files into one folder take turns between
// looking at the target and renaming over it, so that of two writers racing
// for one name, the second sees the first one's file. Other programs do not
// take it: for them the window is that instant. Nobody holds it for long, so
// a lock that stays taken is waited out briefly and then passed by.
class FolderLock {
public:
    explicit FolderLock(int folder) : m_fd(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
        if (m_fd < 0) return;
        for (int attempt = 0; attempt < 2000; ++attempt) {
            if (::flock(m_fd, LOCK_EX | LOCK_NB) == 0) return;
            if (errno != EWOULDBLOCK && errno != EINTR) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ::close(m_fd);
        m_fd = -1;
    }
    ~FolderLock() {
        if (m_fd >= 0) ::close(m_fd);  // which drops the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int m_fd;
};

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
    m_changed = info.st_ctim;
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
    if (m_read != m_size)
        throw EngineError(ErrorKind::Io,
                          "The file " + quotedPath(m_path) + " changed while it was being read.");
    checkNotModified();
}

void InputFile::checkNotModified() const {
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) throw ioError("Cannot read", m_path, errno);
    // The change time catches a rewrite whose modification time was put back.
    const bool same = static_cast<uint64_t>(info.st_size) == m_size &&
                      info.st_mtim.tv_sec == m_modified.tv_sec &&
                      info.st_mtim.tv_nsec == m_modified.tv_nsec && info.st_ctim.tv_sec == m_changed.tv_sec &&
                      info.st_ctim.tv_nsec == m_changed.tv_nsec;
    // The descriptor reads a file replaced under its name (as editors save)
    // whole, but the result would then describe a file the path no longer
    // names: the user would take it for the one there now.
    struct stat named {};
    const bool there =
        ::stat(m_path.c_str(), &named) == 0 && named.st_dev == m_device && named.st_ino == m_inode;
    if (!same || !there)
        throw EngineError(ErrorKind::Io,
                          "The file " + quotedPath(m_path) + " changed while it was being read.");
}

bool InputFile::isSameFile(int folder, const std::string& name) const {
    struct stat info {};
    if (::fstatat(folder, name.c_str(), &info, 0) != 0) return false;
    return info.st_dev == m_device && info.st_ino == m_inode;
}

AtomicOutputFile::AtomicOutputFile(const std::string& targetPath, mode_t mode, const InputFile* source)
    : m_target(targetPath), m_folderPath(folderOf(targetPath)), m_name(nameOf(targetPath)) {
    checkNamed(targetPath);
    // "folder/" names the folder itself, which is refused as one below.
    if (m_name.empty()) m_name = ".";
    m_folder = ::open(m_folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (m_folder < 0) throw ioError("Cannot create", m_target, errno);
    try {
        if (source && source->isSameFile(m_folder, m_name))
            throw EngineError(ErrorKind::InvalidInput,
                              "Cannot write " + quotedPath(targetPath) + ": it is the source file itself.");
        const long nameMax = ::fpathconf(m_folder, _PC_NAME_MAX);
        if (nameMax > 0) m_nameMax = nameMax;
        if (m_name.size() > static_cast<size_t>(m_nameMax))
            throw EngineError(ErrorKind::Io, "Cannot create " + quotedPath(targetPath) + ": its name is " +
                                                 std::to_string(m_name.size()) +
                                                 " bytes long, longer than the " + std::to_string(m_nameMax) +
                                                 " bytes a file name may have in its folder.");
        struct stat info {};
        const bool replacing = checkTarget(m_folder, m_name, m_target, info);
        m_before = nodeAt(m_folder, m_name);
        // A replaced file keeps its permissions, never more than asked for:
        // decrypted text must not become readable to others.
        m_finalMode = replacing ? (info.st_mode & 07777 & mode) : (mode & ~currentUmask());
        removeLeftovers(m_folder);
        if (!openUnnamed()) openNamed();
    } catch (...) {
        ::close(m_folder);
        throw;
    }
}

bool AtomicOutputFile::openUnnamed() {
    // Linking the file in later goes through /proc.
    static const bool canLink = ::access("/proc/self/fd", X_OK) == 0;
    if (!canLink || !hooks::unnamedTemporaryFilesAllowed()) return false;
    // Fails on file systems without unnamed files (EOPNOTSUPP, EISDIR); the
    // named file then reports any other reason itself.
    m_fd = ::openat(m_folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (m_fd < 0) return false;
    // Covers the hidden name putInPlace() may give it too.
    lockWhileWriting(m_fd);
    return true;
}

void AtomicOutputFile::openNamed() {
    for (int attempt = 0; attempt < 1000; ++attempt) {
        m_temporary = newHiddenName();
        m_fd = ::openat(m_folder, m_temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (m_fd >= 0 || errno != EEXIST) break;
    }
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        throw ioError("Cannot create", m_target, error);
    }
    lockWhileWriting(m_fd);
}

// A hidden name in the target's folder that no other file has yet, most
// likely: as much of the target's name as fits, then the process and a count.
std::string AtomicOutputFile::newHiddenName() const {
    static std::atomic<unsigned> counter{0};
    const std::string tail =
        std::string(kHiddenTag) + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1));
    const size_t limit = static_cast<size_t>(m_nameMax);
    if (1 + tail.size() > limit)
        throw EngineError(ErrorKind::Io,
                          "Cannot write " + quotedPath(m_target) + ": its folder takes names of " +
                              std::to_string(limit) +
                              " bytes at most, too few for the hidden name the file is written "
                              "under until it is complete.");
    return "." + m_name.substr(0, std::min(kHiddenNameRoom, limit - 1 - tail.size())) + tail;
}

AtomicOutputFile::~AtomicOutputFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_committed && !m_temporary.empty()) ::unlinkat(m_folder, m_temporary.c_str(), 0);
    ::close(m_folder);
}

void AtomicOutputFile::write(const uint8_t* data, size_t length) {
    if (m_fd < 0)
        throw EngineError(ErrorKind::Internal, "Cannot write " + quotedPath(m_target) + ": file closed.");
    if (const int error = hooks::writeFault(m_written, length)) throw ioError("Cannot write", m_target, error);
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
    try {
        if (::fsync(m_fd) != 0) throw ioError("Cannot write", m_target, errno);
        putInPlace();
    } catch (const EngineError& e) {
        if (m_temporary.empty() || removeTemporary()) throw;
        throw EngineError(e.kind(), std::string(e.what()) + " " + whereLeft());
    }
    m_committed = true;
    m_temporary.clear();
    // Readable by others only now that it has its name. Through the
    // descriptor: whatever is at the name by now is not touched.
    const int modeError = ::fchmod(m_fd, m_finalMode) == 0 ? 0 : errno;
    ::close(m_fd);  // the data is on disk already
    m_fd = -1;
    syncFolder();
    if (modeError)
        throw EngineError(ErrorKind::Io, "Wrote " + quotedPath(m_target) +
                                             ", but could not give it its permissions (" +
                                             std::strerror(modeError) + "): only you may read it.");
}

// Gives the complete file the target's name, replacing only what was there
// at the start.
void AtomicOutputFile::putInPlace() {
    // Renamed into a folder that moved, the file would land where the user
    // never asked for it.
    if (folderMoved(m_folder, m_folderPath))
        throw EngineError(ErrorKind::Io, "Cannot write " + quotedPath(m_target) +
                                             ": its folder was moved away while the file was being written.");
    // An unnamed file gets a hidden name first, since a link cannot replace.
    if (m_temporary.empty() && m_before.present) {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        std::string hidden;
        int result = -1;
        for (int attempt = 0; attempt < 1000 && result != 0; ++attempt) {
            hidden = newHiddenName();
            result = ::linkat(AT_FDCWD, self.c_str(), m_folder, hidden.c_str(), AT_SYMLINK_FOLLOW);
            if (result != 0 && errno != EEXIST) break;
        }
        if (result != 0) throw ioError("Cannot write", m_target, errno);
        m_temporary = hidden;
    }
    const FolderLock turn(m_folder);
    // The run may have taken long: what is at the target now must still be replaceable.
    struct stat ignored {};
    checkTarget(m_folder, m_name, m_target, ignored);
    const TargetNode now = nodeAt(m_folder, m_name);
    if (now.present && !sameNode(now, m_before)) throw changedByAnother(m_target);
    if (!now.present)
        createWithoutReplacing();
    else if (::renameat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str()) != 0)
        throw ioError("Cannot write", m_target, errno);
}

// Takes the target's name where nothing has it, failing if something took it
// meanwhile.
void AtomicOutputFile::createWithoutReplacing() {
    int error = 0;
    if (m_temporary.empty()) {
        // A link never replaces.
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        if (::linkat(AT_FDCWD, self.c_str(), m_folder, m_name.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
        error = errno;
    } else {
        if (::renameat2(m_folder, m_temporary.c_str(), m_folder, m_name.c_str(), RENAME_NOREPLACE) == 0)
            return;
        error = errno;
        if (error == EINVAL || error == ENOSYS) {
            // A file system without that kind of rename: a second link, then.
            if (::linkat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str(), 0) == 0) {
                ::unlinkat(m_folder, m_temporary.c_str(), 0);
                return;
            }
            error = errno;
            // Nor links: a plain rename, after the look under the lock.
            if (error == EPERM || error == EOPNOTSUPP) {
                if (::renameat(m_folder, m_temporary.c_str(), m_folder, m_name.c_str()) == 0) return;
                error = errno;
            }
        }
    }
    if (error == EEXIST) throw changedByAnother(m_target);
    throw ioError("Cannot write", m_target, error);
}

// Removes the hidden file through the folder opened at the start, wherever
// that folder is now. True when it is gone.
bool AtomicOutputFile::removeTemporary() {
    if (::unlinkat(m_folder, m_temporary.c_str(), 0) != 0 && errno != ENOENT) return false;
    m_temporary.clear();
    return true;
}

// Where a hidden file that could not be removed stays.
std::string AtomicOutputFile::whereLeft() const {
    std::string folder = m_folderPath;
    const bool moved = folderMoved(m_folder, m_folderPath);
    if (moved) {
        // The system knows where the folder is now.
        char now[PATH_MAX];
        const std::string self = "/proc/self/fd/" + std::to_string(m_folder);
        const ssize_t length = ::readlink(self.c_str(), now, sizeof now);
        if (length > 0 && static_cast<size_t>(length) < sizeof now && now[0] == '/')
            folder.assign(now, length);
    }
    return "The unfinished file " + quotedPath(m_temporary) + " could not be removed: it is in the folder " +
           quotedPath(folder) + (moved ? ", where the target's folder was moved," : "") +
           " and only you may read it.";
}

// Makes the new name itself durable. A folder this user may not read cannot
// be opened to be flushed, and some file systems do not flush folders at all
// (EINVAL): those are left to the system. Any other failure is reported, but
// the new file stays: what it replaced is gone already.
void AtomicOutputFile::syncFolder() {
    const int folder = ::openat(m_folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return;
    const int result = hooks::syncFolder(folder);
    const int error = errno;
    ::close(folder);
    if (result != 0 && error != EINVAL)
        throw EngineError(ErrorKind::Io, "Wrote " + quotedPath(m_target) +
                                             ", but its folder could not be flushed to disk (" +
                                             std::strerror(error) +
                                             "), so the file may not survive a crash.");
}

}  // namespace engine::detail
