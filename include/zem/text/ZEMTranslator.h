#ifndef ZEM_TEXT_ZEMTRANSLATOR_H
#define ZEM_TEXT_ZEMTRANSLATOR_H

#include <zem/core/ZEMExport.h>

#include <cstdint>

// The program's interface texts in the user's language, served by number from one language file
// ("LanG") of a directory that holds one file per language. One translator serves the process.
class ZEM_API ZEMTranslator {
public:
    // One language file found by Init.
    struct LangFile {
        char* name; // the language name from the file's header
        char* path; // the file's full path
    };

    // The process's translator, made on first use; deleting it lets the next call make a new one.
    static ZEMTranslator* Singleton();

    ZEMTranslator();
    ~ZEMTranslator();
    ZEMTranslator(const ZEMTranslator&) = delete;
    ZEMTranslator& operator=(const ZEMTranslator&) = delete;

    // Lists the language files of `dir` whose names end with `suffix` (any case; null or "" for
    // every file); drops the loaded language. Returns the number listed.
    int Init(const char* dir, const char* suffix);
    // The language name a language file declares, as a new array; null when it is no such file.
    char* CheckLang(const char* file) const;
    // Name and full path of listed file i; null when i is not below the number listed.
    const char* GetLangName(unsigned i) const;
    const char* GetLangFile(unsigned i) const;
    // Loads the first listed file that declares exactly this name.
    bool LoadName(const char* name);
    // Loads the named file, or listed file `index` when `file` is null.
    bool Load(const char* file, unsigned index);
    // Name and path of the loaded language; null when none is loaded.
    const char* GetCurName() const;
    const char* GetCurFile() const;
    // String `id` of the loaded language (null when absent), or "String #<id>" beyond them in
    // a buffer that the next such call overwrites.
    const char* GetString(unsigned id);
    // Number of strings of the loaded language.
    unsigned NbStrings() const { return m_nbStrings; }
    // Drops the list of language files and the directory.
    void DeleteFileArray();
    // Drops the loaded strings, file and name.
    void DeleteStringArray();
    // A new copy of at most `count` characters of s from s[start]; null for null or empty s.
    char* StrCopy(const char* s, unsigned start, unsigned count) const;
    // True for "X:\...", "\..." and "/..." paths.
    bool IsAbsolute(const char* path) const;
    // Dumps the list and the loaded language, with its strings when asked, to the log.
    void PrintInfo(bool withStrings) const;

private:
    bool AddFile(char* name, const char* path);

    char* m_dir;
    char* m_curFile;
    char* m_curName;
    char** m_strings;
    char* m_stringData;
    LangFile* m_files;
    uint32_t m_nbFiles;
    uint32_t m_filesCapacity;
    uint32_t m_nbStrings;
    int32_t m_curIndex;
    char m_missingText[20];

    static ZEMTranslator* m_instance;
};

#endif
