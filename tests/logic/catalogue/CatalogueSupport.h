// SPDX-License-Identifier: Apache-2.0
#pragma once
// The bad-input catalogue (docs/bad-input.md) proven through the window: the
// real engine behind the scripted windowing layer, the operations of all four
// tabs described alike, the message boxes a run shows as one line each, and a
// scratch folder compared whole before and after a run, so that a test sees
// the source unchanged, no partial output and an existing target intact.

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "engine/AnotherUser.h"
#include "engine/EngineTestSupport.h"
#include "support/WindowFixture.h"

namespace catalogue {

namespace fs = std::filesystem;

// One button of one tab, as the user meets it.
struct WindowOperation {
    const char* name;
    int tab;
    const char* sourceKind;  // the Text / File option group
    const char* reads;       // the box holding the text or the source's path
    const char* writes;      // the box the result goes to; none for verifying
    const char* button;
    const char* title;       // of the box that reports a failure
    const char* suffix;      // inserted into the output file's name; none when nothing is written
};

inline const WindowOperation kHash{"hash", 1, "optHash", "txtCont", "txtRes", "cmdHashBin",
                                   "clsHash ->Function HashBinary ", nullptr};
inline const WindowOperation kSymEncrypt{"symmetric encryption", 2, "optSym", "txtContSym", "txtResSym",
                                         "cmdEncSym", "clsSym -> Function CryptSym", "Enc"};
inline const WindowOperation kSymDecrypt{"symmetric decryption", 2, "optSym", "txtResSym", "txtContSym",
                                         "cmdDecSym", "clsSym -> Function DecryptSym", "Dec"};
inline const WindowOperation kRsaEncrypt{"RSA encryption", 3, "optAsym", "txtContAsym", "txtResAsym",
                                         "cmdEncAsym", "clsAsym ->Function CryptAsym ", "Enc"};
inline const WindowOperation kRsaDecrypt{"RSA decryption", 3, "optAsym", "txtResAsym", "txtContAsym",
                                         "cmdDecAsym", "clsAsym ->Function DecryptAsym ", "Dec"};
inline const WindowOperation kSign{"signing", 3, "optAsym", "txtContAsym", "txtResAsym",
                                   "cmdAsign", "clsAsym ->Function SignAsym ", nullptr};
inline const WindowOperation kVerify{"verifying", 3, "optAsym", "txtContAsym", nullptr,
                                     "cmdAsymVerifSign", "clsAsym ->Function VerifySign ", nullptr};
inline const WindowOperation kEncode{"encoding", 4, "optED", "txtContED", "txtResED",
                                     "cmdEncED", "clsEnc ->Function Encode ", "Enc"};
inline const WindowOperation kDecode{"decoding", 4, "optED", "txtResED", "txtContED",
                                     "cmdDecED", "clsEnc ->Function Decode ", "Dec"};

inline const WindowOperation* const kFileOperations[] = {&kHash, &kSymEncrypt, &kSymDecrypt, &kRsaEncrypt,
                                                        &kRsaDecrypt, &kSign, &kVerify, &kEncode, &kDecode};
inline const WindowOperation* const kWritingOperations[] = {&kSymEncrypt, &kSymDecrypt, &kRsaEncrypt,
                                                           &kRsaDecrypt, &kEncode, &kDecode};

// Everything under a folder, by relative name: its kind, permissions and,
// for a file, its bytes. Hidden files count like any other.
using Tree = std::map<std::string, std::string>;

inline Tree treeOf(const std::string& root) {
    Tree tree;
    std::error_code ignored;
    for (auto it = fs::recursive_directory_iterator(root, ignored); it != fs::recursive_directory_iterator();
         it.increment(ignored)) {
        const std::string path = it->path().string();
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0) continue;
        std::string entry = std::to_string(info.st_mode & 07777) + " ";
        if (S_ISREG(info.st_mode))
            entry += "file " + enginetest::readAll(path);
        else if (S_ISDIR(info.st_mode))
            entry += "folder";
        else if (S_ISLNK(info.st_mode))
            entry += "link " + fs::read_symlink(path, ignored).string();
        else
            entry += "node " + std::to_string(info.st_mode & S_IFMT) + " " + std::to_string(info.st_rdev);
        tree[path.substr(root.size())] = entry;
    }
    return tree;
}

