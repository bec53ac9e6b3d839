#pragma once

// A program run as a child of this process, as the platform's task class runs one: started with
// its arguments, sharing our standard error (its lines land in our log), ended when asked. Nothing
// here waits on the child longer than a bounded moment, so a child that misbehaves never holds up
// the caller's thread.
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform::foundation {

class NSTask {
public:
    NSTask() = default;
    NSTask(const NSTask&) = delete;
    NSTask& operator=(const NSTask&) = delete;
    ~NSTask() { terminate(); }

    // Starts the program; false, with the reason in `why`, when it cannot be started. A task that
    // is still running is ended first.
    bool launch(const std::string& path, const std::vector<std::string>& arguments,
                std::string& why);
    // Whether the child still runs (an ended one is reaped).
    bool isRunning();
    // Asks the child to end, and kills it when it has not ended within about half a second.
    void terminate();

private:
    pid_t mPid = -1;
};

} // namespace platform::foundation
