#ifndef ZEM_TOOLS_ZEMCLI_H
#define ZEM_TOOLS_ZEMCLI_H

#include <zem/text/ZEMLatin1.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

class ZEMResFile;

// What every family of the zem tool shares: failure messages, help and progress.
namespace zemcli {

// Prints "zem: <message>" on standard error: a complaint that does not end the command.
void Warn(const std::string& message);

// Warns and returns the failure status 1.
int Fail(const std::string& message);

// Prints "zem: <message>" and returns the status 2 of a command line that cannot be run.
int UsageError(const std::string& message);

// Flushes standard output; false (said) when it could not take everything written to it, which
// makes the command fail.
bool Flushed();

// Whether a command may write its output to path: yes when nothing is there, or with force;
// no (said) when that would replace an existing file silently.
bool MayWrite(const std::string& path, bool force);

// Writes the file path whole through ZEMSaveFile, replacing an existing file only with force:
// fill writes the content into the stream. Returns 0, or the failure status 1 with one line said,
// the old file untouched: "cannot write 'PATH': " and the system's words when the system refused
// ("No space left on device"), else "cannot write 'PATH'" followed by refusal, for a content
// that fill could not write.
int WriteOutput(const std::string& path, bool force, const std::function<bool(ZEMResFile&)>& fill,
                const std::string& refusal = "");

// The tool's few calls that differ between systems.

// Names are UTF-8 on Windows, as the library takes them, and bytes elsewhere: a name as
// std::filesystem takes it, and a path it gives as a name.
std::filesystem::path FsPath(const std::string& name);
std::string FsName(const std::filesystem::path& path);

// Whether anything is at path, a link that leads nowhere included.
bool Exists(const std::string& path);

// The modification time of the file at path; 0 when unknown.
time_t ModifiedAt(const std::string& path);

// Gives the file the time as its modification time; a failure loses only the date.
void SetModified(const std::string& path, time_t when);

// The broken-down local time of when; false when it cannot be told.
bool LocalTime(time_t when, struct tm& local);

// Which file or folder path reaches (its volume and its number there), whatever the name.
using FileIdentity = std::pair<uint64_t, uint64_t>;
bool Identity(const std::string& path, FileIdentity& identity);

// Makes out pass bytes as they are: Windows would write "\r\n" for each '\n'.
void BinaryMode(FILE* out);

// ": did you mean 'NAME'?" for the names nearest to a mistyped one (by edit distance, or of which
// it is the start), each nearest named when several are as near; empty when none is near.
std::string DidYouMean(const std::string& typed, const std::vector<std::string>& names);

// True when argument i exists and is "--help" or "-h".
bool WantsHelp(int argc, char** argv, int i);

// The text with control characters shown as '?' and, unless it is UTF-8, bytes above 127 as
// \xNN: names and texts read from files must not drive the terminal.
std::string Printable(const char* text);

// Why a UTF-8 text could not become Latin-1: "<where>: U+20AC is outside Latin-1 ...".
std::string NotLatin1(const std::string& where, const ZEMLatin1::Stop& stop);

// One command of a family; run takes the arguments from the command's own name on.
struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

// Runs the command that argv[1] names (argv[0] is the family); "--help" calls help.
int RunCommand(const char* family, const Command* commands, size_t count, int (*help)(), int argc,
               char** argv);

template <size_t N>
int RunCommand(const char* family, const Command (&commands)[N], int (*help)(), int argc,
               char** argv) {
    return RunCommand(family, commands, N, help, argc, argv);
}

// Catches the library's messages while it lives, so that a one-line failure can carry the
// library's reason in place of printing it apart.
class LogCatcher {
public:
    LogCatcher();
    ~LogCatcher();
    LogCatcher(const LogCatcher&) = delete;
    LogCatcher& operator=(const LogCatcher&) = delete;

    // The last line the library wrote, without its line end; empty when there was none.
    std::string Last() const;

private:
    unsigned level_;
    std::string text_;
};

// A progress bar on standard error, drawn only when standard error is a terminal and the work
// has lasted a second: short work leaves no trace.
class Progress {
public:
    Progress(const char* what, size_t total);
    ~Progress();
    void Step(size_t done);

private:
    const char* what_;
    size_t total_;
    bool shown_;
    int lastPercent_ = -1;
    long long start_; // steady clock, in milliseconds
};

} // namespace zemcli

// The families; each takes the arguments after its own name (argv[0] is the family name).
int ZemVersion(int argc, char** argv);
int ZemScore(int argc, char** argv);
int ZemLang(int argc, char** argv);
int ZemConfig(int argc, char** argv);
int ZemArchive(int argc, char** argv);
int ZemPalette(int argc, char** argv);
int ZemFont(int argc, char** argv);
int ZemImage(int argc, char** argv);

#endif
