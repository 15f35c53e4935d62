#include "ZemArchiveFamily.h"
#include "ZemCli.h"

#include <zem/provider/ZEMArchPAK.h>
#include <zem/provider/ZEMArchZEM.h>
#include <zem/provider/ZEMFileUtils.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <utility>
#include <vector>

using zemcli::Warn;

namespace {

using namespace zemarchive;

// ---- Paths ----

std::string Join(const std::string& folder, const char* name) {
    if (folder.empty() || IsSeparator(folder.back())) return folder + name;
    return folder + '/' + name;
}

// path made absolute against base.
std::string Absolute(const std::string& base, const std::string& path) {
    return ZEMFileUtils::IsAbsolute(path.c_str()) ? path : Join(base, path.c_str());
}

// path made absolute against base, with "." and ".." components folded away: two spellings of
// one path compare equal.
std::string Normal(const std::string& base, const std::string& path) {
    std::string absolute = Absolute(base, path);
    for (char& c : absolute) {
        if (c == '\\') c = '/';
    }
    return zemcli::FsName(zemcli::FsPath(absolute).lexically_normal());
}

// ---- Gathering the files of the command line ----

// The member name of a file at path as given on the command line: its components joined by '/',
// without "." components; "" when the path is absolute or climbs with "..", which no member name
// may.
std::string MemberName(const std::string& path) {
    if (ZEMFileUtils::IsAbsolute(path.c_str())) return std::string();
    std::string name;
    std::string part;
    for (size_t i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !IsSeparator(path[i])) {
            part += path[i];
            continue;
        }
        if (part == "..") return std::string();
        if (!part.empty() && part != ".") name += (name.empty() ? "" : "/") + part;
        part.clear();
    }
    return name;
}

// A file to store: its path on the disk and the member name it gets.
struct Source {
    std::string path;
    std::string name;
};

// The working folder of the process, as the system reports it; "." when it cannot.
std::string WorkingFolder() {
    std::error_code error;
    const std::string folder = zemcli::FsName(std::filesystem::current_path(error));
    return error || folder.empty() ? std::string(".") : folder;
}

// Collects the files named on the command line and those below the folders named there, each
// folder in name order. The paths kept are those the user gave, joined with the names below;
// the member names are those paths (as tar keeps them), or the files' own names with flatten.
class FileGatherer {
public:
    explicit FileGatherer(bool flatten = false) : flatten_(flatten), workDir_(WorkingFolder()) {}

    // Adds a file, or the files below a folder; false (said) when the path does not exist.
    bool Add(const std::string& path) {
        if (!ZEMFileUtils::FileExist(path.c_str())) {
            Warn(Shown(path) + ": no such file or folder");
            return false;
        }
        if (ZEMFileUtils::IsDir(path.c_str())) {
            Walk(path, FolderName(path));
        } else if (!flatten_ && MemberName(path).empty()) {
            Warn(Shown(path) + ": give a relative path (or --flatten), left out");
            skipped = true;
        } else {
            Keep(path, MemberName(path));
        }
        return true;
    }

    // Working directory of the process, as the system reports it.
    const std::string& WorkDir() const { return workDir_; }

    std::vector<Source> files;
    bool skipped = false; // something below a folder could not be taken

private:
    // The member name of the folder at path: the path, or its last component when the path is
    // absolute or climbs with "..", which no member name may.
    std::string FolderName(const std::string& path) const {
        const std::string name = MemberName(path);
        const bool relative = !ZEMFileUtils::IsAbsolute(path.c_str()) &&
                              (!name.empty() || Normal(workDir_, path) == Normal(workDir_, "."));
        if (relative) return name;
        std::filesystem::path folder = zemcli::FsPath(Normal(workDir_, path));
        if (!folder.has_filename()) folder = folder.parent_path(); // written with a '/' at its end
        return zemcli::FsName(folder.filename());
    }

    void Keep(const std::string& path, const std::string& name) {
        files.push_back(
            {path, flatten_ ? std::string(ZEMFileUtils::FileName(path.c_str())) : name});
    }

