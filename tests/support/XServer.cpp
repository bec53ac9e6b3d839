#include "tests/support/XServer.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <poll.h>
#include <sys/mman.h>
#include <sys/uio.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include "tests/support/TestSupport.h"

namespace testsupport {

namespace {

constexpr double kStartSeconds = 15;

struct Free {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, Free>;

// A connection to a display by name, closed at the end of the scope.
struct Client {
    explicit Client(const std::string& display) : c(xcb_connect(display.c_str(), nullptr)) {}
    ~Client() { xcb_disconnect(c); }
    bool Ok() const { return !xcb_connection_has_error(c); }
    xcb_screen_t* Screen() const { return xcb_setup_roots_iterator(xcb_get_setup(c)).data; }
    bool Sync() const {
        Reply<xcb_get_input_focus_reply_t> r(
            xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
        return r && Ok();
    }
    xcb_connection_t* c;
};

// Reads the display number the server writes once it listens; empty on exit or time-out.
std::string AwaitDisplayNumber(int fd) {
    std::string text;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kStartSeconds);
    while (text.find('\n') == std::string::npos) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, int(left.count())) <= 0) return "";
        char buffer[32];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return "";
        text.append(buffer, size_t(n));
    }
    return text.substr(0, text.find('\n'));
}

} // namespace

XServer::XServer(std::vector<std::string> argv, const std::string& hostDisplay)
    : mLog(::memfd_create("x-server-log", MFD_CLOEXEC)) {
    int ready[2];
    if (mLog < 0 || ::pipe2(ready, O_CLOEXEC) != 0) return;
    const int writeEnd = ::fcntl(ready[1], F_DUPFD, 10); // survives exec
    argv.insert(argv.begin() + 1,
                {"-displayfd", std::to_string(writeEnd), "-noreset", "-nolisten", "tcp"});
    mPid = ::fork();
    if (mPid == 0) {
        ::setpgid(0, 0);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(mLog, 2);
        if (hostDisplay.empty())
            ::unsetenv("DISPLAY");
        else
            ::setenv("DISPLAY", hostDisplay.c_str(), 1);
        ::_exit(Exec(argv));
    }
    ::close(writeEnd);
    ::close(ready[1]);
    if (mPid > 0) {
        const std::string number = AwaitDisplayNumber(ready[0]);
        if (!number.empty()) mDisplay = ":" + number;
    }
    ::close(ready[0]);
}

XServer::~XServer() {
    if (mWindowManager > 0) {
        ::kill(mWindowManager, SIGTERM);
        ::waitpid(mWindowManager, nullptr, 0);
    }
    if (mPid > 0) {
        ::kill(mPid, SIGTERM);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (::waitpid(mPid, nullptr, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= deadline) {
                ::kill(mPid, SIGKILL);
                ::waitpid(mPid, nullptr, 0);
                break;
            }
            ::usleep(10000);
        }
    }
    if (mLog >= 0) ::close(mLog);
}

std::string XServer::Log() const {
    return mLog < 0 ? "" : ReadFile("/proc/self/fd/" + std::to_string(mLog));
}

static std::string Program(const std::string& name) {
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/usr/bin:/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return name; // fails to start, and the log names it
}

bool XServer::Installed(const std::string& program) {
    return Program(program) != program;
}

std::string XServer::ProgramPath(const std::string& program) {
    return Program(program);
}

bool XServer::StartWindowManager(const std::string& program) {
    const std::string path = Program(program);
    if (!Running() || path.empty() || mWindowManager > 0) return false;
    mWindowManager = ::fork();
    if (mWindowManager == 0) {
        ::setenv("DISPLAY", mDisplay.c_str(), 1);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, 0);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::_exit(Exec({path}));
    }
    // An EWMH manager names its check window on the root once it manages the screen.
    Client client(mDisplay);
    if (!client.Ok()) return false;
    Reply<xcb_intern_atom_reply_t> check(xcb_intern_atom_reply(
        client.c, xcb_intern_atom(client.c, 0, 24, "_NET_SUPPORTING_WM_CHECK"), nullptr));
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kStartSeconds);
    while (check && std::chrono::steady_clock::now() < deadline) {
        Reply<xcb_get_property_reply_t> value(
            xcb_get_property_reply(client.c,
                                   xcb_get_property(client.c, 0, client.Screen()->root, check->atom,
                                                    XCB_ATOM_WINDOW, 0, 1),
                                   nullptr));
        if (value && xcb_get_property_value_length(value.get()) == 4) return true;
        if (::waitpid(mWindowManager, nullptr, WNOHANG) == mWindowManager) {
            mWindowManager = -1;
            break;
        }
        ::usleep(20000);
    }
    return false;
}

