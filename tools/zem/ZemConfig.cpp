#include "ZemCli.h"

#include <zem/text/ZEMConfigMgr.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

int Help() {
    std::printf("usage: zem config check FILE\n\n"
                "Shows each line of a configuration file as the configuration manager reads it:\n"
                "the line number, the parameter name and the value text. Empty lines and comment\n"
                "lines (starting with #) are skipped; a line longer than %u characters is read\n"
                "as several lines.\n\n"
                "Every line that the manager would skip or misread is reported on standard error\n"
                "with its line number, and the status is then 1: a line without a value, an empty\n"
                "name, a name=value or [section] form (the manager knows only 'name value'), a\n"
                "line over the limit, control characters or zero bytes (a binary file).\n",
                ZEMConfigMgr::MAX_LINE);
    return 0;
}

// Problems told at the most: a binary file would give thousands.
constexpr size_t SHOWN_PROBLEMS = 20;

// One complaint: the line of the file it concerns, and what is wrong.
using Problem = std::pair<unsigned, std::string>;

// What the check gathers while the manager reads the file.
struct Check {
    std::vector<unsigned> fileLine; // for each line the manager reads, the file's line it is in
    std::vector<Problem> problems;
    unsigned count = 0; // parameter lines
};

bool IsControl(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7F;
}

// The checks of one line of the file, as its bytes are (newline taken off).
void CheckBytes(const std::string& bytes, bool newline, unsigned line, Check& check) {
    std::string text = bytes;
    if (newline && !text.empty() && text.back() == '\r') text.pop_back(); // a Windows line end
    auto bad = std::find_if(text.begin(), text.end(),
                            [](char c) { return IsControl(static_cast<unsigned char>(c)); });
    if (bad != text.end()) {
        char what[64];
        std::snprintf(what, sizeof what, "holds the control byte 0x%02X (a binary file?)",
                      static_cast<unsigned char>(*bad));
        check.problems.emplace_back(line, what);
    }
    const size_t limit = ZEMConfigMgr::MAX_LINE;
    if (text.size() > limit) {
        check.problems.emplace_back(line, "is " + std::to_string(text.size()) +
                                              " characters long, over the limit of " +
                                              std::to_string(limit) + ": read as several lines");
    }
    // The manager reads a line in pieces of at most limit bytes, the newline included.
    const size_t size = bytes.size() + (newline ? 1 : 0);
    for (size_t pieces = (size + limit - 1) / limit; pieces > 0; --pieces)
        check.fileLine.push_back(line);
}

// Reads the file's bytes as they are: the lines over the limit and those holding control
// characters, and where each piece the manager reads as a line lies; false when unreadable.
bool ScanBytes(const char* path, Check& check) {
    std::ifstream file(zemcli::FsPath(path), std::ios::binary);
    if (!file) return false;
    unsigned line = 1;
    std::string bytes;
    for (char c; file.get(c);) {
        if (c != '\n') {
            bytes += c;
            continue;
        }
        CheckBytes(bytes, true, line++, check);
        bytes.clear();
    }
    if (!bytes.empty()) CheckBytes(bytes, false, line, check);
    return !file.bad();
}

// The file's line of the manager's line number (1-based).
unsigned FileLine(const Check& check, unsigned number) {
    return number - 1 < check.fileLine.size() ? check.fileLine[number - 1] : number;
}

void ShowLine(unsigned number, const char* name, const char* value, void* user) {
    Check& check = *static_cast<Check*>(user);
    ++check.count;
    if (*value) {
        std::printf("line %u: name \"%s\", value \"%s\"\n", number, zemcli::Printable(name).c_str(),
                    zemcli::Printable(value).c_str());
    } else {
        std::printf("line %u: name \"%s\", no value\n", number, zemcli::Printable(name).c_str());
    }
    const unsigned line = FileLine(check, number);
    const char* why = nullptr;
    if (!*name) {
        why = "has an empty name (it starts with a blank)";
    } else if (*name == '[') {
        why = "looks like a [section], which the manager does not know: read as a name";
    } else if (std::strchr(name, '=') || *value == '=') {
        why = "uses '=', which the manager does not know: write 'name value'";
    } else if (!*value) {
        why = "has no value: the manager skips it";
    }
    if (why) check.problems.emplace_back(line, why);
}

int Check(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc != 2)
        return zemcli::UsageError("config check takes one FILE (see 'zem config --help')");
    const char* path = argv[1];
    struct Check check;
    if (!ScanBytes(path, check) || !ZEMConfigMgr::ScanFile(path, ShowLine, &check)) {
        return zemcli::Fail(std::string("cannot read '") + zemcli::Printable(path) + "'");
    }
    if (check.count == 0) std::printf("%s: no parameter lines\n", zemcli::Printable(path).c_str());
    if (!zemcli::Flushed()) return 1;
    // A line the manager reads in pieces would otherwise be told once per piece.
    std::stable_sort(check.problems.begin(), check.problems.end(),
                     [](const Problem& a, const Problem& b) { return a.first < b.first; });
    auto& problems = check.problems;
    problems.erase(std::unique(problems.begin(), problems.end()), problems.end());
    const std::string file = zemcli::Printable(path) + ": line ";
    for (size_t i = 0; i < problems.size() && i < SHOWN_PROBLEMS; ++i)
        zemcli::Warn(file + std::to_string(problems[i].first) + " " + problems[i].second);
    if (problems.size() > SHOWN_PROBLEMS) {
        zemcli::Warn(zemcli::Printable(path) + ": " +
                     std::to_string(problems.size() - SHOWN_PROBLEMS) + " more problems");
    }
    return check.problems.empty() ? 0 : 1;
}

} // namespace

int ZemConfig(int argc, char** argv) {
    const zemcli::Command commands[] = {{"check", Check}};
    return zemcli::RunCommand("config", commands, Help, argc, argv);
}