    // Walks the folder at path, whose files are named below name.
    void Walk(const std::string& folder, const std::string& name) {
        zemcli::FileIdentity identity;
        std::error_code error;
        std::filesystem::directory_iterator it(zemcli::FsPath(folder), error);
        if (error || !zemcli::Identity(folder, identity)) {
            Warn(Shown(folder) + ": cannot list this folder");
            skipped = true;
            return;
        }
        // A link back into a folder already walked would never end; another way into one would
        // store its files twice.
        if (!walked_.insert(identity).second) {
            Warn(Shown(folder) +
                 ": this folder was taken already by another way (a link), left out");
            skipped = true;
            return;
        }
        // The types come with the listing: no status call per file, except through links.
        std::vector<std::pair<std::string, bool>> children;
        for (; !error && it != std::filesystem::directory_iterator(); it.increment(error)) {
            std::error_code typeError;
            const std::string name = zemcli::FsName(it->path().filename());
            if (it->is_directory(typeError) || it->is_regular_file(typeError)) {
                children.emplace_back(name, it->is_directory(typeError));
                continue;
            }
            Warn(Shown(Join(folder, name.c_str())) + (it->is_symlink(typeError)
                                                          ? ": a link that leads nowhere, left out"
                                                          : ": not a regular file, left out"));
            skipped = true;
        }
        if (error) {
            Warn(Shown(folder) + ": cannot list this folder to its end");
            skipped = true;
        }
        std::sort(children.begin(), children.end());
        for (const auto& [child, isFolder] : children) {
            const std::string path = Join(folder, child.c_str());
            const std::string member = name.empty() ? child : name + "/" + child;
            if (isFolder) {
                Walk(path, member);
            } else {
                Keep(path, member);
            }
        }
    }

    bool flatten_;
    std::string workDir_;
    std::set<zemcli::FileIdentity> walked_; // the folders walked
};

// Gathers every path of args; false when one does not exist.
bool Gather(const std::vector<std::string>& paths, FileGatherer& gatherer) {
    bool all = true;
    for (const std::string& path : paths)
        all = gatherer.Add(path) && all;
    return all;
}

// Leaves out of files the archive at path, which cannot be a member of itself; false (said) when
// it was among them.
bool DropArchive(const std::string& path, const std::string& workDir, std::vector<Source>& files) {
    const std::string self = Normal(workDir, path);
    bool absent = true;
    for (size_t i = files.size(); i-- > 0;) {
        if (Normal(workDir, files[i].path) != self) continue;
        Warn(Shown(files[i].path) + " is the archive itself, left out");
        files.erase(files.begin() + long(i));
        absent = false;
    }
    return absent;
}

// What to do with a file whose member name the archive holds already.
enum class Existing { REFUSE, REPLACE, SKIP };

// Leaves out of files those whose names the archive holds already or an earlier file takes, and
// moves those to replace into replaced (with existing REPLACE); false (said) when one was
// refused.
bool DropDuplicates(const ZEMArchive& archive, Existing existing, std::vector<Source>& files,
                    std::vector<Source>& replaced) {
    std::map<std::string, std::string> taken; // member name, and the file that takes it
    std::vector<Source> kept;
    bool all = true;
    for (Source& file : files) {
        auto [earlier, added] = taken.emplace(file.name, file.path);
        if (!added) {
            Warn(Shown(file.path) + " and " + Shown(earlier->second) + " would both be " +
                 Shown(file.name) + ": " + Shown(file.path) + " left out");
            all = false;
        } else if (archive.FindFile(file.name.c_str()) == NO_INDEX) {
            kept.push_back(std::move(file));
        } else if (existing == Existing::REPLACE) {
            replaced.push_back(std::move(file));
        } else if (existing == Existing::REFUSE) {
            Warn(Shown(file.path) + ": the archive holds " + Shown(file.name) +
                 " already (--replace or --skip-existing to choose), left out");
            all = false;
        }
    }
    files.swap(kept);
    return all;
}

// Says each file whose member name is longer than the archive's format holds; false when there
// is one. Nothing is cut: two long names would become one.
bool NamesFit(const ZEMArchive& archive, const std::vector<Source>& files) {
    const size_t limit = archive.MaxNameLength();
    bool fit = true;
    for (const Source& file : files) {
        if (file.name.size() <= limit) continue;
        Warn("the name " + Shown(file.name) + " of " + Shown(file.path) + " is too long (" +
             std::to_string(file.name.size()) + " bytes; the format holds " +
             std::to_string(limit) + ")");
        fit = false;
    }
    return fit;
}

// Replaces members by files of their names in one edit; false (said) when none could be
// replaced, which leaves every member as it was.
bool ReplaceAll(ZEMArchive& archive, const std::string& path, const std::vector<Source>& files) {
    std::vector<unsigned> indexes;
    std::vector<const char*> paths;
    for (const Source& file : files) {
        const unsigned index = archive.FindFile(file.name.c_str());
        if (index == NO_INDEX) {
            Warn("cannot replace " + Shown(file.name) + " by " + Shown(file.path) +
                 ": no such member");
            return false;
        }
        indexes.push_back(index);
        paths.push_back(file.path.c_str());
    }
    if (files.empty() || archive.UpdateFiles(indexes.data(), paths.data(), unsigned(files.size())))
        return true;
    Warn("nothing replaced in " + Shown(path) + ": " + archive.LastError());
    return false;
}

