#include "ZemCli.h"
#include "ZemLangFile.h"

#include <zem/text/ZEMLatin1.h>
#include <zem/text/ZEMTranslator.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

int Help() {
    std::printf(
        "usage: zem lang build TEXT -o FILE --name NAME [--encoding latin1|utf-8] [--force]\n"
        "       zem lang list DIR [--suffix SUFFIX]\n"
        "       zem lang dump FILE\n\n"
        "Language files hold the interface texts of one language, served by number.\n\n"
        "  build  writes FILE from TEXT, a text file with one string per line: string 0 is\n"
        "         the first line, an empty line is an absent string, and \\n and \\\\ stand\n"
        "         for a line break and a backslash. NAME (UTF-8) is the language's name.\n"
        "         The file holds Latin-1: TEXT is read as UTF-8 when it is valid UTF-8 with a\n"
        "         byte above 127, else as Latin-1 (--encoding tells which); a character\n"
        "         outside Latin-1 is refused with its line and column. An existing FILE is\n"
        "         replaced only with --force.\n"
        "  list   lists the language files of DIR (those whose names end with SUFFIX, in any\n"
        "         case, such as .lng), one per line: language name, tab, path.\n"
        "  dump   shows a language file's name and its strings in UTF-8, written as build\n"
        "         reads them; an absent string shows as (absent).\n");
    return 0;
}

const char BUILD_USAGE[] = "lang build TEXT -o FILE --name NAME [--encoding latin1|utf-8] "
                           "[--force] (see 'zem lang --help')";
const char LIST_USAGE[] = "lang list DIR [--suffix SUFFIX] (see 'zem lang --help')";

// The text after an option such as "-o"; false when it is missing.
bool OptionValue(int argc, char** argv, int& i, const char*& value) {
    if (i + 1 >= argc) return false;
    value = argv[++i];
    return true;
}

// The input text file's bytes; false (said) for a folder, a missing or unreadable file or an
// empty one.
bool ReadInput(const char* input, std::string& bytes) {
    const std::filesystem::path path = zemcli::FsPath(input);
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        zemcli::Fail(std::string("'") + input + "' is a folder, not a text file");
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const bool exists = std::filesystem::exists(path, error);
        zemcli::Fail(std::string("cannot read '") + input + "'" + (exists ? "" : ": no such file"));
        return false;
    }
    std::ostringstream text;
    text << in.rdbuf();
    bytes = text.str();
    if (bytes.empty()) {
        zemcli::Fail(std::string("'") + input + "' is empty: there is no string to store");
        return false;
    }
    return true;
}

// Where the character at the stop stands in the text: "FILE:LINE:COLUMN", counted from 1.
std::string Place(const char* input, const std::string& text, const ZEMLatin1::Stop& stop) {
    const size_t lineStart = text.rfind('\n', stop.offset == 0 ? 0 : stop.offset - 1);
    const size_t from = lineStart == std::string::npos || stop.offset == 0 ? 0 : lineStart + 1;
    const size_t line = 1 + size_t(std::count(text.begin(), text.begin() + long(from), '\n'));
    size_t column = 1;
    for (size_t i = from; i < stop.offset; ++i)
        column += (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80; // UTF-8 lead bytes
    return std::string(input) + ":" + std::to_string(line) + ":" + std::to_string(column);
}

// The input as Latin-1: UTF-8 text (told, or valid UTF-8 with a byte above 127) is converted,
// anything else taken as Latin-1. False (said) at a character that Latin-1 lacks.
bool ToLatin1(const char* input, const std::string& encoding, std::string& text) {
    const bool utf8 =
        encoding == "utf-8" || (encoding.empty() && ZEMLatin1::LooksUtf8(text.data(), text.size()));
    if (!utf8) return true;
    // The byte-order mark of editors that write one is no character of the text.
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::string latin1;
    ZEMLatin1::Stop stop;
    if (!ZEMLatin1::FromUtf8(text.data(), text.size(), latin1, &stop)) {
        zemcli::Fail(zemcli::NotLatin1(Place(input, text, stop), stop));
        return false;
    }
    text = std::move(latin1);
    return true;
}

int Build(int argc, char** argv) {
    if (zemcli::WantsHelp(argc, argv, 1)) return Help();
    const char* input = nullptr;
    const char* output = nullptr;
    const char* name = nullptr;
    const char* encoding = "";
    bool force = false;
    for (int i = 1; i < argc; ++i) {
        bool known = true;
        if (std::strcmp(argv[i], "--force") == 0) {
            force = true;
        } else if (std::strcmp(argv[i], "-o") == 0) {
            known = OptionValue(argc, argv, i, output);
        } else if (std::strcmp(argv[i], "--name") == 0) {
            known = OptionValue(argc, argv, i, name);
        } else if (std::strcmp(argv[i], "--encoding") == 0) {
            known = OptionValue(argc, argv, i, encoding) &&
                    (std::strcmp(encoding, "latin1") == 0 || std::strcmp(encoding, "utf-8") == 0);
        } else if (!input && argv[i][0] != '-') {
            input = argv[i];
        } else {
            known = false;
        }
        if (!known) return zemcli::UsageError(BUILD_USAGE);
    }
    if (!input || !output || !name) return zemcli::UsageError(BUILD_USAGE);
    if (!zemcli::MayWrite(output, force)) return 1;
    std::string text;
    if (!ReadInput(input, text) || !ToLatin1(input, encoding, text)) return 1;
    // The name comes from the terminal, in UTF-8.
    std::string latin1Name;
    ZEMLatin1::Stop stop;
    if (!ZEMLatin1::FromUtf8(name, std::strlen(name), latin1Name, &stop))
        return zemcli::Fail(
            zemcli::NotLatin1("NAME, character " + std::to_string(stop.character + 1), stop));

    zemlang::Strings strings;
    std::string error;
    if (!zemlang::ParseText(text, strings, error)) {
        return zemcli::Fail(std::string(input) + ": " + error);
    }
    ZEMLangWriter writer;
    bool built = writer.SetName(latin1Name.c_str());
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

// Latin-1 text for the terminal, in UTF-8: line breaks escaped, other control characters shown
// as '?'.
std::string Printable(const char* text) {
    const std::string escaped = zemlang::Escape(text);
    return zemcli::Printable(ZEMLatin1::ToUtf8(escaped.data(), escaped.size()).c_str());
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
    if (!std::filesystem::is_directory(zemcli::FsPath(dir), ignored)) {
        return zemcli::Fail(std::string("'") + dir + "' is not a directory");
    }
    ZEMTranslator translator;
    int count = translator.Init(dir, suffix);
    for (int i = 0; i < count; ++i)
        std::printf("%s\t%s\n", Printable(translator.GetLangName(i)).c_str(),
                    zemcli::Printable(translator.GetLangFile(i)).c_str());
    return 0;
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
    std::printf("file     : %s\nlanguage : %s\nstrings  : %u\n",
                zemcli::Printable(translator.GetCurFile()).c_str(),
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
