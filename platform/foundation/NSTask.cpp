#include "platform/foundation/NSTask.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>

extern char** environ;

namespace platform::foundation {

namespace {

constexpr auto kTerminateWait = std::chrono::milliseconds(500);

} // namespace

bool NSTask::launch(const std::string& path, const std::vector<std::string>& arguments,
                    std::string& why) {
    terminate();
    std::vector<char*> argv{const_cast<char*>(path.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Only the standard streams: the child must not hold our sockets and files open.
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid = -1;
    const int error = ::posix_spawn(&pid, path.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        why = path + ": " + std::strerror(error);
        return false;
    }
    mPid = pid;
    return true;
}

bool NSTask::isRunning() {
    if (mPid <= 0) return false;
    int status = 0;
    if (::waitpid(mPid, &status, WNOHANG) == 0) return true;
    mPid = -1;
    return false;
}

void NSTask::terminate() {
    if (!isRunning()) return;
    ::kill(mPid, SIGTERM);
    for (const auto deadline = std::chrono::steady_clock::now() + kTerminateWait;
         std::chrono::steady_clock::now() < deadline;
         std::this_thread::sleep_for(std::chrono::milliseconds(10)))
        if (!isRunning()) return;
    ::kill(mPid, SIGKILL);
    int status = 0;
    ::waitpid(mPid, &status, 0);
    mPid = -1;
}

} // namespace platform::foundation