// What stores files: AddFiles or CreateFrom, given the paths, the names and the callback that
// hears of each file; true when the archive was written.
using Store = std::function<bool(const char* const* paths, const char* const* names, unsigned count,
                                 const ZEMArchive::AddCallback& onFile)>;

// Stores files into the archive at once; false (said) when one was not stored, or when the
// archive could not be written (failure, then the library's reason). Says nothing more when
// every file was refused: none says more than each.
bool StoreAll(const ZEMArchive& archive, const std::vector<Source>& files, const Store& store,
              const std::string& failure) {
    std::vector<const char*> paths;
    std::vector<const char*> names;
    paths.reserve(files.size());
    names.reserve(files.size());
    for (const Source& file : files) {
        paths.push_back(file.path.c_str());
        names.push_back(file.name.c_str());
    }
    // Each source left out, and why.
    std::vector<std::pair<unsigned, std::string>> refused;
    zemcli::Progress progress("adding", files.size());
    const bool written = store(paths.data(), names.data(), unsigned(paths.size()),
                               [&](unsigned position, unsigned index) {
                                   if (index == NO_INDEX) {
                                       refused.emplace_back(position, archive.LastError());
                                   }
                                   progress.Step(position + 1);
                               });
    for (const auto& refusal : refused)
        Warn(refusal.second + ", left out");
    if (!written && refused.size() < files.size()) {
        Warn(failure + archive.LastError());
        return false;
    }
    return written && refused.empty();
}

// The files named after the archive's path, the archive itself left out; false (said) when a
// path does not exist.
bool GatherFor(const ZEMArchive& archive, const Args& args, FileGatherer& gatherer) {
    if (!Gather({args.begin() + 1, args.end()}, gatherer)) return false;
    if (!DropArchive(archive.Name(), gatherer.WorkDir(), gatherer.files)) gatherer.skipped = true;
    return true;
}

// Names each file on standard output, as -v asks.
void Tell(const Line& line, const std::vector<Source>& files) {
    if (!line.verbose) return;
    for (const Source& file : files)
        std::printf("%s\n", Escaped(file.name.c_str()).c_str());
}

} // namespace

