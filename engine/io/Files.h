// SPDX-License-Identifier: Apache-2.0
#pragma once
// Files as the engine reads and writes them: large sequential reads, and
// output that appears at its target only once it is complete.

#include <sys/types.h>
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace engine::detail {

// Every streamed operation reads and processes data in chunks of this size.
// A multiple of 3 and of 16, so Base64 groups and cipher blocks never straddle chunks.
constexpr size_t kChunkSize = 3 * 64 * 1024;

// A regular file opened for reading. Failures throw EngineError(Io) naming the
// path and the reason (missing, a folder, unreadable, read error, changed).
class InputFile {
public:
    explicit InputFile(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& path() const { return m_path; }
    // Size when opened (64-bit; files above 4 GiB are fine).
    uint64_t size() const { return m_size; }
    // Reads up to `length` bytes; fewer only at the end of the file; 0 at the end.
    size_t read(uint8_t* buffer, size_t length);
    // Back to the first byte, after a look at the start.
    void rewind();
    // Call once everything is read: throws when the file is not the one
    // opened any more (another size, modification or change time than at the
    // open, another number of bytes read, or another file at its path now),
    // since the result would then describe bytes that were never on disk
    // together, or a file that is no longer there.
    void checkUnchanged() const;
    // The same check at any point of reading, without the count of bytes
    // read: for a second pass that must stop before using a changed file.
    void checkNotModified() const;
    // True when `name` in the folder `folder` (a descriptor) is this very file
    // (also through links).
    bool isSameFile(int folder, const std::string& name) const;

private:
    std::string m_path;
    int m_fd = -1;
    uint64_t m_size = 0;
    uint64_t m_read = 0;
    timespec m_modified{};
    timespec m_changed{};  // st_ctime, which no user can set back
    dev_t m_device = 0;
    ino_t m_inode = 0;
};

// What a name in a folder leads to, as far as replacing it goes: nothing,
// or one node, which any change (contents, permissions, links) gives
// another change time.
struct TargetNode {
    bool present = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec changed{};
};

// A new file that appears at its target only once it is complete. Where the
// file system allows it, the data goes to an unnamed file in the target's
// folder (O_TMPFILE) that commit() links into place, so a crash leaves
// nothing behind; elsewhere to a hidden file beside the target
// (".NAME.tmp-PID-N") that commit() renames over it, and that the next
// AtomicOutputFile in the folder removes if a crash left it. Either is
// readable by its owner only (0600) until it has the target's name; only
// then does it get its final permissions. Destroyed without commit(), it
// removes what it wrote and leaves any existing target untouched. Failures
// throw EngineError(Io) naming the target path and the reason.
//
// Everything happens relative to the target's folder, opened once at the
// start: a target path up to the system's limit can be created and replaced,
// and a hidden file is removed wherever its folder has moved.
//
// What was at the target when the run started (nothing, or one file) is all
// commit() may replace: a file that another program created or changed there
// meanwhile is left as it is, and the new file is dropped.
//
// What may be replaced: nothing, a regular file the user may write, or a
// symbolic link (the link is replaced; what it points to is not touched,
// unless it is a folder, which is refused like one). A folder, a device, a
// pipe or a socket, and a file the user may not write, are refused and left
// as they are; this is checked at the start and again just before commit()
// puts the file in place.
class AtomicOutputFile {
public:
    // `mode` is the permission of the finished file before the umask: 0666 for
    // data, 0600 for private keys. A regular file it replaces keeps its
    // permissions, masked by `mode`. `source`, when given, is refused as the target.
    explicit AtomicOutputFile(const std::string& targetPath, mode_t mode = 0666,
                              const InputFile* source = nullptr);
    ~AtomicOutputFile();
    AtomicOutputFile(const AtomicOutputFile&) = delete;
    AtomicOutputFile& operator=(const AtomicOutputFile&) = delete;

    const std::string& path() const { return m_target; }
    void write(const uint8_t* data, size_t length);
    void write(const std::string& data) { write(reinterpret_cast<const uint8_t*>(data.data()), data.size()); }
    // Flushes to disk, puts the file in place, gives it its final permissions
    // and flushes the folder. When one of the last two steps fails, the new
    // file stays in place (what it replaced is gone already) and the failure
    // is thrown. When putting it in place fails, the file is removed; if even
    // that fails, the description says where it stays.
    void commit();

private:
    bool openUnnamed();
    void openNamed();
    std::string newHiddenName() const;
    void putInPlace();
    void createWithoutReplacing();
    bool removeTemporary();
    std::string whereLeft() const;
    void startWriteback();
    void syncFolder();

    std::string m_target;
    std::string m_folderPath;
    std::string m_name;       // the target's last component
    int m_folder = -1;        // the target's folder
    long m_nameMax = 255;     // the longest name the folder takes
    TargetNode m_before;      // what was at the target at the start
    std::string m_temporary;  // its name in the folder; empty while the file has no name
    int m_fd = -1;
    mode_t m_finalMode = 0600;
    bool m_committed = false;
    uint64_t m_written = 0;
    uint64_t m_flushedUpTo = 0;
};

}  // namespace engine::detail
