#ifndef ZEM_TOOLS_ZEMLANGFILE_H
#define ZEM_TOOLS_ZEMLANGFILE_H

// The source text form of language files (one string per line), which 'zem lang build' reads
// and 'zem lang dump' writes; ZEMLangWriter writes the files themselves.

#include <zem/text/ZEMLangWriter.h>

#include <optional>
#include <string>
#include <vector>

namespace zemlang {

// The strings of one language by number; an empty optional is an absent string.
using Strings = std::vector<std::optional<std::string>>;

constexpr size_t MAX_STRING = ZEMLangWriter::MAX_STRING;

// One line of source text with its escapes "\n" and "\\" undone; any other backslash stays.
inline std::string Unescape(const std::string& line) {
    std::string text;
    for (size_t i = 0; i < line.size(); ++i) {
        char next = i + 1 < line.size() ? line[i + 1] : 0;
        if (line[i] == '\\' && (next == 'n' || next == '\\')) {
            text += next == 'n' ? '\n' : '\\';
            ++i;
        } else {
            text += line[i];
        }
    }
    return text;
}

// A string in the source form, so that it reads back the same: the inverse of Unescape.
inline std::string Escape(const std::string& text) {
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            line += "\\n";
        } else if (c == '\\') {
            line += "\\\\";
        } else {
            line += c;
        }
    }
    return line;
}

// Source text: one string per line (LF or CR LF), an empty line for an absent string, a UTF-8
// byte-order mark at the start ignored. False with a message for a line that cannot be stored.
inline bool ParseText(const std::string& text, Strings& strings, std::string& error) {
    strings.clear();
    size_t start = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::string number = std::to_string(strings.size() + 1);
        if (line.find('\0') != std::string::npos) {
            error = "line " + number + " holds a zero byte";
            return false;
        }
        std::string string = Unescape(line);
        if (string.size() > MAX_STRING) {
            error = "line " + number + " is longer than " + std::to_string(MAX_STRING) + " bytes";
            return false;
        }
        if (line.empty()) {
            strings.emplace_back();
        } else {
            strings.emplace_back(std::move(string));
        }
        start = end + 1;
    }
    return true;
}

} // namespace zemlang

#endif
