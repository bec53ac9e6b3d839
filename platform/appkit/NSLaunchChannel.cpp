// One running copy per user and X display: a lock file held for the copy's life, and a local
// socket beside it on which the copy takes the requests of later launches. A lock rather than a
// bus name: X sessions without a session bus (a bare window manager, a test's server) exist.
#include "platform/appkit/NSApplicationLaunch.h"

#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace platform::appkit {

namespace {

using Clock = std::chrono::steady_clock;
// A copy just started may take a while to its event loop (a loaded machine, a sanitizer build).
constexpr auto kStartSeconds = std::chrono::seconds(30);
// A grab waits for the window manager; a broadcast loads its component.
constexpr int kAnswerMilliseconds = 30000;
constexpr qint64 kLongestMessage = 4096;

// The folder of the user's sockets: the runtime folder, else the temporary one with the user's
// number in the name.
std::string ChannelPath(const std::string& identifier) {
    std::string display = std::getenv("DISPLAY") ? std::getenv("DISPLAY") : "";
    // ":0" and ":0.0" are one display.
    const size_t colon = display.rfind(':');
    if (const size_t dot = display.find('.', colon == std::string::npos ? 0 : colon);
        dot != std::string::npos)
        display.erase(dot);
    for (char& c : display)
        if (c == '/' || c == ':') c = '_';
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat folder {};
    if (runtime && *runtime == '/' && ::stat(runtime, &folder) == 0 && S_ISDIR(folder.st_mode))
        return std::string(runtime) + "/" + identifier + "-display" + display;
    return "/tmp/" + identifier + "-" + std::to_string(::getuid()) + "-display" + display;
}

std::string Encode(const std::vector<NSLaunchRequest>& requests) {
    std::string message;
    for (const NSLaunchRequest& r : requests)
        message += r.name + "\t" + r.value + "\n";
    return message + "\n";
}

// The running copy's answer: "ok", or why not; nullopt when no copy listens.
std::optional<std::string> Ask(const std::string& path, const std::string& message) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return std::nullopt;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return std::nullopt;
    }
    std::string answer;
    bool sent = ::send(fd, message.data(), message.size(), MSG_NOSIGNAL) == ssize_t(message.size());
    const auto deadline = Clock::now() + std::chrono::milliseconds(kAnswerMilliseconds);
    while (sent && answer.find('\n') == std::string::npos && Clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 200) <= 0) continue;
        char buffer[512];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        answer.append(buffer, size_t(n));
    }
    ::close(fd);
    if (answer.find('\n') == std::string::npos)
        return std::string(sent ? "the running copy did not answer" : "the running copy is gone");
    return answer.substr(0, answer.find('\n'));
}

// A copy of this program with no arguments, on its own, its output discarded.
bool StartCopy() {
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child > 0) return true;
    ::setsid();
    const int null = ::open("/dev/null", O_RDWR);
    for (int fd : {0, 1, 2})
        ::dup2(null, fd);
    char self[] = "/proc/self/exe";
    char* argv[] = {self, nullptr};
    ::execv(self, argv);
    ::_exit(127);
}

} // namespace

struct NSLaunchChannel::Parts {
    explicit Parts(const std::string& p) : path(p), lock(QString::fromStdString(p + ".lock")) {}
    std::string path;
    QLockFile lock;
    std::unique_ptr<QLocalServer> server;
};

NSLaunchChannel::NSLaunchChannel(const std::string& identifier)
    : mParts(std::make_unique<Parts>(ChannelPath(identifier))) {
    // A running copy's lock never goes stale by age; a dead holder's is taken over.
    mParts->lock.setStaleLockTime(0);
}

NSLaunchChannel::~NSLaunchChannel() {
    mParts->server.reset();
}

bool NSLaunchChannel::Claim(const std::vector<NSLaunchRequest>& requests, int& exitStatus) {
    const bool plain = requests.size() == 1 && requests[0].name == "show";
    const std::string message = Encode(requests);
    bool started = false;
    for (const auto deadline = Clock::now() + kStartSeconds; Clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(100))) {
        if (!started && mParts->lock.tryLock(0)) {
            if (plain) return true;
            // The requests go to a copy of their own, which stays running after this launch.
            mParts->lock.unlock();
            if (!(started = StartCopy())) break;
            continue;
        }
        if (const std::optional<std::string> answer = Ask(mParts->path, message)) {
            exitStatus = *answer == "ok" ? 0 : 1;
            if (exitStatus) std::fprintf(stderr, "%s\n", answer->c_str());
            return false;
        }
    }
    std::fprintf(stderr, "no running copy answers on %s\n", mParts->path.c_str());
    exitStatus = 1;
    return false;
}

void NSLaunchChannel::Listen(const std::function<std::string(const NSLaunchRequest&)>& perform) {
    // This copy holds the lock: whatever socket is there was left by one that died.
    QLocalServer::removeServer(QString::fromStdString(mParts->path));
    mParts->server = std::make_unique<QLocalServer>();
    mParts->server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!mParts->server->listen(QString::fromStdString(mParts->path))) {
        std::fprintf(stderr, "cannot take requests of later launches on %s: %s\n",
                     mParts->path.c_str(), qPrintable(mParts->server->errorString()));
        return;
    }
    QLocalServer* server = mParts->server.get();
    QObject::connect(server, &QLocalServer::newConnection, server, [server, perform] {
        while (QLocalSocket* socket = server->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket,
                             &QLocalSocket::deleteLater);
            // Read as it comes: a launch that sends half a message never holds up the loop.
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [socket, perform] {
                if (socket->bytesAvailable() > kLongestMessage) return socket->abort();
                const QByteArray buffered = socket->peek(kLongestMessage);
                if (!buffered.endsWith("\n\n") && buffered != "\n") return;
                socket->readAll();
                // A launch that hangs up while its request runs (a grab waits for the window
                // manager in a nested loop) takes its socket with it.
                const QPointer<QLocalSocket> alive(socket);
                std::string answer = "ok";
                for (const QByteArray& line : buffered.split('\n')) {
                    const qsizetype tab = line.indexOf('\t');
                    if (line.isEmpty() || tab < 0) continue;
                    const std::string why =
                        perform({line.left(tab).toStdString(), line.mid(tab + 1).toStdString()});
                    if (!why.empty()) {
                        answer = why;
                        break;
                    }
                }
                if (!alive) return;
                socket->write(QByteArray::fromStdString(answer + "\n"));
                socket->flush();
            });
        }
    });
}

} // namespace platform::appkit
