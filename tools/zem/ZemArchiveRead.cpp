#include "ZemArchiveFamily.h"
#include "ZemCli.h"

#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/stream/ZEMResFile.h>

#include <cstdio>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using zemcli::Warn;

namespace {

using namespace zemarchive;

// Creates path and the folders that lead to it.
bool MakeFolders(const std::string& path) {
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) continue;
        std::string folder = path.substr(0, i);
        if (folder.empty() || ZEMFileUtils::IsDir(folder.c_str())) continue;
        if (!ZEMFileUtils::DirCreate(folder.c_str())) return false;
    }
    return true;
}

// The table of the members: size, date, offset, name; the name last, so that no length of name
// breaks the columns.
void PrintTable(const ZEMArchive& archive) {
    const bool dated = dynamic_cast<const ZEMArchPAK*>(&archive) == nullptr;
    // zemcli::LocalTime does not read the time zone on each call as localtime does.
    tzset();
    std::printf("%10s  %-16s  %10s  %s\n", "Size", "Date", "Offset", "Name");
    uint64_t total = 0;
    for (unsigned i = 0; i < archive.NbFiles(); ++i) {
        char date[32] = "-";
        const time_t when = time_t(archive.FileDate(i));
        struct tm local;
        if (dated && zemcli::LocalTime(when, local)) {
            std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", &local);
        }
        const auto* entry = static_cast<const ZEMArchive::ArchiveEntry*>(archive.GetItem(i));
        const std::string damage = archive.Damage(i);
        std::printf("%10u  %-16s  %10u  %s%s\n", entry->size, date, entry->offset,
                    Escaped(entry->name).c_str(),
                    damage.empty() ? "" : ("  (damaged: " + damage + ")").c_str());
        total += archive.FileSize(i);
    }
    std::printf("%u members, %llu bytes\n", archive.NbFiles(),
                static_cast<unsigned long long>(total));
}

// The storage indexes of the members named after the archive's path, or of every member when
// none is named; false (said) when a name is not in the archive.
bool Chosen(const ZEMArchive& archive, const Args& args, std::vector<unsigned>& indexes) {
    if (args.size() == 1) {
        for (unsigned i = 0; i < archive.NbFiles(); ++i)
            indexes.push_back(i);
        return true;
    }
    bool all = true;
    for (size_t i = 1; i < args.size(); ++i) {
        const unsigned index = FindMember(archive, args, args[i]);
        if (index == NO_INDEX) {
            all = false;
        } else {
            indexes.push_back(index);
        }
    }
    return all;
}

// Copies a member to out; false (said) when it could not be read or written whole.
bool CopyMember(const ZEMArchive& archive, unsigned index, const Args& args,
                const std::function<bool(const char*, unsigned)>& put) {
    const std::string member = Shown(archive.FileName(index));
    // An empty member has no bytes to open.
    if (archive.FileSize(index) == 0) return true;
    std::unique_ptr<ZEMResFile> stream(archive.OpenResFile(index));
    if (!stream) {
        Warn("cannot read " + member + " in " + Shown(args[0]));
        return false;
    }
    char buffer[64 * 1024];
    uint64_t total = 0;
    while (unsigned got = stream->Read(buffer, sizeof buffer)) {
        if (!put(buffer, got)) return false;
        total += got;
    }
    if (total < archive.FileSize(index)) {
        Warn(member + " is cut short: the archive ends inside it");
        return false;
    }
    return true;
}

} // namespace

