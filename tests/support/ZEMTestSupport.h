#ifndef ZEM_TESTS_ZEMTESTSUPPORT_H
#define ZEM_TESTS_ZEMTESTSUPPORT_H

#include <zem/stream/ZEMMemFile.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

class ZEMImage;

namespace zemtest {

// Every test runs in a fresh temporary directory; the working directory and the log level and
// target are restored afterwards.
class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Removes the directory: after TearDown, once the fixture's members let go of its files.
    ~TempDirTest() override;

    // Absolute path of the temporary directory, every link resolved, as the system reports it.
    const std::string& Dir() const { return dir_; }
    // A name below it ('/' between components), in the system's own form as the library gives it.
    std::string Path(const std::string& name) const;

private:
    std::string dir_;
    std::string oldCwd_;
    unsigned oldLevel_ = 0;
};

// Sends the log to a file for its lifetime and lets a test read what was written.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::string Text() const;

private:
    std::string path_;
    unsigned oldTarget_;
};

// Seconds since 1970 of a local calendar time (no daylight saving).
unsigned long LocalTime(int year, int month, int day, int hour, int minute, int second);

// Gives the file at path the modification time when (seconds since 1970); false when it cannot.
bool SetModified(const std::string& path, long long when);
// The modification time of the file at path; -1 when it cannot be read.
long long Modified(const std::string& path);

// The names in a folder (not below it), dot files included.
std::set<std::string> Listing(const std::string& dir = ".");

// Plants a symbolic link name leading to target; false where the system makes none (Windows
// without the privilege, and Wine): a test then runs the rest and skips with NO_SYMLINKS.
bool PlantSymlink(const std::string& target, const std::string& name);
constexpr const char* NO_SYMLINKS = "symbolic links need a privilege on Windows";

// Names are UTF-8, as the library takes them on every system.
std::string ReadFile(const std::string& path);
// A text file the library wrote in text mode, with "\n" line ends whatever the system writes.
std::string ReadText(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// A read-only memory stream over a copy of bytes (at least one byte: an empty block cannot be
// opened).
struct ByteStream {
    explicit ByteStream(const std::string& bytes)
        : data(bytes.begin(), bytes.end()),
          file(unsigned(data.size()), ZEMResFile::READ, data.data()) {}
    std::vector<unsigned char> data;
    ZEMMemFile file;
};

// Directory of checked-in test files (tests/data).
std::string DataPath(const std::string& name);

// A pointer as the C library prints it with %p: a null one is "(nil)" on glibc, zeros on Windows.
std::string PointerText(const void* pointer);

// The programs some tests compare with (ImageMagick, netpbm, Pillow, giflib, iconv, zip) are
// Linux programs. Where they cannot run, the files they made and decoded, checked in under
// tests/data, stand in for them; the Linux run checks those files against the programs.
#ifdef _WIN32
constexpr bool PEERS_RUN = false;
#else
constexpr bool PEERS_RUN = true;
#endif
constexpr const char* NO_PEERS =
    "the programs compared with run on Linux; here their checked-in files stand in for them";

// Expects the checked-in file tests/data/<name> to hold bytes. With ZEM_UPDATE_FIXTURES set in
// the environment it writes them there instead (tests/data/codec_fixtures.py update).
void ExpectFixture(const std::string& name, const std::string& bytes);

// The picture as RGBA bytes, read the way its file format means it: palette indexes through the
// palette (grey levels without one; alpha 255), 5-5-5 words, blue first deep pixels with alpha
// fourth (255 for 24 bits).
std::string ToRGBA(const ZEMImage& image);

// "" when two RGBA pictures agree under the compare rule, else their first difference: rgb
// compares colours, rgba colours and alpha, rgb5 colours cut to 5 bits (for 5-5-5 pixels), near
// colours and alpha within 1 (for channels wider than 8 bits, which programs round apart). Pixels
// that both show fully transparent agree whatever their colours.
std::string RGBADifference(const std::string& ours, const std::string& theirs, unsigned width,
                           const std::string& compare);

// Runs the zem tool with the given argument text (shell syntax); returns its exit status and
// fills out with its standard output and error.
int RunTool(const std::string& args, std::string* out = nullptr);

// Runs a shell command; returns its exit status and fills out with its standard output and error.
int RunShell(const std::string& command, std::string* out = nullptr);

// Runs a program with an argument list, through no shell (arguments reach it byte for byte, UTF-8
// on Windows too), with input as its standard input; returns its exit status (-1 when it could
// not run or did not exit) and fills out with its standard output and error ("\n" line ends).
// Given errors, standard error goes there apart and out holds standard output alone.
int RunProgram(const std::vector<std::string>& argv, std::string* out = nullptr,
               const std::string& input = std::string(), std::string* errors = nullptr);

// RunProgram of the zem tool with these arguments.
int RunToolArgs(const std::vector<std::string>& args, std::string* out = nullptr,
                const std::string& input = std::string(), std::string* errors = nullptr);

} // namespace zemtest

#endif
