#ifndef ZEM_TOOLS_ZEMLANGFILE_H
#define ZEM_TOOLS_ZEMLANGFILE_H

// Making language files, which the library only reads: the source text form (one string per
// line) and the binary layout. Used by 'zem lang build' and by the tour.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace zemlang {

// The strings of one language by number; an empty optional is an absent string.
using Strings = std::vector<std::optional<std::string>>;

// A string's length in the file counts its terminator in 16 bits; the name's in 8 bits.
constexpr size_t MAX_STRING = 0xFFFF - 1;
constexpr size_t MAX_NAME = 0xFF - 1;

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

inline void PutU32(std::string& out, uint32_t v) {
    for (int shift = 0; shift < 32; shift += 8)
        out += char(v >> shift & 0xFF);
}

// The bytes of a language file: header, name, counts, length table, then the string data.
// False with a message when the name or the strings do not fit the format.
inline bool BuildFile(const std::string& name, const Strings& strings, std::string& bytes,
                      std::string& error) {
    if (name.empty() || name.size() > MAX_NAME || name.find('\0') != std::string::npos) {
        error = "the language name must have 1 to " + std::to_string(MAX_NAME) +
                " bytes and no zero byte";
        return false;
    }
    std::string lengths, data;
    for (const std::optional<std::string>& s : strings) {
        size_t length = s ? s->size() + 1 : 0;
        if (length > MAX_STRING + 1 || (s && s->find('\0') != std::string::npos)) {
            error = "string " + std::to_string(lengths.size() / 2) + " cannot be stored";
            return false;
        }
        lengths += char(length & 0xFF);
        lengths += char(length >> 8);
        if (s) data.append(s->c_str(), length);
    }
    const uint64_t tableOffset = 22 + name.size() + 1;
    const uint64_t dataOffset = tableOffset + lengths.size();
    if (dataOffset + data.size() > 0xFFFFFFFFu) {
        error = "the strings do not fit in a language file";
        return false;
    }
    bytes.assign("LanG");
    bytes += '\0';
    bytes += char(name.size() + 1);
    bytes.append(name.c_str(), name.size() + 1);
    PutU32(bytes, uint32_t(strings.size()));
    PutU32(bytes, uint32_t(tableOffset));
    PutU32(bytes, uint32_t(dataOffset));
    PutU32(bytes, uint32_t(data.size()));
    bytes += lengths;
    bytes += data;
    return true;
}

// Builds the file and writes it to `path`.
inline bool WriteFile(const char* path, const std::string& name, const Strings& strings,
                      std::string& error) {
    std::string bytes;
    if (!BuildFile(name, strings, bytes, error)) return false;
    FILE* out = std::fopen(path, "wb");
    if (!out) {
        error = std::string("cannot create '") + path + "'";
        return false;
    }
    bool written = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    if (std::fclose(out) != 0) written = false;
    if (!written) error = std::string("cannot write '") + path + "'";
    return written;
}

} // namespace zemlang

#endif
