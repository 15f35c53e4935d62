#include "ZEMTestSupport.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMImage.h>
#include <zem/graphics/ZEMPal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#ifdef _WIN32
#include "platform/ZEMWideNames.h"

#include <process.h>
#include <sys/stat.h>
#include <sys/utime.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>
extern char** environ;
#endif

namespace fs = std::filesystem;

namespace zemtest {

namespace {

#ifdef _WIN32
// A new directory of a unique name in the temporary directory; "" when none can be made.
std::string MakeTempDir() {
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path dir = fs::temp_directory_path() / ("zemtest-" + std::to_string(getpid()) +
                                                          "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(dir, error)) return dir.string();
    }
    return std::string();
}

// The shell (cmd.exe) takes double quotes, and _pclose gives the exit status itself.
std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

int ExitStatus(int status) {
    return status;
}

// Read in text mode: the programs end their lines with "\r\n" there, the tests compare "\n".
FILE* OpenPipe(const std::string& command) {
    return _popen(command.c_str(), "rt");
}

int ClosePipe(FILE* pipe) {
    return _pclose(pipe);
}

using ZEM::Platform::Wide;

// One argument as the C runtime's command-line parser splits it back: quotes around, a quote
// escaped, and the backslashes before a quote (or before the closing one) doubled.
std::wstring QuotedArgument(const std::wstring& arg) {
    if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

// An existing file opened for the child to inherit; INVALID_HANDLE_VALUE when it cannot be.
HANDLE Inherited(const std::string& path, DWORD access, SECURITY_ATTRIBUTES& inherit) {
    return CreateFileW(Wide(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The program's output read from the pipe until it closes, then its exit code.
int Spawn(const std::vector<std::string>& argv, const std::string& inputPath,
          const std::string& errorPath, std::string* text) {
    std::wstring commandLine;
    for (const std::string& arg : argv)
        commandLine += (commandLine.empty() ? L"" : L" ") + QuotedArgument(Wide(arg));
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE input = Inherited(inputPath, GENERIC_READ, inherit);
    if (input == INVALID_HANDLE_VALUE) return -1;
    HANDLE errors = errorPath.empty() ? nullptr : Inherited(errorPath, GENERIC_WRITE, inherit);
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (errors == INVALID_HANDLE_VALUE || !CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
        CloseHandle(input);
        if (errors && errors != INVALID_HANDLE_VALUE) CloseHandle(errors);
        return -1;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = writeEnd;
    startup.hStdError = errors ? errors : writeEnd;
    PROCESS_INFORMATION process = {};
    const BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0,
                                        nullptr, nullptr, &startup, &process);
    CloseHandle(input);
    if (errors) CloseHandle(errors);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        return -1;
    }
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text->append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    size_t at = 0;
    while ((at = text->find("\r\n", at)) != std::string::npos)
        text->erase(at, 1);
    return int(code);
}
#else
std::string MakeTempDir() {
    std::string pattern = (fs::temp_directory_path() / "zemtest-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return std::string();
    return pattern;
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

int ExitStatus(int status) {
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

FILE* OpenPipe(const std::string& command) {
    return popen(command.c_str(), "r");
}

int ClosePipe(FILE* pipe) {
    return pclose(pipe);
}

int Spawn(const std::vector<std::string>& argv, const std::string& inputPath,
          const std::string& errorPath, std::string* text) {
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, inputPath.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    if (errorPath.empty())
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 2);
    else
        posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    if (failed == 0) {
        char buffer[4096];
        ssize_t got;
        while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
            if (got > 0) text->append(buffer, size_t(got));
    }
    close(pipeEnds[0]);
    if (failed != 0) return -1;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return ExitStatus(status);
}
#endif

// A file beside the tests holding a program's standard input or taking its standard error,
// removed with the object.
class RunFile {
public:
    explicit RunFile(const std::string& bytes) {
        static std::atomic<int> counter{0};
        path_ = (fs::temp_directory_path() /
                 ("zemrun-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".txt"))
                    .string();
        WriteFile(path_, bytes);
    }
    ~RunFile() { std::remove(path_.c_str()); }
    RunFile(const RunFile&) = delete;
    RunFile& operator=(const RunFile&) = delete;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace

void TempDirTest::SetUp() {
    oldCwd_ = fs::current_path().string();
    oldLevel_ = ZEM::GetLogLevel();
    dir_ = MakeTempDir();
    ASSERT_FALSE(dir_.empty());
    dir_ = fs::canonical(dir_).string();
    fs::current_path(dir_);
}

void TempDirTest::TearDown() {
    ZEM::SetLogLevel(oldLevel_);
    if (ZEM::GetLogTarget() == 2) ZEM::CloseLog();
    fs::current_path(oldCwd_);
}

namespace {

// Removes a tree, each folder listed once: a file that stays (a handle holds it on Windows, where
// fs::remove_all then lists its folder again and again) is left behind.
void RemoveTree(const fs::path& dir) {
    std::error_code ignored;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(dir, ignored), end; !ignored && it != end; it.increment(ignored))
        entries.push_back(it->path());
    for (const fs::path& entry : entries) {
        if (fs::is_directory(fs::symlink_status(entry, ignored))) RemoveTree(entry);
        fs::remove(entry, ignored);
    }
    fs::remove(dir, ignored);
}

} // namespace

TempDirTest::~TempDirTest() {
    if (!dir_.empty()) RemoveTree(dir_);
}

LogCapture::LogCapture() : oldTarget_(ZEM::GetLogTarget()) {
    static std::atomic<int> counter{0};
    path_ = (fs::temp_directory_path() /
             ("zemlog-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".txt"))
                .string();
    ZEM::SetLogTarget(2, path_.c_str());
}

LogCapture::~LogCapture() {
    ZEM::SetLogTarget(oldTarget_ == 2 ? 0 : oldTarget_, nullptr);
    std::remove(path_.c_str());
}

std::string LogCapture::Text() const {
    return ReadText(path_);
}

unsigned long LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm = {};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = 0;
    return static_cast<unsigned long>(std::mktime(&tm));
}

bool SetModified(const std::string& path, long long when) {
#ifdef _WIN32
    struct __utimbuf64 times = {when, when};
    return _wutime64(ZEM::Platform::Wide(path).c_str(), &times) == 0;
#else
    struct utimbuf times;
    times.actime = time_t(when);
    times.modtime = time_t(when);
    return utime(path.c_str(), &times) == 0;
#endif
}

long long Modified(const std::string& path) {
#ifdef _WIN32
    struct _stat64 status;
    return _wstat64(ZEM::Platform::Wide(path).c_str(), &status) == 0 ? status.st_mtime : -1;
#else
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_mtime : -1;
#endif
}

std::set<std::string> Listing(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(fs::u8path(dir)))
        names.insert(entry.path().filename().u8string());
    return names;
}

bool PlantSymlink(const std::string& target, const std::string& name) {
    std::error_code error;
    fs::create_symlink(target, name, error);
    return !error;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::string ReadText(const std::string& path) {
    std::ifstream in(fs::u8path(path));
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string TempDirTest::Path(const std::string& name) const {
    std::string path = dir_ + "/" + name;
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

std::string DataPath(const std::string& name) {
    return std::string(ZEM_TEST_DATA_DIR) + "/" + name;
}

std::string PointerText(const void* pointer) {
    char text[32];
    snprintf(text, sizeof text, "%p", pointer);
    return text;
}

void ExpectFixture(const std::string& name, const std::string& bytes) {
    const fs::path path = fs::u8path(DataPath(name));
    const char* update = std::getenv("ZEM_UPDATE_FIXTURES");
    if (update && *update) {
        std::error_code ignored;
        fs::create_directories(path.parent_path(), ignored);
        WriteFile(path.u8string(), bytes);
        return;
    }
    const std::string stored = ReadFile(path.u8string());
    size_t same = 0;
    while (same < stored.size() && same < bytes.size() && stored[same] == bytes[same])
        ++same;
    EXPECT_TRUE(stored == bytes)
        << "tests/data/" << name << " differs from what this run made from byte " << same << " ("
        << stored.size() << " bytes checked in, " << bytes.size()
        << " made); when the change is meant: python3 tests/data/codec_fixtures.py update";
}

std::string ToRGBA(const ZEMImage& image) {
    std::string rgba;
    for (uint32_t i = 0; i < image.width * image.height; ++i) {
        const uint8_t* p = image.data + i * ((image.bpp + 7) / 8);
        uint8_t r = 0, g = 0, b = 0, a = 255;
        if (image.bpp == 8 && !image.palette) { // grey levels
            r = g = b = p[0];
        } else if (image.bpp == 8) {
            if (p[0] < image.palette->nbColors) {
                const uint8_t* c = image.palette->colors + 4 * p[0];
                r = c[0], g = c[1], b = c[2];
            }
        } else if (image.bpp == 16 || image.bpp == 15) {
            const unsigned word = p[0] | p[1] << 8;
            r = uint8_t((word >> 10 & 31) << 3);
            g = uint8_t((word >> 5 & 31) << 3);
            b = uint8_t((word & 31) << 3);
        } else {
            r = p[2], g = p[1], b = p[0];
            if (image.bpp == 32) a = p[3];
        }
        rgba += char(r);
        rgba += char(g);
        rgba += char(b);
        rgba += char(a);
    }
    return rgba;
}

std::string RGBADifference(const std::string& ours, const std::string& theirs, unsigned width,
                           const std::string& compare) {
    if (ours.size() != theirs.size()) {
        return "sizes differ: " + std::to_string(ours.size()) + " and " +
               std::to_string(theirs.size()) + " bytes";
    }
    const unsigned mask = compare == "rgb5" ? 0xF8 : 0xFF;
    const int tolerance = compare == "near" ? 1 : 0;
    for (size_t i = 0; i < ours.size(); ++i) {
        if (i % 4 == 3 && (compare == "rgb" || compare == "rgb5")) continue;
        // The colour of a pixel that both show fully transparent is not seen.
        const size_t alpha = i - i % 4 + 3;
        if (ours[alpha] == 0 && theirs[alpha] == 0) continue;
        const int a = uint8_t(ours[i]) & mask;
        const int b = uint8_t(theirs[i]) & mask;
        if (a - b > tolerance || b - a > tolerance) {
            const size_t pixel = i / 4;
            std::ostringstream text;
            text << "pixel (" << pixel % width << ", " << pixel / width << ") channel " << i % 4
                 << ": ours " << int(uint8_t(ours[i])) << ", theirs " << int(uint8_t(theirs[i]));
            return text.str();
        }
    }
    return "";
}

int RunTool(const std::string& args, std::string* out) {
    return RunShell(Quoted(ZEM_TOOL_PATH) + " " + args, out);
}

int RunShell(const std::string& command, std::string* out) {
    FILE* pipe = OpenPipe(command + " 2>&1");
    if (!pipe) return -1;
    std::string text;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        text.append(buffer, got);
    int status = ClosePipe(pipe);
    if (out) *out = text;
    return ExitStatus(status);
}

int RunProgram(const std::vector<std::string>& argv, std::string* out, const std::string& input,
               std::string* errors) {
    if (argv.empty()) return -1;
    const RunFile stdinFile(input);
    const RunFile stderrFile("");
    std::string text;
    const int status = Spawn(argv, stdinFile.Path(), errors ? stderrFile.Path() : "", &text);
    if (out) *out = text;
    if (errors) *errors = ReadText(stderrFile.Path());
    return status;
}

int RunToolArgs(const std::vector<std::string>& args, std::string* out, const std::string& input,
                std::string* errors) {
    std::vector<std::string> argv{ZEM_TOOL_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProgram(argv, out, input, errors);
}

} // namespace zemtest
