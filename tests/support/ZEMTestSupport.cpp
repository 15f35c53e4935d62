#include "ZEMTestSupport.h"

#include <algorithm>
#include <zem/core/ZEMLog.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>
#ifdef _WIN32
#include <process.h>
#else
#include <sys/wait.h>
#include <unistd.h>
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
#endif

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

} // namespace zemtest
