#include "ZemCli.h"

#include <zem/core/ZEMLog.h>
#include <zem/text/ZEMParse.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#ifdef _WIN32
#include "platform/ZEMWideNames.h"

#include <fcntl.h>
#include <io.h>
#include <sys/utime.h>
#else
#include <utime.h>
#endif

namespace zemcli {

void Warn(const std::string& message) {
    std::fprintf(stderr, "zem: %s\n", message.c_str());
}

int Fail(const std::string& message) {
    Warn(message);
    return 1;
}

int UsageError(const std::string& message) {
    Warn(message);
    return 2;
}

bool Flushed() {
    if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return true;
    Warn("cannot write to standard output");
    return false;
}

#ifdef _WIN32
namespace {

using ZEM::Platform::Wide;

std::string Utf8(const std::wstring& wide) {
    return ZEM::Platform::Utf8(wide.data(), wide.size());
}

} // namespace

std::filesystem::path FsPath(const std::string& name) {
    return std::filesystem::path(Wide(name));
}

std::string FsName(const std::filesystem::path& path) {
    return Utf8(path.wstring());
}

bool Exists(const std::string& path) {
    return GetFileAttributesW(Wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

time_t ModifiedAt(const std::string& path) {
    struct _stat64 status;
    return _wstat64(Wide(path).c_str(), &status) == 0 ? time_t(status.st_mtime) : 0;
}

void SetModified(const std::string& path, time_t when) {
    struct __utimbuf64 times = {when, when};
    _wutime64(Wide(path).c_str(), &times);
}

bool LocalTime(time_t when, struct tm& local) {
    return localtime_s(&local, &when) == 0;
}

bool Identity(const std::string& path, FileIdentity& identity) {
    HANDLE handle =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    const bool known = GetFileInformationByHandle(handle, &info);
    CloseHandle(handle);
    if (!known) return false;
    identity = {info.dwVolumeSerialNumber,
                (uint64_t(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
    return true;
}

void BinaryMode(FILE* out) {
    _setmode(_fileno(out), _O_BINARY);
}
#else
std::filesystem::path FsPath(const std::string& name) {
    return std::filesystem::path(name);
}

std::string FsName(const std::filesystem::path& path) {
    return path.string();
}

bool Exists(const std::string& path) {
    struct stat status;
    return lstat(path.c_str(), &status) == 0;
}

time_t ModifiedAt(const std::string& path) {
    struct stat status;
    return stat(path.c_str(), &status) == 0 ? status.st_mtime : 0;
}

void SetModified(const std::string& path, time_t when) {
    struct utimbuf times;
    times.actime = when;
    times.modtime = when;
    utime(path.c_str(), &times);
}

bool LocalTime(time_t when, struct tm& local) {
    return localtime_r(&when, &local) != nullptr;
}

bool Identity(const std::string& path, FileIdentity& identity) {
    struct stat status;
    if (stat(path.c_str(), &status) != 0) return false;
    identity = {uint64_t(status.st_dev), uint64_t(status.st_ino)};
    return true;
}

void BinaryMode(FILE*) {}
#endif

bool MayWrite(const std::string& path, bool force) {
    if (force || !Exists(path)) return true;
    Warn("'" + Printable(path.c_str()) + "' already exists (use --force to replace it)");
    return false;
}

LogCatcher::LogCatcher() : level_(ZEM::GetLogLevel()) {
    ZEM::SetLogLevel(100); // the library's messages, not its debugging
    ZEM::SetLogSink(
        [](const char* message, void* to) { static_cast<std::string*>(to)->append(message); },
        &text_);
}

LogCatcher::~LogCatcher() {
    ZEM::SetLogSink(nullptr, nullptr);
    ZEM::SetLogLevel(level_);
}

std::string LogCatcher::Last() const {
    std::string text = text_;
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    const size_t newline = text.rfind('\n');
    return newline == std::string::npos ? text : text.substr(newline + 1);
}

bool WantsHelp(int argc, char** argv, int i) {
    return i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0);
}

std::string Printable(const char* text) {
    std::string shown = text ? text : "";
    ZEMParse::ForceRange(&shown[0], ' ', '\xFF', '?');
    const bool utf8 = ZEMLatin1::LooksUtf8(shown.data(), shown.size());
    std::string out;
    for (size_t i = 0; i < shown.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(shown[i]);
        const unsigned char next =
            i + 1 < shown.size() ? static_cast<unsigned char>(shown[i + 1]) : 0;
        if (c == 0x7F) {
            out += '?';
        } else if (c >= 0x80 && !utf8) {
            // Bytes that are not UTF-8 are shown by their value, never sent raw.
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(c));
            out += escaped;
        } else if (utf8 && c == 0xC2 && next >= 0x80 && next <= 0x9F) {
            out += '?'; // a C1 control character
            ++i;
        } else {
            out += char(c);
        }
    }
    return out;
}

std::string NotLatin1(const std::string& where, const ZEMLatin1::Stop& stop) {
    if (stop.code == ZEMLatin1::INVALID) return where + ": not UTF-8";
    char code[16];
    std::snprintf(code, sizeof code, "U+%04X", unsigned(stop.code));
    return where + ": " + code + " is outside Latin-1, which fonts and language files hold";
}

namespace {

// The optimal string alignment distance: insertions, deletions, substitutions and swaps of two
// neighbours, the usual slips of a typist.
size_t EditDistance(const std::string& a, const std::string& b) {
    const size_t width = b.size() + 1;
    std::vector<size_t> d((a.size() + 1) * width);
    for (size_t i = 0; i <= a.size(); ++i)
        d[i * width] = i;
    for (size_t j = 0; j <= b.size(); ++j)
        d[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
            size_t best = std::min({d[(i - 1) * width + j] + 1, d[i * width + j - 1] + 1,
                                    d[(i - 1) * width + j - 1] + cost});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
                best = std::min(best, d[(i - 2) * width + j - 2] + 1);
            d[i * width + j] = best;
        }
    }
    return d.back();
}

// How far typed is from name: a start of the name (two letters at least) counts as one slip.
size_t Distance(const std::string& typed, const std::string& name) {
    const size_t distance = EditDistance(typed, name);
    const bool start = typed.size() >= 2 && name.compare(0, typed.size(), typed) == 0;
    return start ? std::min<size_t>(distance, 1) : distance;
}

} // namespace

std::string DidYouMean(const std::string& typed, const std::vector<std::string>& names) {
    // Short words are one slip from many others: they get only one.
    size_t nearest = typed.size() < 4 ? 1 : 2;
    std::vector<std::string> chosen;
    for (const std::string& name : names) {
        const size_t distance = Distance(typed, name);
        if (distance > nearest) continue;
        if (distance < nearest) chosen.clear();
        nearest = distance;
        chosen.push_back(name);
    }
    std::string text;
    for (size_t i = 0; i < chosen.size(); ++i) {
        const char* before = i == 0 ? "" : i + 1 == chosen.size() ? " or " : ", ";
        text += before + ("'" + chosen[i] + "'");
    }
    return text.empty() ? text : ": did you mean " + text + "?";
}

int RunCommand(const char* family, const Command* commands, size_t count, int (*help)(), int argc,
               char** argv) {
    if (WantsHelp(argc, argv, 1)) return help();
    const std::string seeHelp = std::string(" (see 'zem ") + family + " --help')";
    if (argc < 2) return UsageError(std::string(family) + " needs a command" + seeHelp);
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        if (std::strcmp(argv[1], commands[i].name) == 0) return commands[i].run(argc - 1, argv + 1);
        names.push_back(commands[i].name);
    }
    return UsageError(std::string("unknown ") + family + " command '" + Printable(argv[1]) + "'" +
                      DidYouMean(argv[1], names) + seeHelp);
}

namespace {

long long Milliseconds() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

Progress::Progress(const char* what, size_t total)
    : what_(what), total_(total), shown_(total > 1 && isatty(STDERR_FILENO)),
      start_(shown_ ? Milliseconds() : 0) {}

Progress::~Progress() {
    if (shown_ && lastPercent_ >= 0) std::fputc('\n', stderr);
}

void Progress::Step(size_t done) {
    if (!shown_) return;
    const int width = 40;
    int percent = static_cast<int>(done * 100 / total_);
    if (percent == lastPercent_) return;
    if (lastPercent_ < 0 && Milliseconds() - start_ < 1000) return;
    lastPercent_ = percent;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", what_, filled,
                 "########################################", width - filled, "", percent);
    std::fflush(stderr);
}

} // namespace zemcli
