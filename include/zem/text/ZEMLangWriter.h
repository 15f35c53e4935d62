#ifndef ZEM_TEXT_ZEMLANGWRITER_H
#define ZEM_TEXT_ZEMLANGWRITER_H

#include <zem/core/ZEMExport.h>

#include <string>
#include <vector>

class ZEMResFile;

// Writes a language file ("LanG"), which ZEMTranslator reads: the language's name and its
// strings by number, some of them absent.
class ZEM_API ZEMLangWriter {
public:
    // Longest string and name, in bytes: the file counts their terminators in 16 and 8 bits.
    static const unsigned MAX_STRING = 0xFFFF - 1;
    static const unsigned MAX_NAME = 0xFF - 1;

    // The language's name, as the translator lists it; false (LastError says why) when it is
    // empty or longer than MAX_NAME.
    bool SetName(const char* name);
    // Appends the next string; null for an absent one. False when it is longer than MAX_STRING.
    bool Add(const char* text);
    // Writes the file at path, replacing it whole (ZEMSaveFile); false when the name is missing,
    // the strings do not fit the format, or the file cannot be written (LastError says why, with
    // the system's words): the old file is then untouched.
    bool Save(const char* path);
    // Writes the file's bytes to a stream the caller opened.
    bool Save(ZEMResFile& file);

    // The strings added so far.
    unsigned NbStrings() const { return unsigned(strings.size()); }
    // Why the last call that failed did.
    const char* LastError() const { return lastError.c_str(); }

private:
    struct Entry {
        bool present;
        std::string text;
    };
    bool Fail(const std::string& why);

    std::string name;
    std::vector<Entry> strings;
    std::string lastError;
};

#endif
