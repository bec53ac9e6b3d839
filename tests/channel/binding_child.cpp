#include "tests/channel/binding_child.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <poll.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace binding {
namespace {

void WriteAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += size_t(n);
    }
}

bool TakeLine(std::string& buffer, std::string& line) {
    const size_t end = buffer.find('\n');
    if (end == std::string::npos) return false;
    line = buffer.substr(0, end);
    buffer.erase(0, end + 1);
    return true;
}

} // namespace

void ChildChannel::Say(const std::string& line) {
    WriteAll(mOut, line + "\n");
}

bool ChildChannel::Await(std::string& line) {
    char buffer[256];
    while (!TakeLine(mPending, line)) {
        const ssize_t n = ::read(mIn, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        mPending.append(buffer, size_t(n));
    }
    return true;
}

ChildProcess::ChildProcess(const Body& body) {
    int toChild[2], fromChild[2], err[2];
    if (::pipe(toChild) != 0 || ::pipe(fromChild) != 0 || ::pipe(err) != 0)
        throw std::runtime_error("pipe failed");
    std::fflush(nullptr);
    mPid = ::fork();
    if (mPid < 0) throw std::runtime_error("fork failed");
    if (mPid == 0) {
        ::close(toChild[1]);
        ::close(fromChild[0]);
        ::close(err[0]);
        ::dup2(err[1], 2);
        ::close(err[1]);
        ChildChannel channel(toChild[0], fromChild[1]);
        int code = 99;
        try {
            code = body(channel);
        } catch (...) {
            code = 98;
        }
        std::fflush(nullptr);
        ::_exit(code);
    }
    ::close(toChild[0]);
    ::close(fromChild[1]);
    ::close(err[1]);
    mToChild = toChild[1];
    mFromChild = fromChild[0];
    mErrFromChild = err[0];
}

ChildProcess::~ChildProcess() {
    if (!mEnded && mPid > 0) {
        ::kill(mPid, SIGKILL);
        Reap(0);
    }
    for (int fd : {mToChild, mFromChild, mErrFromChild})
        if (fd >= 0) ::close(fd);
}

bool ChildProcess::Drain(int milliseconds) {
    struct pollfd fds[2] = {{mFromChild, POLLIN, 0}, {mErrFromChild, POLLIN, 0}};
    if (fds[0].fd < 0 && fds[1].fd < 0) return false;
    const int ready = ::poll(fds, 2, milliseconds);
    if (ready <= 0) return true;
    int* ends[2] = {&mFromChild, &mErrFromChild};
    std::string* texts[2] = {&mOut, &mErr};
    char buffer[4096];
    for (int i = 0; i < 2; ++i) {
        if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
        const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
        if (n > 0) {
            texts[i]->append(buffer, size_t(n));
        } else if (n == 0 || errno != EINTR) {
            ::close(fds[i].fd);
            *ends[i] = -1;
        }
    }
    return mFromChild >= 0 || mErrFromChild >= 0;
}

bool ChildProcess::ReadLine(std::string& line, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!TakeLine(mOut, line)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || mFromChild < 0) return false;
        Drain(int(left.count()));
    }
    return true;
}

void ChildProcess::Send(const std::string& line) {
    WriteAll(mToChild, line + "\n");
}

void ChildProcess::Reap(int options) {
    int status = 0;
    pid_t done;
    while ((done = ::waitpid(mPid, &status, options)) == -1 && errno == EINTR) {
    }
    if (done != mPid) return;
    mEnded = true;
    mExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::IsRunning() {
    if (!mEnded) Reap(WNOHANG);
    return !mEnded;
}

bool ChildProcess::Wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (IsRunning()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            ::kill(mPid, SIGKILL);
            Reap(0);
            return false;
        }
        if (!Drain(10)) ::usleep(10000);
    }
    // What the child wrote last; bounded in case a descendant still holds the pipes.
    for (int i = 0; i < 1000 && Drain(10); ++i) {
    }
    return true;
}

std::string Hex(const void* bytes, size_t size) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (size_t i = 0; i < size; ++i) {
        const unsigned byte = static_cast<const unsigned char*>(bytes)[i];
        text += kDigits[byte >> 4];
        text += kDigits[byte & 15];
    }
    return text;
}

} // namespace binding
