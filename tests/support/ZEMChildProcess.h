#ifndef ZEM_TESTS_ZEMCHILDPROCESS_H
#define ZEM_TESTS_ZEMCHILDPROCESS_H

// Child processes for the tests that kill editors or run several at once. A test names its jobs
// (functions of a list of words) and runs them in children: on POSIX a fork of the test program,
// on Windows the test program started again with the job to run in place of its tests. The
// same job body and the same checks run on every system.

#include <string>
#include <vector>

namespace zemtest {

// What a child does with the words its parent gave; returns the child's exit code.
using ChildJob = int (*)(const std::vector<std::string>& args);

// Registers a job under a name: test files make one static object per job.
struct ChildJobName {
    ChildJobName(const char* name, ChildJob job);
};

// A child process running a registered job in the working directory and the environment of its
// parent. Its standard output goes nowhere; its errors go to the parent's.
class ChildProcess {
public:
    enum class End {
        EXITED, // returned from its job or exited
        KILLED, // killed by the crash tests' fault plan (ZEM_FAULT_WRITE)
        BROKEN  // did not start, or ended otherwise
    };

    ChildProcess() = default;
    // Waits for a child still running.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the job without waiting for it; false when no child could start.
    bool Start(const std::string& job, const std::vector<std::string>& args);
    // Waits for the child to end; the exit code of an EXITED child goes to code.
    End Wait(int* code = nullptr);
    // Waits; true when the child exited with code 0.
    bool Succeeded();

private:
#ifdef _WIN32
    void* process_ = nullptr;
#else
    int pid_ = -1;
#endif
};

// Runs the job in a child and waits for it.
ChildProcess::End RunChild(const std::string& job, const std::vector<std::string>& args,
                           int* code = nullptr);

// Sets a variable of this process's environment, as the library reads it; a null value removes
// it.
void SetEnv(const char* name, const char* value);

} // namespace zemtest

#endif