std::unique_ptr<XServer> XServer::Xvfb(ScreenSize screen, int depth,
                                       const std::vector<std::string>& extra) {
    const std::string size = std::to_string(screen.width) + "x" + std::to_string(screen.height) +
                             "x" + std::to_string(depth);
    std::vector<std::string> argv{Program("Xvfb"), "-screen", "0", size};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return std::unique_ptr<XServer>(new XServer(argv, ""));
}

std::unique_ptr<XServer> XServer::XephyrXinerama(const XServer& host,
                                                 const std::vector<ScreenSize>& screens) {
    std::vector<std::string> argv{Program("Xephyr"), "+xinerama"};
    for (const ScreenSize& s : screens)
        argv.insert(argv.end(),
                    {"-screen", std::to_string(s.width) + "x" + std::to_string(s.height)});
    return std::unique_ptr<XServer>(new XServer(argv, host.Display()));
}

std::vector<uint32_t> TestPattern(int width, int height, uint32_t seed) {
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t((i + seed) * 2654435761u >> 5) & 0xFFFFFF;
    return pixels;
}

bool PutRootPixels(const std::string& display, int x, int y, int width, int height,
                   const std::vector<uint32_t>& pixels) {
    Client client(display);
    if (!client.Ok() || pixels.size() != size_t(width) * size_t(height)) return false;
    xcb_screen_t* screen = client.Screen();
    xcb_gcontext_t gc = xcb_generate_id(client.c);
    xcb_create_gc(client.c, gc, screen->root, 0, nullptr);
    // A put request has a 24-byte header before its pixels.
    const size_t limit = size_t(xcb_get_maximum_request_length(client.c)) * 4 - 24;
    const int bandRows = std::max(1, int(limit / (size_t(width) * 4)));
    bool ok = true;
    for (int row = 0; row < height && ok; row += bandRows) {
        const int rows = std::min(bandRows, height - row);
        Reply<xcb_generic_error_t> error(xcb_request_check(
            client.c, xcb_put_image_checked(
                          client.c, XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, gc, uint16_t(width),
                          uint16_t(rows), int16_t(x), int16_t(y + row), 0, screen->root_depth,
                          uint32_t(size_t(width) * size_t(rows) * 4),
                          reinterpret_cast<const uint8_t*>(pixels.data() + size_t(row) * width))));
        ok = !error;
    }
    xcb_free_gc(client.c, gc);
    return ok && client.Sync();
}

bool SetMonitor(const std::string& display, const std::string& name, int x, int y, int width,
                int height, bool primary, bool claimOutputs) {
    Client client(display);
    if (!client.Ok()) return false;
    xcb_connection_t* c = client.c;
    const xcb_window_t root = client.Screen()->root;
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.c_str()), nullptr));
    if (!version || !atom) return false;
    std::vector<xcb_randr_output_t> outputs;
    if (claimOutputs) {
        Reply<xcb_randr_get_screen_resources_current_reply_t> resources(
            xcb_randr_get_screen_resources_current_reply(
                c, xcb_randr_get_screen_resources_current(c, root), nullptr));
        if (!resources) return false;
        const xcb_randr_output_t* all =
            xcb_randr_get_screen_resources_current_outputs(resources.get());
        outputs.assign(
            all, all + xcb_randr_get_screen_resources_current_outputs_length(resources.get()));
    }
    // Sent by hand: this libxcb's own SetMonitor closes the connection (request length exceeded).
    struct {
        uint8_t major, minor;
        uint16_t length;
        xcb_window_t window;
        xcb_randr_monitor_info_t monitor;
    } request{};
    request.window = root;
    xcb_randr_monitor_info_t& m = request.monitor;
    m.name = atom->atom, m.primary = uint8_t(primary), m.nOutput = uint16_t(outputs.size());
    m.x = int16_t(x), m.y = int16_t(y), m.width = uint16_t(width), m.height = uint16_t(height);
    m.width_in_millimeters = uint32_t(width), m.height_in_millimeters = uint32_t(height);
    iovec parts[4];
    parts[2] = {&request, sizeof request};
    parts[3] = {outputs.data(), outputs.size() * sizeof(xcb_randr_output_t)};
    xcb_protocol_request_t kind{2, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    const xcb_void_cookie_t sent{xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &kind)};
    Reply<xcb_generic_error_t> error(xcb_request_check(c, sent));
    return !error && client.Sync();
}

} // namespace testsupport