// A message box in one line: its icon, title and text.
inline std::string errorBox(const std::string& title, const std::string& text) {
    return "error | " + title + " | " + text;
}
inline std::string warningBox(const std::string& text) { return "warning | Quorval | " + text; }
// The question asked before a run replaces an existing file.
inline std::string replaceQuestion(const std::string& target) {
    return "question | Quorval | The file \"" + target + "\" already exists. Replace it?";
}

// The engine's own words for a file (paths here need no escapes).
inline std::string inQuotes(const std::string& path) { return "\"" + path + "\""; }
inline const std::string kDamaged =
    "Cannot decrypt: wrong password or key, or the data is damaged or incomplete.";
inline const std::string kAborted = "The operation was aborted.";

// A small file system of its own (tmpfs), mounted on a scratch folder for
// the life of the object. Mounting needs root, which CI has; `refused`
// says why it could not be mounted, for the test to skip with.
class SmallDisk {
public:
    explicit SmallDisk(uint64_t bytes) {
        if (::geteuid() != 0) {
            refused = "mounting a small file system needs root (CI runs the tests as root)";
            return;
        }
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        if (::mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0)
            refused = std::string("the system refused to mount a tmpfs: ") + std::strerror(errno);
        else
            m_mounted = true;
    }
    ~SmallDisk() {
        if (m_mounted) ::umount2(m_dir.path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    std::string path() const { return m_dir.path(); }
    std::string file(const std::string& name) const { return m_dir.file(name); }
    bool readOnly() {
        return ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV,
                       nullptr) == 0;
    }
    uint64_t freeBytes() const {
        struct statvfs info {};
        ::statvfs(m_dir.path().c_str(), &info);
        return static_cast<uint64_t>(info.f_bavail) * info.f_frsize;
    }
    // Takes all but `left` bytes of the free space with a file of that name.
    void fill(const std::string& name, uint64_t left) {
        const uint64_t free = freeBytes();
        if (free > left) enginetest::writeAll(file(name), std::string(free - left, 'f'));
    }

    std::string refused;

private:
    enginetest::ScratchDir m_dir;
    bool m_mounted = false;
};

class Catalogue : public fake::WindowFixture {
protected:
    void SetUp() override { load([] { return engine::CreateEngineRoot(enginetest::fastOptions()); }); }

    // Shows the operation's tab with Text or File selected; the asymmetric tab gets a pair of keys first.
    void open(const WindowOperation& op, bool file) {
        selectTab(op.tab);
        if (op.tab == 3 && !window->asymmetricTab().asymKeyReady()) {
            form.comboBox("cboAsymKey").userSelect(0);
            form.button("cmdAsymGenKey").userClick();
            ASSERT_TRUE(window->asymmetricTab().asymKeyReady());
        }
        if (op.tab == 4 && form.option("optTypeED", 0).value()) form.option("optTypeED", 1).userClick();
        form.option(op.sourceKind, file ? 1 : 0).userClick();
    }

    // Runs the operation on `input` (a text, or a file's path): puts it into
    // the box the operation reads and presses the button. Verifying first
    // signs `signedInput` (the same kind of source), which also enables its button.
    void run(const WindowOperation& op, const std::string& input, const std::string& signedInput = "") {
        prepare(op, signedInput);
        press(op, input);
    }
    void prepare(const WindowOperation& op, const std::string& signedInput) {
        if (&op != &kVerify) return;
        box(kVerify.reads).setText(signedInput);
        form.button("cmdAsign").userClick();
        EXPECT_FALSE(box("txtResAsym").text().empty()) << "no signature to verify";
        ui.messageBoxes.clear();
    }
    void press(const WindowOperation& op, const std::string& input) {
        box(op.reads).setText(input);
        if (op.writes) box(op.writes).setText("previous");
        form.button(op.button).userClick();
    }

