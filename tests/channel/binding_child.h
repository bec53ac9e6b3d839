#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace binding {

// The child's side of a ChildProcess: lines to and from the parent.
class ChildChannel {
public:
    ChildChannel(int in, int out) : mIn(in), mOut(out) {}
    void Say(const std::string& line);
    // Blocks until the parent sends a line; false when the parent closed its end.
    bool Await(std::string& line);

private:
    int mIn;
    int mOut;
    std::string mPending;
};

// A forked child that runs a function and exits with its result. Its standard error is captured,
// and it talks to the parent in lines. The child never returns into the test framework.
class ChildProcess {
public:
    using Body = std::function<int(ChildChannel&)>;
    explicit ChildProcess(const Body& body);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // The next line the child said; false when none came within the time or the child ended.
    bool ReadLine(std::string& line, double seconds);
    void Send(const std::string& line);
    bool IsRunning();
    // Waits for the end at most this long; false (and the child is killed) when it did not end.
    bool Wait(double seconds);

    int ExitCode() const { return mExitCode; }
    const std::string& Err() const { return mErr; }
    // Everything the child said that no ReadLine took.
    const std::string& Out() const { return mOut; }

private:
    // Reads what is there within the time; false when both streams have ended.
    bool Drain(int milliseconds);
    void Reap(int options);

    pid_t mPid = -1;
    int mToChild = -1;
    int mFromChild = -1;
    int mErrFromChild = -1;
    int mExitCode = -1;
    bool mEnded = false;
    std::string mOut;
    std::string mErr;
};

// A record's bytes in hex, for reports that cross the process boundary.
std::string Hex(const void* bytes, size_t size);

} // namespace binding
