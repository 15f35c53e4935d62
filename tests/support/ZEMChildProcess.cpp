#include "ZEMChildProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#ifdef _WIN32
#include "platform/ZEMFaultInjection.h"
#include "platform/ZEMWideNames.h"

#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zemtest {

namespace {

std::map<std::string, ChildJob>& Jobs() {
    static std::map<std::string, ChildJob> jobs;
    return jobs;
}

// Runs the job in this process, which then ends with the job's code (or 126 for an unknown
// job): a child never returns to the tests.
[[noreturn]] void RunJobAndExit(const std::string& job, const std::vector<std::string>& args) {
    const auto found = Jobs().find(job);
    if (found == Jobs().end()) {
        fprintf(stderr, "no child job named %s\n", job.c_str());
        std::_Exit(126);
    }
    std::_Exit(found->second(args));
}

} // namespace

ChildJobName::ChildJobName(const char* name, ChildJob job) {
    Jobs()[name] = job;
}

ChildProcess::~ChildProcess() {
    Wait();
}

bool ChildProcess::Succeeded() {
    int code = -1;
    return Wait(&code) == End::EXITED && code == 0;
}

ChildProcess::End RunChild(const std::string& job, const std::vector<std::string>& args,
                           int* code) {
    ChildProcess child;
    if (!child.Start(job, args)) return ChildProcess::End::BROKEN;
    return child.Wait(code);
}

#ifdef _WIN32

using ZEM::Platform::Utf8;
using ZEM::Platform::Wide;

namespace {

// The variable that gives a started test program its job: the job's name and its words, each
// after a tab.
constexpr const wchar_t* JOB_VARIABLE = L"ZEM_TEST_CHILD";
constexpr wchar_t SEPARATOR = L'\t';
// What the child runs in place of the tests: this one test, which a normal run leaves out.
constexpr const wchar_t* CHILD_ARGUMENTS =
    L" --gtest_filter=ChildProcess.DISABLED_RunsItsJob --gtest_also_run_disabled_tests";

std::wstring QuotedProgram() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD n = 0;
    while ((n = GetModuleFileNameW(nullptr, &path[0], DWORD(path.size()))) == path.size())
        path.resize(path.size() * 2);
    path.resize(n);
    return L"\"" + path + L"\"";
}

HANDLE NullDevice() {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    return CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, OPEN_EXISTING, 0, nullptr);
}

} // namespace

bool ChildProcess::Start(const std::string& job, const std::vector<std::string>& args) {
    Wait();
    std::wstring words = Wide(job);
    for (const std::string& arg : args)
        words += SEPARATOR + Wide(arg);
    std::wstring commandLine = QuotedProgram() + CHILD_ARGUMENTS;
    HANDLE nothing = NullDevice();
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = nothing;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    // The child takes its environment from ours as it is now.
    SetEnvironmentVariableW(JOB_VARIABLE, words.c_str());
    const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    SetEnvironmentVariableW(JOB_VARIABLE, nullptr);
    if (nothing != INVALID_HANDLE_VALUE) CloseHandle(nothing);
    if (!started) return false;
    CloseHandle(process.hThread);
    process_ = process.hProcess;
    return true;
}

ChildProcess::End ChildProcess::Wait(int* code) {
    if (!process_) return End::BROKEN;
    HANDLE process = static_cast<HANDLE>(process_);
    process_ = nullptr;
    DWORD exitCode = DWORD(-1);
    const bool ended = WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
                       GetExitCodeProcess(process, &exitCode);
    CloseHandle(process);
    if (!ended) return End::BROKEN;
    if (exitCode == ZEM::Platform::FAULT_KILL_EXIT_CODE) return End::KILLED;
    if (code) *code = int(exitCode);
    return End::EXITED;
}

void SetEnv(const char* name, const char* value) {
    // "NAME=" removes the variable.
    _putenv((std::string(name) + "=" + (value ? value : "")).c_str());
}

// The test that a started child runs: its job, named in the environment.
TEST(ChildProcess, DISABLED_RunsItsJob) {
    const wchar_t* words = _wgetenv(JOB_VARIABLE);
    ASSERT_NE(words, nullptr) << "started without a job";
    const std::string text = Utf8(words, wcslen(words));
    std::vector<std::string> parts(1);
    for (char c : text) {
        if (c == char(SEPARATOR)) {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    const std::string job = parts.front();
    parts.erase(parts.begin());
    RunJobAndExit(job, parts);
}

#else

bool ChildProcess::Start(const std::string& job, const std::vector<std::string>& args) {
    Wait();
    // What the parent printed must not be printed again by the child.
    fflush(nullptr);
    pid_ = fork();
    if (pid_ == 0) RunJobAndExit(job, args);
    return pid_ > 0;
}

ChildProcess::End ChildProcess::Wait(int* code) {
    if (pid_ <= 0) return End::BROKEN;
    const pid_t pid = pid_;
    pid_ = -1;
    int status = 0;
    while (waitpid(pid, &status, 0) != pid)
        if (errno != EINTR) return End::BROKEN;
    if (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) return End::KILLED;
    if (!WIFEXITED(status)) return End::BROKEN;
    if (code) *code = WEXITSTATUS(status);
    return End::EXITED;
}

void SetEnv(const char* name, const char* value) {
    if (value) {
        setenv(name, value, 1);
    } else {
        unsetenv(name);
    }
}

#endif

} // namespace zemtest
