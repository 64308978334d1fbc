// SPDX-License-Identifier: Apache-2.0
// Times a program from its launch to the first paint of its window, from
// outside: an X client on the same display ($DISPLAY, a private Xvfb) watches
// every top-level window the program creates, through the X DAMAGE extension,
// and notes when something is first drawn into the one captioned CAPTION.
// Nothing in the program is changed or hooked, so a bare Qt window and ours
// are timed alike.
//
//   quorval_first_paint CAPTION PROGRAM [ARGS...]
//       prints "MAP PAINT CPU": milliseconds from the launch to the window's
//       mapping and to its first paint, and the CPU milliseconds the program
//       (all its threads) had used by then; then ends the program.
//
// The times are this process's monotonic clock when the X server's events
// arrive; the watcher waits in poll(), so it wakes as they come.

#include <X11/extensions/damagewire.h>
#include <dirent.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>

extern char** environ;

namespace {

double nowMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// A DAMAGE request sent as raw bytes: the library headers ship no xcb binding.
xcb_void_cookie_t sendRaw(xcb_connection_t* connection, void* request, size_t size, bool wantsReply,
                          unsigned* sequence = nullptr) {
    iovec parts[3] = {};
    parts[2].iov_base = request;
    parts[2].iov_len = size;
    xcb_protocol_request_t info{};
    info.count = 1;
    info.isvoid = wantsReply ? 0 : 1;
    // xcb may use the two iovecs before the first.
    const unsigned seq = xcb_send_request(connection, XCB_REQUEST_RAW, parts + 2, &info);
    if (sequence) *sequence = seq;
    return xcb_void_cookie_t{seq};
}

std::string windowName(xcb_connection_t* connection, xcb_window_t window) {
    xcb_get_property_reply_t* reply = xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_NAME, XCB_GET_PROPERTY_TYPE_ANY, 0, 256),
        nullptr);
    if (!reply) return {};
    std::string name(static_cast<const char*>(xcb_get_property_value(reply)),
                     static_cast<size_t>(xcb_get_property_value_length(reply)));
    free(reply);
    return name;
}

// CPU time of every thread of a process so far, in milliseconds, from the
// scheduler's nanosecond counts.
double cpuMsOf(pid_t pid) {
    const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    double total = 0;
    if (DIR* dir = opendir(tasks.c_str())) {
        while (const dirent* entry = readdir(dir)) {
            if (entry->d_name[0] == '.') continue;
            if (FILE* stat = std::fopen((tasks + "/" + entry->d_name + "/schedstat").c_str(), "r")) {
                unsigned long long ns = 0;
                if (std::fscanf(stat, "%llu", &ns) == 1) total += ns / 1e6;
                std::fclose(stat);
            }
        }
        closedir(dir);
    }
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: quorval_first_paint CAPTION PROGRAM [ARGS...]\n");
        return 2;
    }
    const std::string caption = argv[1];
    int screenNumber = 0;
    xcb_connection_t* connection = nullptr;
    // Xvfb now and then refuses a connection right after another client left.
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (connection) xcb_disconnect(connection);
        connection = xcb_connect(nullptr, &screenNumber);
        if (!xcb_connection_has_error(connection)) break;
        usleep(50000);
    }
    if (int error = xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "cannot connect to the X display (xcb error %d)\n", error);
        return 1;
    }
    xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screenNumber; ++i) xcb_screen_next(&screens);
    const xcb_window_t root = screens.data->root;

    xcb_query_extension_reply_t* damage =
        xcb_query_extension_reply(connection, xcb_query_extension(connection, 6, DAMAGE_NAME), nullptr);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "the X server has no DAMAGE extension\n");
        return 1;
    }
    const uint8_t opcode = damage->major_opcode, firstEvent = damage->first_event;
    free(damage);

    struct {
        uint8_t major, minor;
        uint16_t length;
        uint32_t majorVersion, minorVersion;
    } version{opcode, X_DamageQueryVersion, 3, DAMAGE_MAJOR, DAMAGE_MINOR};
    unsigned sequence = 0;
    sendRaw(connection, &version, sizeof version, true, &sequence);
    xcb_generic_error_t* error = nullptr;
    free(xcb_wait_for_reply(connection, sequence, &error));
    if (error) {
        std::fprintf(stderr, "DAMAGE refused its version query\n");
        return 1;
    }

    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));  // in effect now

    const double launched = nowMs();
    pid_t child = 0;
    if (posix_spawnp(&child, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[2]);
        return 1;
    }

    std::set<xcb_window_t> windows;
    double mapped = 0, painted = 0, cpu = 0;
    const int fd = xcb_get_file_descriptor(connection);
    while (painted == 0) {
        xcb_generic_event_t* event = xcb_poll_for_event(connection);
        if (!event) {
            pollfd waiting{fd, POLLIN, 0};
            if (poll(&waiting, 1, 30000) <= 0 || xcb_connection_has_error(connection)) break;
            continue;
        }
        const double at = nowMs();
        const uint8_t type = event->response_type & 0x7f;
        if (type == XCB_CREATE_NOTIFY) {
            const auto* created = reinterpret_cast<xcb_create_notify_event_t*>(event);
            if (created->parent == root) {
                windows.insert(created->window);
                struct {
                    uint8_t major, minor;
                    uint16_t length;
                    uint32_t damage, drawable;
                    uint8_t level, pad1;
                    uint16_t pad2;
                } create{opcode, X_DamageCreate, 4, xcb_generate_id(connection), created->window,
                         XDamageReportNonEmpty, 0, 0};
                sendRaw(connection, &create, sizeof create, false);
                xcb_flush(connection);
            }
        } else if (type == XCB_MAP_NOTIFY) {
            const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
            if (mapped == 0 && windows.count(map->window) && windowName(connection, map->window) == caption)
                mapped = at;
        } else if (type == firstEvent + XDamageNotify) {
            // drawable follows type, level and sequence number
            uint32_t drawable = 0;
            std::memcpy(&drawable, reinterpret_cast<const uint8_t*>(event) + 4, sizeof drawable);
            if (windows.count(drawable) && windowName(connection, drawable) == caption) {
                painted = at;
                cpu = cpuMsOf(child);
            }
        }
        free(event);
    }

    kill(child, SIGTERM);
    int status = 0;
    waitpid(child, &status, 0);
    xcb_disconnect(connection);
    if (painted == 0) {
        std::fprintf(stderr, "no paint of a window captioned \"%s\"\n", caption.c_str());
        return 1;
    }
    std::printf("%.1f %.1f %.1f\n", mapped > 0 ? mapped - launched : 0.0, painted - launched, cpu);
    return 0;
}
