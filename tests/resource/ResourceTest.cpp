#include <zem/resource/ZEMResource.h>
#include <zem/stream/ZEMFile.h>

#include "ZEMTestSupport.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#ifndef _WIN32
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using zemtest::Listing;
using zemtest::ReadFile;
using zemtest::WriteFile;

namespace {

// Format numbers of the test resource.
constexpr int WHOLE = 0;   // the whole content
constexpr int PARTIAL = 1; // writes half of the content, then fails
constexpr int REFUSED = 2; // fails before writing anything

// A resource holding a string of bytes, with a failing save for each way a save can go wrong.
class Blob : public ZEMResource {
public:
    explicit Blob(std::string bytes = "") : bytes(std::move(bytes)) {}

    unsigned MemoryUsed() const override { return unsigned(sizeof *this + bytes.size()); }

    bool Load(ZEMResFile& file, int format) override {
        ++loads;
        if (!file.IsOK() || format != WHOLE) return false;
        bytes.clear();
        char buffer[64];
        unsigned got;
        while ((got = file.Read(buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        return true;
    }

    bool Save(ZEMResFile& file, int format) override {
        if (!file.IsOK() || format == REFUSED) return false;
        size_t size = format == PARTIAL ? bytes.size() / 2 : bytes.size();
        // Small pieces, so that they wait in the stream's buffer.
        for (size_t at = 0; at < size; at += 64) {
            unsigned piece = unsigned(std::min<size_t>(64, size - at));
            if (file.Write(bytes.data() + at, piece) != piece) return false;
        }
        return format == WHOLE;
    }

    std::string bytes;
    int loads = 0;
};

// Handles are counted on POSIX only: under Wine GetProcessHandleCount says 0 and the process's
// own descriptors come and go with Wine's work.
#ifndef _WIN32
size_t OpenDescriptors() {
    return size_t(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}
#endif

class ResourceTest : public zemtest::TempDirTest {};

TEST_F(ResourceTest, LoadNameOfMissingFileFailsWithoutLeakingAHandle) {
#ifndef _WIN32
    const size_t before = OpenDescriptors();
#endif
    Blob blob("kept");
    fs::create_directory("folder");
    {
        // The log tells the system's reason.
        zemtest::LogCapture log;
        EXPECT_FALSE(blob.LoadName("missing.dat", WHOLE));
        EXPECT_EQ(log.Text(), "File: cannot read 'missing.dat': No such file or directory\n");
        EXPECT_FALSE(blob.LoadName("folder", WHOLE));
        EXPECT_EQ(log.Text(), "File: cannot read 'missing.dat': No such file or directory\n"
                              "File: cannot read 'folder': Is a directory\n");
    }
    // The subclass is still asked, with a stream that is not open.
    EXPECT_GE(blob.loads, 1);
    EXPECT_EQ(blob.bytes, "kept");
    EXPECT_FALSE(blob.LoadName(nullptr, WHOLE));
    WriteFile("present.dat", "abc");
    EXPECT_TRUE(blob.LoadName("present.dat", WHOLE));
#ifndef _WIN32
    EXPECT_EQ(OpenDescriptors(), before);
#endif
}

TEST_F(ResourceTest, LoadNameMatchesLoadOnAStream) {
    WriteFile("data.bin", std::string("x\0y\r\nz", 6));
    Blob byName, byStream;
    ASSERT_TRUE(byName.LoadName("data.bin", WHOLE));
    ZEMFile file("data.bin", ZEMResFile::READ);
    ASSERT_TRUE(byStream.Load(file, WHOLE));
    EXPECT_EQ(byName.bytes, byStream.bytes);
    EXPECT_EQ(byName.bytes, std::string("x\0y\r\nz", 6));
    // The format is handed on: the subclass refuses this one.
    EXPECT_FALSE(byName.LoadName("data.bin", REFUSED));
}

TEST_F(ResourceTest, SaveNameCreatesOrReplacesWholeContent) {
    EXPECT_TRUE(Blob("new file").SaveName("out.bin", WHOLE));
    EXPECT_EQ(ReadFile("out.bin"), "new file");
    WriteFile("out.bin", "a much longer old content");
    EXPECT_TRUE(Blob("short").SaveName("out.bin", WHOLE));
    EXPECT_EQ(ReadFile("out.bin"), "short");
    // Backslash separators reach the same file.
    fs::create_directory("sub");
    EXPECT_TRUE(Blob("in sub").SaveName("sub\\out.bin", WHOLE));
    EXPECT_EQ(ReadFile("sub/out.bin"), "in sub");
    EXPECT_EQ(Listing(), (std::set<std::string>{"out.bin", "sub"}));
    EXPECT_EQ(fs::directory_iterator("sub")->path().filename(), "out.bin");
}

TEST_F(ResourceTest, FailedSaveLeavesTheFileAsItWas) {
    for (int format : {REFUSED, PARTIAL}) {
        SCOPED_TRACE(format);
        WriteFile("keep.bin", "old content");
        Blob blob("replacement content");
        EXPECT_FALSE(blob.SaveName("keep.bin", format));
        EXPECT_EQ(ReadFile("keep.bin"), "old content");
        // A failed save of a missing file creates nothing.
        EXPECT_FALSE(blob.SaveName("absent.bin", format));
        EXPECT_EQ(Listing(), std::set<std::string>{"keep.bin"});
    }
}

TEST_F(ResourceTest, SaveNameStepsAroundFilesInTheWay) {
    // A file that happens to bear the name of a save's temporary file is neither used nor lost.
    WriteFile("out.bin.zemtmp0", "someone else's");
    EXPECT_TRUE(Blob("saved").SaveName("out.bin", WHOLE));
    EXPECT_EQ(ReadFile("out.bin"), "saved");
    EXPECT_EQ(ReadFile("out.bin.zemtmp0"), "someone else's");
    EXPECT_EQ(Listing(), (std::set<std::string>{"out.bin", "out.bin.zemtmp0"}));
}

TEST_F(ResourceTest, SaveNameFailsWhereNoFileCanBe) {
    Blob blob("x");
    EXPECT_FALSE(blob.SaveName(nullptr, WHOLE));
    EXPECT_FALSE(blob.SaveName("", WHOLE));
    EXPECT_FALSE(blob.SaveName("no/such/dir/out.bin", WHOLE));
    // A directory is not replaced by a file.
    fs::create_directory("dir");
    EXPECT_FALSE(blob.SaveName("dir", WHOLE));
    EXPECT_TRUE(fs::is_directory("dir"));
    EXPECT_EQ(Listing(), std::set<std::string>{"dir"});
}

// A save replaces the file that a symbolic link leads to (the link stays a link), with the old
// file's permissions; another hard link to the old file keeps the old content.
TEST_F(ResourceTest, SaveNameKeepsLinksAndPermissions) {
#ifdef _WIN32
    GTEST_SKIP() << "symbolic links and POSIX permission bits";
#else
    fs::create_directory("data");
    WriteFile("data/real.bin", "old");
    fs::permissions("data/real.bin", fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("data/real.bin", "link.bin");
    fs::create_hard_link("data/real.bin", "hard.bin");
    EXPECT_TRUE(Blob("saved through the link").SaveName("link.bin", WHOLE));
    EXPECT_TRUE(fs::is_symlink("link.bin"));
    EXPECT_EQ(ReadFile("data/real.bin"), "saved through the link");
    EXPECT_EQ(ReadFile("hard.bin"), "old");
    EXPECT_EQ(fs::status("data/real.bin").permissions(),
              fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Listing(), (std::set<std::string>{"data", "hard.bin", "link.bin"}));
    EXPECT_EQ(fs::directory_iterator("data")->path().filename(), "real.bin");
    // A link that leads nowhere is replaced by the file: nothing is made where it pointed.
    fs::create_symlink("data/missing.bin", "dangling.bin");
    EXPECT_TRUE(Blob("new").SaveName("dangling.bin", WHOLE));
    EXPECT_FALSE(fs::is_symlink("dangling.bin"));
    EXPECT_EQ(ReadFile("dangling.bin"), "new");
    EXPECT_FALSE(fs::exists("data/missing.bin"));
#endif
}

#ifndef _WIN32
// Run in a child process: saves bytes to name with files limited to limit bytes, and exits 0
// when the save reports failure.
void SaveUnderSizeLimit(rlim_t limit, const std::string& bytes, const char* name) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit sizes{limit, limit};
    setrlimit(RLIMIT_FSIZE, &sizes);
    _exit(Blob(bytes).SaveName(name, WHOLE) ? 1 : 0);
}
#endif

// Bytes still buffered when the save ends may fail to reach the disk (here a file size limit
// stands in for a full disk): that is a failed save too.
TEST_F(ResourceTest, SaveNameThatCannotWriteOutItsBufferKeepsTheFile) {
#ifdef _WIN32
    GTEST_SKIP() << "no file size limit (RLIMIT_FSIZE) to stand for a full disk on Windows";
#else
    WriteFile("keep.bin", "old content");
    EXPECT_EXIT(SaveUnderSizeLimit(1000, std::string(3000, 'n'), "keep.bin"),
                ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile("keep.bin"), "old content");
    EXPECT_EQ(Listing(), std::set<std::string>{"keep.bin"});
#endif
}

TEST_F(ResourceTest, ReadOnlyFileRefusesTheSave) {
#ifndef _WIN32
    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
#endif
    WriteFile("locked.bin", "old");
    fs::permissions("locked.bin", fs::perms::owner_read);
    EXPECT_FALSE(Blob("new").SaveName("locked.bin", WHOLE));
    EXPECT_EQ(ReadFile("locked.bin"), "old");
    EXPECT_EQ(Listing(), std::set<std::string>{"locked.bin"});
}

} // namespace
