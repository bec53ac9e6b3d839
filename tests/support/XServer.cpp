#include "tests/support/XServer.h"

#include <chrono>
#include <cstdlib>
#include <memory>
#include <sys/uio.h>
#include <unistd.h>
#include <xcb/randr.h>
#include <xcb/xcbext.h>

#include "tests/support/TestSupport.h"
#include "tests/support/XClient.h"

namespace testsupport {

constexpr double kStartSeconds = 15;

// The server writes its display number to its standard output once it listens.
std::unique_ptr<XServer> XServer::Start(std::vector<std::string> argv,
                                        const std::string& hostDisplay) {
    std::unique_ptr<XServer> server(new XServer);
    argv.insert(argv.begin() + 1, {"-displayfd", "1", "-noreset", "-nolisten", "tcp"});
    server->mServer = std::make_unique<Child>([&] {
        ::setpgid(0, 0);
        hostDisplay.empty() ? ::unsetenv("DISPLAY") : ::setenv("DISPLAY", hostDisplay.c_str(), 1);
        return Exec(argv);
    });
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kStartSeconds);
    std::string text;
    while ((text = server->mServer->OutSoFar()).find('\n') == std::string::npos) {
        if (server->mServer->Wait(0) || std::chrono::steady_clock::now() >= deadline) return server;
        ::usleep(10000);
    }
    server->mDisplay = ":" + text.substr(0, text.find('\n'));
    return server;
}

// The window manager ends before the server, each asked first and killed when it lingers.
XServer::~XServer() {
    if (mWindowManager) mWindowManager->Stop();
    if (mServer) mServer->Stop();
}

pid_t XServer::Pid() const {
    return mServer ? mServer->Pid() : -1;
}

std::string XServer::Log() const {
    return mServer ? mServer->ErrSoFar() : "";
}

std::string XServer::ProgramPath(const std::string& name) {
    const char* path = std::getenv("PATH");
    const std::string folders = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= folders.size();) {
        const size_t end = std::min(folders.find(':', start), folders.size());
        const std::string candidate = folders.substr(start, end - start) + "/" + name;
        if (::access(candidate.c_str(), X_OK) == 0) return candidate;
        start = end + 1;
    }
    return "";
}

bool XServer::StartWindowManager(const std::string& program) {
    const std::string path = ProgramPath(program);
    if (!Running() || path.empty() || mWindowManager) return false;
    mWindowManager = std::make_unique<Child>([&] {
        ::setenv("DISPLAY", mDisplay.c_str(), 1);
        return Exec({path});
    });
    // An EWMH manager names its check window on the root once it manages the screen.
    XClient client(mDisplay);
    if (!client.Ok()) return false;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration<double>(kStartSeconds);
    while (std::chrono::steady_clock::now() < deadline) {
        if (client.Words(client.Root(), "_NET_SUPPORTING_WM_CHECK", XCB_ATOM_WINDOW).size() == 1)
            return true;
        if (mWindowManager->Wait(0)) {
            mWindowManager.reset(); // it gave up: another may be tried
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
    std::vector<std::string> argv{ProgramPath("Xvfb"), "-screen", "0", size};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return Start(argv);
}

std::vector<uint32_t> TestPattern(int width, int height, uint32_t seed) {
    std::vector<uint32_t> pixels(size_t(width) * size_t(height));
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = uint32_t((i + seed) * 2654435761u >> 5) & 0xFFFFFF;
    return pixels;
}

bool PutRootPixels(const std::string& display, int x, int y, int width, int height,
                   const std::vector<uint32_t>& pixels) {
    XClient client(display);
    return client.Ok() && pixels.size() == size_t(width) * size_t(height) &&
           client.PutPixels(client.Root(), x, y, width, height, pixels.data()) && client.Sync();
}

bool SetMonitor(const std::string& display, const std::string& name, int x, int y, int width,
                int height, bool primary, bool claimOutputs) {
    XClient client(display);
    if (!client.Ok()) return false;
    xcb_connection_t* c = client.c;
    const xcb_window_t root = client.Root();
    Reply<xcb_randr_query_version_reply_t> version(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    const xcb_atom_t atom = client.Atom(name.c_str());
    if (!version || atom == XCB_ATOM_NONE) return false;
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
    m.name = atom, m.primary = uint8_t(primary), m.nOutput = uint16_t(outputs.size());
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
