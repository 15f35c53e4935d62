#include "ZemCli.h"
#include "ZemLangFile.h"

#include <zem/text/ZEMTranslator.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

int Help() {
    std::printf(
        "usage: zem lang build TEXT -o FILE --name NAME [--force]\n"
        "       zem lang list DIR [--suffix SUFFIX]\n"
        "       zem lang dump FILE\n\n"
        "Language files hold the interface texts of one language, served by number.\n\n"
        "  build  writes FILE from TEXT, a UTF-8 or 8-bit text file with one string per line:\n"
        "         string 0 is the first line, an empty line is an absent string, and \\n and\n"
        "         \\\\ stand for a line break and a backslash. NAME is the language's name.\n"
        "         An existing FILE is replaced only with --force.\n"
        "  list   lists the language files of DIR (those whose names end with SUFFIX, in any\n"
        "         case, such as .lng), one per line: language name, tab, path.\n"
        "  dump   shows a language file's name and its strings, written as build reads them;\n"
        "         an absent string shows as (absent).\n");
    return 0;
}

const char BUILD_USAGE[] = "lang build TEXT -o FILE --name NAME [--force] (see 'zem lang --help')";
const char LIST_USAGE[] = "lang list DIR [--suffix SUFFIX] (see 'zem lang --help')";

// The text after an option such as "-o"; false when it is missing.
bool OptionValue(int argc, char** argv, int& i, const char*& value) {
    if (i + 1 >= argc) return false;
    value = argv[++i];
    return true;
}

int Build(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    const char* input = nullptr;
    const char* output = nullptr;
    const char* name = nullptr;
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        bool known = true;
        if (std::strcmp(argv[i], "--force") == 0) {
            force = true;
        } else if (std::strcmp(argv[i], "-o") == 0) {
            known = OptionValue(argc, argv, i, output);
        } else if (std::strcmp(argv[i], "--name") == 0) {
            known = OptionValue(argc, argv, i, name);
        } else if (!input && argv[i][0] != '-') {
            input = argv[i];
        } else {
            known = false;
        }
        if (!known) return zemcli::UsageError(BUILD_USAGE);
    }
    if (!input || !output || !name) return zemcli::UsageError(BUILD_USAGE);
    if (!zemcli::MayWrite(output, force)) return 1;
    std::ifstream in(input, std::ios::binary);
    if (!in) return zemcli::Fail(std::string("cannot read '") + input + "'");
    std::ostringstream text;
    text << in.rdbuf();

    zemlang::Strings strings;
    std::string error;
    if (!zemlang::ParseText(text.str(), strings, error)) {
        return zemcli::Fail(std::string(input) + ": " + error);
    }
    ZEMLangWriter writer;
    bool built = writer.SetName(name);
    for (size_t i = 0; built && i < strings.size(); ++i)
        built = writer.Add(strings[i] ? strings[i]->c_str() : nullptr);
    if (!built) return zemcli::Fail(writer.LastError());
    const int written =
        zemcli::WriteOutput(output, force, [&](ZEMResFile& file) { return writer.Save(file); });
    if (written != 0) return written;
    size_t absent = 0;
    for (const auto& s : strings)
        absent += s ? 0 : 1;
    std::printf("%s: language '%s', %zu strings (%zu absent)\n", output, name, strings.size(),
                absent);
    return 0;
}

int List(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    const char* dir = nullptr;
    const char* suffix = nullptr;
    for (int i = 1; i < argc; ++i) {
        bool known = true;
        if (std::strcmp(argv[i], "--suffix") == 0) {
            known = OptionValue(argc, argv, i, suffix);
        } else if (!dir) {
            dir = argv[i];
        } else {
            known = false;
        }
        if (!known) return zemcli::UsageError(LIST_USAGE);
    }
    if (!dir) return zemcli::UsageError(LIST_USAGE);
    std::error_code ignored;
    if (!std::filesystem::is_directory(dir, ignored)) {
        return zemcli::Fail(std::string("'") + dir + "' is not a directory");
    }
    ZEMTranslator translator;
    int count = translator.Init(dir, suffix);
    for (int i = 0; i < count; ++i)
        std::printf("%s\t%s\n", translator.GetLangName(i), translator.GetLangFile(i));
    return 0;
}

// Line breaks are escaped, other control characters shown as '?'.
std::string Printable(const char* text) {
    return zemcli::Printable(zemlang::Escape(text).c_str());
}

int Dump(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    if (argc != 2) return zemcli::UsageError("lang dump takes one FILE (see 'zem lang --help')");
    ZEMTranslator translator;
    if (!translator.Load(argv[1], 0)) {
        return zemcli::Fail(std::string("cannot load the language file '") + argv[1] +
                            "' (missing, not a language file, or damaged)");
    }
    const unsigned count = translator.NbStrings();
    std::printf("file     : %s\nlanguage : %s\nstrings  : %u\n", translator.GetCurFile(),
                Printable(translator.GetCurName()).c_str(), count);
    for (unsigned i = 0; i < count; ++i) {
        const char* s = translator.GetString(i);
        std::printf("[%u] %s\n", i, s ? Printable(s).c_str() : "(absent)");
    }
    return 0;
}

} // namespace

int ZemLang(int argc, char** argv) {
    const zemcli::Command commands[] = {{"build", Build}, {"list", List}, {"dump", Dump}};
    return zemcli::RunCommand("lang", commands, Help, argc, argv);
}
