#pragma once

#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace testsupport {

// A fresh folder under $TMPDIR (or /tmp), removed with everything in it at destruction.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    const std::string& Path() const { return mPath; }
    std::string operator/(const std::string& name) const { return mPath + "/" + name; }

private:
    std::string mPath;
};

struct ProcessResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, or 0
    std::string out;
    std::string err;
};

// A forked child that runs body and exits with its result; its stdout and stderr are captured.
class Child : public ProcessResult {
public:
    explicit Child(const std::function<int()>& body);
    ~Child(); // kills a child that is still running
    Child(const Child&) = delete;
    // True once the child has ended, within the time; a child that has not is left running.
    bool Wait(double seconds = 10);
    void Kill(int number) const;
    // Asks the child to end (SIGTERM), and kills one that does not within the time; true when it
    // ended by itself with exit status 0.
    bool Stop(double seconds = 5);
    // What the child has written to its standard output or error so far.
    std::string OutSoFar() const;
    std::string ErrSoFar() const;
    // The first line of its standard output, once written within the time (a daemon saying it is
    // ready); "" when none came.
    std::string FirstLine(double seconds = 10) const;
    pid_t Pid() const { return mPid; }

private:
    pid_t mPid = -1;
    int mOut = -1, mErr = -1;
    bool mEnded = false;
};

// Replaces this process by the program (argv[0] is its path); returns only when that failed.
int Exec(const std::vector<std::string>& argv);

// Starts a program (argv[0] is its path) with environment additions "NAME=value", and its standard
// output on a descriptor of the caller's when one is given; it runs until the end of the scope
// unless it ends before.
std::unique_ptr<Child> Start(const std::vector<std::string>& argv,
                             const std::vector<std::string>& environment = {}, int out = -1);

// Asks until done is true, a step apart, within the time; whether it came true.
bool Eventually(const std::function<bool()>& done, double seconds = 10, double step = 0.1);

// Runs a program (argv[0] is its path) to its end, with environment additions "NAME=value".
ProcessResult RunProcess(const std::vector<std::string>& argv,
                         const std::vector<std::string>& environment = {});

// What a call in this process writes to standard error.
std::string CaptureStandardError(const std::function<void()>& call);
// Whether text is exactly the pattern, where each '*' stands for any run of characters other than
// a newline (file paths and line numbers in reports).
bool MatchesLines(const std::string& text, const std::string& pattern);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& contents);
bool Exists(const std::string& path);
void RemoveTree(const std::string& path);

// Sets (or with nullptr unsets) an environment variable for a scope.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : mName(name) {
        if (const char* old = std::getenv(name)) mOld = old;
        Set(value);
    }
    ~ScopedEnv() { Set(mOld ? mOld->c_str() : nullptr); }

private:
    void Set(const char* value) { value ? ::setenv(mName, value, 1) : ::unsetenv(mName); }
    const char* mName;
    std::optional<std::string> mOld;
};

// Where the staged install tree is (bin, share, lib/frei0r-1), and its library folder
// (lib/<multiarch>: vistrel with the private libraries and bundles, gstreamer-1.0).
std::string StagePath(const std::string& relative);
std::string StageLibPath(const std::string& relative);

} // namespace testsupport
