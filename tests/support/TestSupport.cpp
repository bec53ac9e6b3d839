#include "tests/support/TestSupport.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/mman.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/vistrel-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    mPath = pattern;
}

TempFolder::~TempFolder() {
    RemoveTree(mPath);
}

// Output goes to memory files rather than pipes, so that a child never stalls on a full pipe.
Child::Child(const std::function<int()>& body)
    : mOut(::memfd_create("out", 0)), mErr(::memfd_create("err", 0)) {
    if (mOut < 0 || mErr < 0) throw std::runtime_error("memfd_create failed");
    std::fflush(nullptr);
    mPid = ::fork();
    if (mPid < 0) throw std::runtime_error("fork failed");
    if (mPid == 0) {
        ::dup2(mOut, 1);
        ::dup2(mErr, 2);
        int code = 98;
        try {
            code = body();
        } catch (...) {
        }
        std::fflush(nullptr);
        ::_exit(code);
    }
}

Child::~Child() {
    if (!mEnded) {
        ::kill(mPid, SIGKILL);
        ::waitpid(mPid, nullptr, 0);
    }
    ::close(mOut);
    ::close(mErr);
}

bool Child::Wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (!mEnded) {
        const pid_t done = ::waitpid(mPid, &status, WNOHANG);
        if (done == mPid) {
            mEnded = true;
            if (WIFEXITED(status)) exitCode = WEXITSTATUS(status);
            if (WIFSIGNALED(status)) signal = WTERMSIG(status);
        } else if (done < 0 && errno != EINTR) {
            mEnded = true; // reaped elsewhere: no status
        } else if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        } else {
            ::usleep(10000);
        }
    }
    out = OutSoFar();
    err = ErrSoFar();
    return true;
}

std::string Child::OutSoFar() const {
    return ReadFile("/proc/self/fd/" + std::to_string(mOut));
}

std::string Child::ErrSoFar() const {
    return ReadFile("/proc/self/fd/" + std::to_string(mErr));
}

std::string Child::FirstLine(double seconds) const {
    std::string out;
    Eventually([&] { return (out = OutSoFar()).find('\n') != std::string::npos; }, seconds);
    return out.substr(0, out.find('\n'));
}

void Child::Kill(int number) const {
    if (!mEnded) ::kill(mPid, number);
}

bool Child::Stop(double seconds) {
    Kill(SIGTERM);
    if (!Wait(seconds)) {
        Kill(SIGKILL);
        Wait();
        return false;
    }
    return exitCode == 0;
}

int Exec(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    ::execv(args[0], args.data());
    std::fprintf(stderr, "exec %s: %s\n", args[0], std::strerror(errno));
    return 127;
}

std::unique_ptr<Child> Start(const std::vector<std::string>& argv,
                             const std::vector<std::string>& environment, int out) {
    return std::make_unique<Child>([&] {
        if (out >= 0) ::dup2(out, 1);
        for (const std::string& assignment : environment)
            ::putenv(::strdup(assignment.c_str()));
        return Exec(argv);
    });
}

bool Eventually(const std::function<bool()>& done, double seconds, double step) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;; std::this_thread::sleep_for(std::chrono::duration<double>(step))) {
        if (done()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
    }
}

ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment) {
    const std::unique_ptr<Child> child = Start(argv, environment);
    child->Wait(120);
    return *child;
}

bool MatchesLines(const std::string& text, const std::string& pattern) {
    // Matches from (t, p) on; a star tries every run of non-newline characters.
    std::function<bool(size_t, size_t)> match = [&](size_t t, size_t p) {
        for (; p < pattern.size(); ++p, ++t) {
            if (pattern[p] == '*') {
                for (size_t end = t;; ++end) {
                    if (match(end, p + 1)) return true;
                    if (end == text.size() || text[end] == '\n') return false;
                }
            }
            if (t == text.size() || text[t] != pattern[p]) return false;
        }
        return t == text.size();
    };
    return match(0, 0);
}

std::string CaptureStandardError(const std::function<void()>& call) {
    std::fflush(stderr);
    const int file = ::memfd_create("err", 0), saved = ::dup(2);
    ::dup2(file, 2);
    call();
    std::fflush(stderr);
    ::dup2(saved, 2);
    ::close(saved);
    const std::string text = ReadFile("/proc/self/fd/" + std::to_string(file));
    ::close(file);
    return text;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& contents) {
    std::ofstream(path, std::ios::binary) << contents;
}

bool Exists(const std::string& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

void RemoveTree(const std::string& path) {
    std::error_code error;
    std::filesystem::remove_all(path, error);
}

std::string StagePath(const std::string& relative) {
    return std::string(VISTREL_STAGE) + "/" + relative;
}

std::string StageLibPath(const std::string& relative) {
    return StagePath(VISTREL_INSTALL_LIBDIR "/" + relative);
}

} // namespace testsupport