namespace zemarchive {

int Create(ZEMArchive*, const Line& line) {
    const Args& args = line.args;
    const std::string& path = args[0];
    std::string format = line.Value("--format");
    if (format.empty()) {
        const char* extension = ZEMFileUtils::FileExtension(path.c_str());
        std::string lower = extension ? extension : "";
        for (char& c : lower)
            c = char(std::tolower(static_cast<unsigned char>(c)));
        if (lower != "pak" && lower != "zem") {
            return zemcli::UsageError(Shown(path) + " ends in neither .zem nor .pak: give "
                                                    "--format zem or --format pak");
        }
        format = lower;
    }
    if (format != "zem" && format != "pak") {
        return zemcli::UsageError("unknown format " + Shown(format) + " (zem or pak)");
    }
    const bool force = line.Has("--force");
    if (!force && zemcli::Exists(path)) {
        return zemcli::Fail(Shown(path) + " already exists (use 'zem archive add' to add to it, "
                                          "or --force to replace it)");
    }
    FileGatherer gatherer(line.Has("--flatten"));
    if (!Gather({args.begin() + 1, args.end()}, gatherer)) return 1;
    // The archive replaced may lie among the files: the new one does not hold it.
    if (force && !DropArchive(path, gatherer.WorkDir(), gatherer.files)) gatherer.skipped = true;
    if (gatherer.files.empty()) {
        return zemcli::Fail(Shown(path) + " not written: " +
                            (gatherer.skipped ? "no file could be added" : "no file to store"));
    }
    ArchivePtr archive(format == "pak" ? static_cast<ZEMArchive*>(new ZEMArchPAK)
                                       : static_cast<ZEMArchive*>(new ZEMArchZEM));
    if (!NamesFit(*archive, gatherer.files)) {
        return zemcli::Fail(Shown(path) + " not written: names too long for the format");
    }
    std::vector<Source> none;
    const bool unique = DropDuplicates(*archive, Existing::REFUSE, gatherer.files, none);
    const Store create = [&](const char* const* paths, const char* const* names, unsigned count,
                             const ZEMArchive::AddCallback& onFile) {
        return archive->CreateFrom(path.c_str(), paths, names, count, force, onFile);
    };
    const bool stored =
        StoreAll(*archive, gatherer.files, create, "cannot create " + Shown(path) + ": ");
    // Nothing written: every file was refused, or the failure was said.
    if (!archive->Name()) return 1;
    Tell(line, gatherer.files);
    if (!zemcli::Flushed()) return 1;
    return unique && stored && !gatherer.skipped ? 0 : 1;
}

// The table of the members: size, date, offset, name; the name last, so that no length of name
// breaks the columns.
int Add(ZEMArchive* archive, const Line& line) {
    FileGatherer gatherer(line.Has("--flatten"));
    Existing existing = Existing::REFUSE;
    if (line.Has("--replace") && line.Has("--skip-existing")) {
        return zemcli::UsageError("--replace and --skip-existing exclude each other");
    }
    if (line.Has("--replace")) existing = Existing::REPLACE;
    if (line.Has("--skip-existing")) existing = Existing::SKIP;
    if (!GatherFor(*archive, line.args, gatherer)) return 1;
    if (!NamesFit(*archive, gatherer.files)) {
        return zemcli::Fail("nothing added to " + Shown(line.args[0]) +
                            ": names too long for the format");
    }
    std::vector<Source> replaced;
    const bool unique = DropDuplicates(*archive, existing, gatherer.files, replaced);
    const Store add = [&](const char* const* paths, const char* const* names, unsigned count,
                          const ZEMArchive::AddCallback& onFile) {
        return count == 0 || archive->AddFiles(paths, names, count, onFile) > 0;
    };
    const bool added =
        StoreAll(*archive, gatherer.files, add, "cannot add to " + Shown(archive->Name()) + ": ");
    const bool updated = ReplaceAll(*archive, line.args[0], replaced);
    Tell(line, gatherer.files);
    Tell(line, replaced);
    return zemcli::Flushed() && unique && added && updated && !gatherer.skipped ? 0 : 1;
}

int Remove(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
    std::vector<unsigned> indexes;
    for (size_t i = 1; i < args.size(); ++i) {
        // The same name given twice removes two members of that name.
        unsigned index = NO_INDEX;
        for (unsigned k = 0; k < archive->NbFiles() && index == NO_INDEX; ++k) {
            const bool chosen = std::find(indexes.begin(), indexes.end(), k) != indexes.end();
            if (!chosen && args[i] == archive->FileName(k)) index = k;
        }
        if (index == NO_INDEX) {
            return zemcli::Fail("no member " + Shown(args[i]) + " in " + Shown(args[0]) +
                                " (nothing removed)");
        }
        indexes.push_back(index);
    }
    if (!archive->RemoveFiles(indexes.data(), unsigned(indexes.size()))) {
        return zemcli::Fail("nothing removed from " + Shown(args[0]) + ": " + archive->LastError());
    }
    for (size_t i = 1; line.verbose && i < args.size(); ++i)
        std::printf("%s\n", Escaped(args[i].c_str()).c_str());
    return zemcli::Flushed() ? 0 : 1;
}

int Move(ZEMArchive* archive, const Line& line) {
    const Args& args = line.args;
    unsigned index = FindMember(*archive, args, args[1]);
    if (index == NO_INDEX) return 1;
    // A name that ends with a separator names a folder, and one that is absolute or climbs with
    // ".." leads out of it: the library refuses them as they stand, and says why.
    std::string newName = MemberName(args[2]);
    if (IsSeparator(args[2].back()) || newName.empty()) newName = args[2];
    const unsigned existing = archive->FindFile(newName.c_str());
    if (existing != NO_INDEX && existing != index) {
        return zemcli::Fail(Shown(args[0]) + " holds " + Shown(newName) + " already");
    }
    if (!archive->RenameMember(index, newName.c_str())) {
        return zemcli::Fail("cannot rename " + Shown(args[1]) + " to " + Shown(args[2]) + " in " +
                            Shown(args[0]) + ": " + archive->LastError());
    }
    return 0;
}

int Update(ZEMArchive* archive, const Line& line) {
    FileGatherer gatherer(line.Has("--flatten"));
    if (!GatherFor(*archive, line.args, gatherer)) return 1;
    for (const Source& file : gatherer.files) {
        if (FindMember(*archive, line.args, file.name) == NO_INDEX) return 1;
    }
    const bool replaced = ReplaceAll(*archive, line.args[0], gatherer.files);
    Tell(line, gatherer.files);
    return zemcli::Flushed() && replaced && !gatherer.skipped ? 0 : 1;
}

// The storage indexes of the members named after the archive's path, or of every member when
// none is named; false (said) when a name is not in the archive.
int Compact(ZEMArchive* archive, const Line& line) {
    const uint64_t dead = archive->DeadSpace();
    if (!archive->Compact()) {
        return zemcli::Fail("cannot compact " + Shown(line.args[0]) + ": " + archive->LastError());
    }
    std::printf("%s: %llu bytes of dead space given back\n", Shown(line.args[0]).c_str(),
                static_cast<unsigned long long>(dead));
    return zemcli::Flushed() ? 0 : 1;
}

} // namespace zemarchive