namespace zemarchive {

int List(ZEMArchive* archive, const Line& line) {
    if (line.Has("--names")) {
        for (unsigned i = 0; i < archive->NbFiles(); ++i)
            std::printf("%s\n", Escaped(archive->FileName(i)).c_str());
    } else {
        PrintTable(*archive);
    }
    if (line.verbose) {
        std::printf("%llu bytes of dead space\n",
                    static_cast<unsigned long long>(archive->DeadSpace()));
    }
    return zemcli::Flushed() ? 0 : 1;
}

int Test(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
    unsigned damaged = 0;
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        const std::string damage = archive->Damage(i);
        if (damage.empty()) continue;
        Warn(Shown(args[0]) + ": member " + Shown(archive->FileName(i)) + " is damaged: " + damage);
        ++damaged;
    }
    if (damaged > 0) {
        return zemcli::Fail(Shown(args[0]) + " is damaged: " + std::to_string(damaged) + " of " +
                            std::to_string(archive->NbFiles()) + " members");
    }
    char buffer[64 * 1024];
    uint64_t total = 0;
    for (unsigned i = 0; i < archive->NbFiles(); ++i) {
        uint64_t got = 0;
        std::unique_ptr<ZEMResFile> stream(archive->FileSize(i) ? archive->OpenResFile(i)
                                                                : nullptr);
        while (stream) {
            const unsigned n = stream->Read(buffer, sizeof buffer);
            if (n == 0) break;
            got += n;
        }
        if (got != archive->FileSize(i)) {
            return zemcli::Fail(Shown(args[0]) + " is damaged: member " +
                                Shown(archive->FileName(i)) + " reads " + std::to_string(got) +
                                " of its " + std::to_string(archive->FileSize(i)) + " bytes");
        }
        total += got;
    }
    std::printf("%s: %u members, %llu bytes, all whole", Shown(args[0]).c_str(), archive->NbFiles(),
                static_cast<unsigned long long>(total));
    if (const uint64_t dead = archive->DeadSpace()) {
        std::printf("; %llu bytes of dead space ('zem archive compact' gives them back)",
                    static_cast<unsigned long long>(dead));
    }
    std::printf("\n");
    return zemcli::Flushed() ? 0 : 1;
}

int Extract(ZEMArchive* archive, const Line& line) {
    std::string folder = line.Value("-C");
    if (folder.empty()) folder = ".";
    std::vector<unsigned> indexes;
    const bool found = Chosen(*archive, line.args, indexes);
    if (!MakeFolders(folder) || !ZEMFileUtils::IsDir(folder.c_str())) {
        return zemcli::Fail("cannot create the folder " + Shown(folder));
    }
    size_t missed = 0;
    size_t done = 0;
    zemcli::Progress progress("extracting", indexes.size());
    // The library gives files their members' dates; a PAK stores none, and its members get the
    // archive's, as tar gives them a date.
    const bool pak = dynamic_cast<const ZEMArchPAK*>(archive) != nullptr;
    const time_t archiveDate = pak ? zemcli::ModifiedAt(line.args[0]) : 0;
    using Outcome = ZEMArchive::ExtractOutcome;
    const auto tell = [&](unsigned index, Outcome outcome) {
        const char* name = archive->FileName(index);
        progress.Step(++done);
        if (outcome == Outcome::WRITTEN) {
            if (pak) zemcli::SetModified(folder + "/" + name, archiveDate);
            if (line.verbose) std::printf("%s\n", Escaped(name).c_str());
            return;
        }
        ++missed;
        if (outcome == Outcome::EXISTS) {
            Warn(Shown(name) + " not extracted: the file exists (--force to overwrite it)");
        } else {
            Warn(Shown(name) + " not extracted: " + archive->LastError());
        }
    };
    // --force also writes members that overlap others, each as many bytes as it names.
    archive->SetExtractOverlaps(line.Has("--force"));
    if (!archive->ExtractMembers(indexes.data(), indexes.size(), folder.c_str(),
                                 line.Has("--force"), tell) &&
        missed == 0) {
        return zemcli::Fail("cannot extract into " + Shown(folder) + ": " + archive->LastError());
    }
    if (!zemcli::Flushed()) return 1;
    if (missed == 0) return found ? 0 : 1;
    return zemcli::Fail(std::to_string(missed) + " of " + std::to_string(indexes.size()) +
                        " members not extracted");
}

int Cat(ZEMArchive* archive, const Line& line) {
    std::vector<unsigned> indexes;
    if (!Chosen(*archive, line.args, indexes)) return 1;
    auto copyAll = [&](const std::function<bool(const char*, unsigned)>& put) {
        for (unsigned index : indexes) {
            if (!CopyMember(*archive, index, line.args, put)) return false;
        }
        return true;
    };
    const std::string path = line.Value("-o");
    if (!path.empty() && path != "-") {
        // Written aside and put in place whole: a member that cannot be read leaves nothing.
        const bool force = line.Has("--force");
        if (!zemcli::MayWrite(path, force)) return 1;
        return zemcli::WriteOutput(
            path, force,
            [&](ZEMResFile& file) {
                return copyAll(
                    [&](const char* bytes, unsigned n) { return file.Write(bytes, n) == n; });
            },
            " (a member could not be read)");
    }
    zemcli::BinaryMode(stdout);
    const bool whole = copyAll(
        [](const char* bytes, unsigned n) { return std::fwrite(bytes, 1, n, stdout) == n; });
    if (std::fflush(stdout) != 0 || std::ferror(stdout))
        return zemcli::Fail("cannot write to standard output");
    return whole ? 0 : 1;
}

} // namespace zemarchive
