// Member names from other programs' archives that try to leave the extraction folder, to open a
// device, or to be written under another name than their own.
#include "ArchiveTestSupport.h"
#include "ZEMTestSupport.h"

#include <zem/provider.h>

#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using namespace archtest;
using zemtest::ReadFile;
using zemtest::WriteFile;

class ArchiveHostileNameTest : public zemtest::TempDirTest {};

// Each name is refused with its reason or written under its own name inside the folder, in both
// formats; nothing else appears anywhere.
TEST_F(ArchiveHostileNameTest, ExtractionRefusesThemAndWritesNothingElse) {
    const std::vector<HostileName>& names = HostileNames();
    for (const HostileName& hostile : names)
        EXPECT_EQ(ZEMArchive::IsSafeName(hostile.name), !RefusedHere(hostile)) << hostile.name;
    WriteFile("a.zem", ZemFile(HostileMembers()));
    WriteFile("a.pak", PakFile(HostileMembers()));
    std::vector<unsigned> all(names.size());
    for (unsigned i = 0; i < all.size(); ++i)
        all[i] = i;
    std::map<std::string, std::string> boxed;
    for (const std::string format : {"zem", "pak"}) {
        SCOPED_TRACE(format);
        const std::string dest = "box/" + format;
        fs::create_directories(dest);
        std::unique_ptr<ZEMArchive> arch(ZEMArchive::OpenArchive(("a." + format).c_str()));
        ASSERT_TRUE(arch);
        ASSERT_EQ(arch->NbFiles(), names.size());
        using Outcome = ZEMArchive::ExtractOutcome;
        arch->ExtractMembers(all.data(), all.size(), dest.c_str(), false,
                             [&](unsigned index, Outcome outcome) {
                                 const HostileName& hostile = names.at(index);
                                 if (!RefusedHere(hostile)) {
                                     EXPECT_EQ(outcome, Outcome::WRITTEN) << hostile.name;
                                     return;
                                 }
                                 EXPECT_EQ(outcome, Outcome::FAILED) << hostile.name;
                                 EXPECT_STREQ(arch->LastError(), hostile.why) << hostile.name;
                             });
        EXPECT_EQ(FilesBelow(dest), HostileLandings());
        for (const auto& [path, bytes] : HostileLandings())
            boxed[format + "/" + path] = bytes;
    }
    EXPECT_EQ(FilesBelow("box"), boxed);
    EXPECT_EQ(zemtest::Listing(), (std::set<std::string>{"a.pak", "a.zem", "box"}));
    for (const char* escaped : {"/escaped", "C:/escaped"})
        EXPECT_FALSE(fs::exists(escaped)) << escaped;
}

// ExtractAll, which reports only whether the folder was there, logs every member it leaves out.
TEST_F(ArchiveHostileNameTest, ExtractAllLogsTheNamesItLeavesOut) {
    WriteFile("a.pak", PakFile(HostileMembers()));
    ZEMArchPAK arch;
    ASSERT_TRUE(arch.Open("a.pak"));
    fs::create_directory("out");
    zemtest::LogCapture capture;
    EXPECT_TRUE(arch.ExtractAll("out"));
    const std::string log = capture.Text();
    for (const HostileName& hostile : HostileNames()) {
        const std::string line = "ZEMArchive: '" + std::string(hostile.name) + "' not extracted: ";
        EXPECT_EQ(log.find(line) != std::string::npos,
                  RefusedHere(hostile) && hostile.name != std::string("tab\tbed"))
            << hostile.name << "\n"
            << log;
    }
    EXPECT_NE(log.find("ZEMArchive: 'tab\\x09bed' not extracted: its name holds control "
                       "characters\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(FilesBelow("out"), HostileLandings());
}