    // The boxes shown since the last call, one line each.
    std::vector<std::string> takeBoxes() {
        std::vector<std::string> out;
        for (const fake::RecordedMessageBox& b : ui.messageBoxes) {
            const char* icon = b.buttons == ui::MsgButtons::YesNo ? "question"
                               : b.icon == ui::MsgIcon::Error     ? "error"
                               : b.icon == ui::MsgIcon::Warning   ? "warning"
                                                                  : "none";
            out.push_back(std::string(icon) + " | " + b.title + " | " + b.text);
        }
        ui.messageBoxes.clear();
        return out;
    }

    // What the user sees after a failed run: the boxes, the source as it was,
    // and nothing in the box the result goes to.
    void expectRefused(const WindowOperation& op, const std::string& input, std::vector<std::string> boxes) {
        EXPECT_EQ(takeBoxes(), boxes) << op.name;
        EXPECT_TRUE(box(op.reads).text() == input) << op.name << ": the source box changed";
        if (op.writes) {
            EXPECT_EQ(box(op.writes).text(), "") << op.name << ": a result was shown";
        }
        EXPECT_FALSE(form.progressBar("pgBar").isVisible()) << op.name;
        EXPECT_FALSE(form.button("cmdAbort").isEnabled()) << op.name;
    }

    // A file in `folder` that `op` takes as a good source: the bytes of
    // `plain`, or for decrypting and decoding what the window's own
    // encryption or encoding made of them. Returns its path.
    std::string goodSource(const WindowOperation& op, const std::string& folder, const std::string& name,
                           const std::string& plain = "the plain text\n") {
        const std::string path = folder + "/" + name;
        enginetest::writeAll(path, plain);
        const WindowOperation* forward = &op == &kSymDecrypt   ? &kSymEncrypt
                                         : &op == &kRsaDecrypt ? &kRsaEncrypt
                                         : &op == &kDecode     ? &kEncode
                                                               : nullptr;
        if (!forward) return path;
        open(*forward, true);
        run(*forward, path);
        EXPECT_EQ(takeBoxes(), std::vector<std::string>{}) << forward->name;
        fs::remove(path);
        return box(forward->writes).text();
    }

    // What the user saw of one run: the boxes, the box read and the box written.
    struct Seen {
        std::vector<std::string> boxes;
        std::string reads, writes;
    };

    // Runs the operation (see run) as another user, answering Yes to a question.
    Seen runAsAnotherUser(const WindowOperation& op, const std::string& input, const std::string& signedInput = "") {
        prepare(op, signedInput);
        const std::string seen = enginetest::asAnotherUser([&] {
            ui.messageAnswers.assign(1, ui::MsgAnswer::Yes);
            press(op, input);
            std::string out;
            for (const std::string& line : takeBoxes()) out += line + "\x1e";
            return out + "\x1f" + box(op.reads).text() + "\x1f" + (op.writes ? box(op.writes).text() : "");
        });
        Seen result;
        const size_t first = seen.find('\x1f'), second = seen.find('\x1f', first + 1);
        if (second == std::string::npos) {
            ADD_FAILURE() << op.name << ": the child said " << seen;
            return result;
        }
        for (size_t at = 0, end; (end = seen.find('\x1e', at)) < first; at = end + 1)
            result.boxes.push_back(seen.substr(at, end - at));
        result.reads = seen.substr(first + 1, second - first - 1);
        result.writes = seen.substr(second + 1);
        return result;
    }
    void expectRefused(const WindowOperation& op, const Seen& seen, const std::string& input,
                       const std::vector<std::string>& boxes) {
        EXPECT_EQ(seen.boxes, boxes) << op.name;
        EXPECT_EQ(seen.reads, input) << op.name << ": the source box changed";
        if (op.writes) {
            EXPECT_EQ(seen.writes, "") << op.name << ": a result was shown";
        }
    }

    fake::FakeTextBox& box(const char* name) { return form.textBox(name); }
    std::string file(const std::string& name) const { return dir.file(name); }
    std::string writeFile(const std::string& name, const std::string& bytes) {
        enginetest::writeAll(file(name), bytes);
        return file(name);
    }
    std::string outputOf(const WindowOperation& op, const std::string& source) const {
        return modUtils::AddFileSuffix(source, op.suffix);
    }

    enginetest::ScratchDir dir;
};

}  // namespace catalogue
