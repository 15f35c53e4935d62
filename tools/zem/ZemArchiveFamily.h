#ifndef ZEM_TOOLS_ZEMARCHIVEFAMILY_H
#define ZEM_TOOLS_ZEMARCHIVEFAMILY_H

// What the verbs of 'zem archive' share: messages, the command line of a verb, and the verbs.

#include <zem/provider/ZEMArchive.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace zemarchive {

constexpr unsigned NO_INDEX = 0xFFFFFFFFu;

using ArchivePtr = std::unique_ptr<ZEMArchive>;
using Args = std::vector<std::string>;

// A name from an archive or the disk, safe to print: control characters would disturb the
// terminal.
std::string Shown(const char* text);
std::string Shown(const std::string& text);
// The name with control characters as \xHH escapes: one name, one line.
std::string Escaped(const char* name);

inline bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// The command line of a command: its operands (the archive's path first) and its options.
struct Line {
    Args args;
    std::set<std::string> flags;               // options without a value, by their long names
    std::map<std::string, std::string> values; // options with a value
    bool verbose = false;

    bool Has(const char* flag) const { return flags.count(flag) != 0; }
    std::string Value(const char* option) const {
        auto found = values.find(option);
        return found == values.end() ? std::string() : found->second;
    }
};

// Storage index of the first member of that name; NO_INDEX (said) when there is none.
unsigned FindMember(const ZEMArchive& archive, const Args& args, const std::string& member);

// The verbs. line.args[0] is the archive's path; archive is that archive opened, except for
// 'create', which receives null.
int Create(ZEMArchive*, const Line& line);
int List(ZEMArchive* archive, const Line& line);
int Add(ZEMArchive* archive, const Line& line);
int Remove(ZEMArchive* archive, const Line& line);
int Move(ZEMArchive* archive, const Line& line);
int Update(ZEMArchive* archive, const Line& line);
int Compact(ZEMArchive* archive, const Line& line);
int Extract(ZEMArchive* archive, const Line& line);
int Cat(ZEMArchive* archive, const Line& line);
int Test(ZEMArchive* archive, const Line& line);

} // namespace zemarchive

#endif
