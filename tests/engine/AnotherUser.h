// SPDX-License-Identifier: Apache-2.0
#pragma once
// Runs part of a test as another user, so that file permissions apply even
// when the tests run as root (as in CI): in a forked child that becomes the
// user nobody. Run by anyone else, the child stays that user. The child
// hands a text back to the parent; the parent does all the checking. Only
// the calling thread lives on in the child: work that hands parts to other
// threads (Botan's pool, behind RSA private-key operations) must be done
// before.

#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

namespace enginetest {

inline uid_t nobodyUid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_uid : 65534;
}

inline gid_t nobodyGid() {
    const passwd* entry = ::getpwnam("nobody");
    return entry ? entry->pw_gid : 65534;
}

// What `body` returned in the child; "?" when it threw.
inline std::string asAnotherUser(const std::function<std::string()>& body) {
    int channel[2];
    if (::pipe(channel) != 0) {
        ADD_FAILURE() << "no pipe";
        return "?";
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        if (::geteuid() == 0) {
            const gid_t gid = nobodyGid();
            const uid_t uid = nobodyUid();
            if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                ::setresuid(uid, uid, uid) != 0)
                ::_exit(3);
        }
        // A child that waits for a thread it did not inherit (a library's
        // pool) would wait for ever: it ends instead, and the parent says so.
        ::alarm(120);
        std::string message;
        try {
            message = body();
        } catch (...) {
            message = "?";
        }
        for (size_t done = 0; done < message.size();) {
            const ssize_t n = ::write(channel[1], message.data() + done, message.size() - done);
            if (n <= 0) break;
            done += static_cast<size_t>(n);
        }
        // No exit handlers: they belong to the parent (the leak check among them).
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string message;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) message.append(buffer, n);
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the child could not run as another user";
    return message;
}

}  // namespace enginetest
