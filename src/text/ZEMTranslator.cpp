#include <zem/core/ZEMLog.h>
#include <zem/core/ZEMString.h>
#include <zem/provider/ZEMFileUtils.h>
#include <zem/text/ZEMTranslator.h>

#include "platform/ZEMPlatform.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

namespace {

const char MAGIC[4] = {'L', 'a', 'n', 'G'};
const char MISSING_PREFIX[] = "String #";
// Paths are built as in a buffer of 260 characters, terminator included; longer ones are refused.
const size_t MAX_PATH_LENGTH = 259;
// Offset of the name in a language file, and the size of the four numbers that follow it.
const long NAME_OFFSET = 6;
const uint64_t COUNTS_SIZE = 16;

// Closes a file on every way out.
class FileCloser {
public:
    explicit FileCloser(FILE* file) : file_(file) {}
    ~FileCloser() {
        if (file_) fclose(file_);
    }
    FileCloser(const FileCloser&) = delete;
    FileCloser& operator=(const FileCloser&) = delete;

private:
    FILE* file_;
};

bool ReadBytes(FILE* file, void* out, size_t size) {
    return fread(out, 1, size, file) == size;
}

bool ReadU32(FILE* file, uint32_t& value) {
    unsigned char b[4];
    if (!ReadBytes(file, b, 4)) return false;
    value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// Checks the magic and reads the name length; false for anything but a language file or a name
// length of 0.
bool ReadHeader(FILE* file, uint8_t& nameLength) {
    unsigned char head[6];
    if (!ReadBytes(file, head, sizeof head) || memcmp(head, MAGIC, sizeof MAGIC) != 0) return false;
    nameLength = head[5];
    return nameLength != 0;
}

// The name that follows the header, as a new array; null when the file ends first or the name
// is not terminated within its length.
char* ReadName(FILE* file, uint8_t length) {
    char* name = new (std::nothrow) char[length];
    if (!name) return nullptr;
    if (!ReadBytes(file, name, length) || !memchr(name, 0, length)) {
        delete[] name;
        return nullptr;
    }
    return name;
}

uint64_t FileSize(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0) return 0;
    long size = ftell(file);
    return size < 0 ? 0 : uint64_t(size);
}

bool Seek(FILE* file, uint64_t offset) {
    return fseek(file, long(offset), SEEK_SET) == 0;
}

bool EqualNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? char(*a - 'A' + 'a') : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? char(*b - 'A' + 'a') : *b;
        if (ca != cb) return false;
        if (ca == 0) return true;
    }
}

// `dir` given relative to the working directory, as a full path; "." and ".." are understood.
bool FullDirectory(const char* dir, std::string& path) {
    if (!ZEM::Platform::GetCurrentDir(path)) return false;
    if (strcmp(dir, ".") == 0) return true;
    if (strcmp(dir, "..") == 0) {
        size_t cut = path.size();
        while (cut > 0 && !ZEM::Platform::IsSeparator(path[cut - 1]))
            --cut;
        // The parent of a top-level directory is the root, whose separator stays.
        if (cut > 1) --cut;
        if (cut > 0) path.resize(cut);
        return true;
    }
    path += ZEM::Platform::SEPARATOR;
    path += ZEM::Platform::NativePath(dir);
    return true;
}

// Where one string lies in the data, or null when it does not lie whole inside it or has no
// terminator there.
char* StringAt(char* data, uint64_t size, uint64_t offset, uint16_t length) {
    if (length == 0 || offset + length > size) return nullptr;
    return memchr(data + offset, 0, length) ? data + offset : nullptr;
}

} // namespace

ZEMTranslator* ZEMTranslator::m_instance = nullptr;

ZEMTranslator* ZEMTranslator::Singleton() {
    if (!m_instance) m_instance = new (std::nothrow) ZEMTranslator();
    return m_instance;
}

ZEMTranslator::ZEMTranslator()
    : m_dir(nullptr), m_curFile(nullptr), m_curName(nullptr), m_strings(nullptr),
      m_stringData(nullptr), m_files(nullptr), m_nbFiles(0), m_filesCapacity(0), m_nbStrings(0),
      m_curIndex(-1), m_missingText() {
    memcpy(m_missingText, MISSING_PREFIX, sizeof MISSING_PREFIX);
}

ZEMTranslator::~ZEMTranslator() {
    DeleteFileArray();
    DeleteStringArray();
    // A translator made outside Singleton() leaves the process's one alone.
    if (m_instance == this) m_instance = nullptr;
}

void ZEMTranslator::DeleteFileArray() {
    for (uint32_t i = 0; i < m_nbFiles; ++i) {
        delete[] m_files[i].name;
        delete[] m_files[i].path;
    }
    delete[] m_files;
    m_files = nullptr;
    m_nbFiles = 0;
    m_filesCapacity = 0;
    delete[] m_dir;
    m_dir = nullptr;
}

void ZEMTranslator::DeleteStringArray() {
    delete[] m_strings;
    m_strings = nullptr;
    delete[] m_stringData;
    m_stringData = nullptr;
    m_nbStrings = 0;
    delete[] m_curFile;
    m_curFile = nullptr;
    delete[] m_curName;
    m_curName = nullptr;
}

char* ZEMTranslator::StrCopy(const char* s, unsigned start, unsigned count) const {
    return ZEMString::StringCopy(s, start, count);
}

bool ZEMTranslator::IsAbsolute(const char* path) const {
    return ZEMFileUtils::IsAbsolute(path);
}

bool ZEMTranslator::AddFile(char* name, const char* path) {
    if (m_nbFiles == m_filesCapacity) {
        LangFile* files = new (std::nothrow) LangFile[m_filesCapacity + 4];
        if (!files) return false;
        for (uint32_t i = 0; i < m_nbFiles; ++i)
            files[i] = m_files[i];
        delete[] m_files;
        m_files = files;
        m_filesCapacity += 4;
    }
    char* pathCopy = StrCopy(path, 0, ~0u);
    if (!pathCopy) return false;
    m_files[m_nbFiles].name = name;
    m_files[m_nbFiles].path = pathCopy;
    ++m_nbFiles;
    return true;
}

int ZEMTranslator::Init(const char* dir, const char* suffix) {
    DeleteFileArray();
    DeleteStringArray();
    m_curIndex = -1;
    if (!dir || !*dir) return 0;
    std::string path;
    if (IsAbsolute(dir)) {
        path = ZEM::Platform::NativePath(dir);
    } else if (!FullDirectory(dir, path)) {
        return 0;
    }
    if (!ZEM::Platform::IsSeparator(path.back())) path += ZEM::Platform::SEPARATOR;
    std::string mask = path + "*" + (suffix ? suffix : "");
    if (mask.size() > MAX_PATH_LENGTH) return 0;
    m_dir = StrCopy(path.c_str(), 0, ~0u);

    ZEM::Platform::Search search;
    ZEM::Platform::FindEntry entry;
    const unsigned skipped = ZEM::Platform::ATTR_HIDDEN | ZEM::Platform::ATTR_DIRECTORY;
    for (bool found = search.First(mask.c_str(), entry); found; found = search.Next(entry)) {
        if (entry.name[0] == '.' || (entry.attributes & skipped)) continue;
        std::string file = path + entry.name;
        if (file.size() > MAX_PATH_LENGTH) continue;
        char* name = CheckLang(file.c_str());
        if (name && !AddFile(name, file.c_str())) delete[] name;
    }
    return int(m_nbFiles);
}

char* ZEMTranslator::CheckLang(const char* file) const {
    FILE* in = ZEM::Platform::OpenFile(file, "rb");
    if (!in) return nullptr;
    FileCloser closer(in);
    uint8_t nameLength = 0;
    return ReadHeader(in, nameLength) ? ReadName(in, nameLength) : nullptr;
}

const char* ZEMTranslator::GetLangName(unsigned i) const {
    return i < m_nbFiles ? m_files[i].name : nullptr;
}

const char* ZEMTranslator::GetLangFile(unsigned i) const {
    return i < m_nbFiles ? m_files[i].path : nullptr;
}

bool ZEMTranslator::LoadName(const char* name) {
    if (!name) return false;
    for (uint32_t i = 0; i < m_nbFiles; ++i) {
        if (strcmp(m_files[i].name, name) == 0) return Load(nullptr, i);
    }
    return false;
}

bool ZEMTranslator::Load(const char* file, unsigned index) {
    std::string path;
    int32_t newIndex = -1;
    if (!file) {
        if (index >= m_nbFiles) return false;
        path = m_files[index].path;
        newIndex = int32_t(index);
    } else {
        // In the system's form, as Init lists paths: the file then finds its list entry and is
        // reported as the system names it, whichever separator the caller wrote.
        if (IsAbsolute(file)) {
            path = ZEM::Platform::NativePath(file);
        } else if (!ZEM::Platform::GetCurrentDir(path)) {
            return false;
        } else {
            path = path + ZEM::Platform::SEPARATOR + ZEM::Platform::NativePath(file);
        }
        if (path.size() > MAX_PATH_LENGTH) return false;
        for (uint32_t i = 0; i < m_nbFiles; ++i) {
            if (EqualNoCase(m_files[i].path, path.c_str())) newIndex = int32_t(i);
        }
    }

    FILE* in = ZEM::Platform::OpenFile(path.c_str(), "rb");
    if (!in) return false;
    FileCloser closer(in);
    uint8_t nameLength = 0;
    if (!ReadHeader(in, nameLength)) return false;
    char* name = nullptr;
    if (file && !(name = ReadName(in, nameLength))) return false;
    std::unique_ptr<char[]> nameOwner(name);

    // The four numbers, and whether what they describe lies inside the file.
    uint32_t count = 0, tableOffset = 0, dataOffset = 0, dataSize = 0;
    const uint64_t countsOffset = uint64_t(NAME_OFFSET) + nameLength;
    const uint64_t fileSize = FileSize(in);
    if (countsOffset + COUNTS_SIZE > fileSize || !Seek(in, countsOffset) || !ReadU32(in, count) ||
        !ReadU32(in, tableOffset) || !ReadU32(in, dataOffset) || !ReadU32(in, dataSize)) {
        return false;
    }
    const uint64_t tableSize = uint64_t(count) * 2;
    if (uint64_t(tableOffset) + tableSize > fileSize || uint64_t(dataOffset) + dataSize > fileSize)
        return false;

    std::unique_ptr<char*[]> strings(new (std::nothrow) char*[count]());
    std::unique_ptr<char[]> data(new (std::nothrow) char[dataSize]);
    std::unique_ptr<unsigned char[]> lengths(new (std::nothrow) unsigned char[tableSize]);
    if (!strings || !data || !lengths) return false;
    if (!Seek(in, tableOffset) || !ReadBytes(in, lengths.get(), tableSize) ||
        !Seek(in, dataOffset) || !ReadBytes(in, data.get(), dataSize)) {
        return false;
    }
    // Only strings that lie whole in the data and are terminated there are handed out.
    uint64_t offset = 0;
    for (uint32_t i = 0; i < count; ++i) {
        uint16_t length = uint16_t(lengths[2 * i] | lengths[2 * i + 1] << 8);
        strings[i] = StringAt(data.get(), dataSize, offset, length);
        offset += length;
    }

    // The previous language goes only now: a file refused on the way leaves it loaded.
    DeleteStringArray();
    m_strings = strings.release();
    m_stringData = data.release();
    m_nbStrings = count;
    m_curFile = StrCopy(path.c_str(), 0, ~0u);
    m_curName = nameOwner.release();
    m_curIndex = newIndex;
    return true;
}

const char* ZEMTranslator::GetCurName() const {
    // The index is only trusted while the list it points into is there.
    if (m_curIndex >= 0 && uint32_t(m_curIndex) < m_nbFiles) return m_files[m_curIndex].name;
    return m_curName;
}

const char* ZEMTranslator::GetCurFile() const {
    return m_curFile;
}

const char* ZEMTranslator::GetString(unsigned id) {
    if (id < m_nbStrings) return m_strings[id];
    snprintf(m_missingText + sizeof MISSING_PREFIX - 1,
             sizeof m_missingText - (sizeof MISSING_PREFIX - 1), "%d", int(id));
    return m_missingText;
}

void ZEMTranslator::PrintInfo(bool withStrings) const {
    if (m_nbFiles > 0) {
        ZEM::LOG("Path : %s\nFiles:\n", m_dir);
        for (uint32_t i = 0; i < m_nbFiles; ++i)
            ZEM::LOG("-[%d] %s (%s)\n", int(i), m_files[i].name, m_files[i].path);
    }
    if (m_nbStrings == 0) {
        ZEM::LOG("No file loaded.\n");
        return;
    }
    const char* name = GetCurName();
    ZEM::LOG("Lang file : %s\nLanguage  : %s\nStrings   : %d\n", m_curFile, name ? name : "(null)",
             int(m_nbStrings));
    if (!withStrings) return;
    ZEM::LOG("Strings:\n");
    for (uint32_t i = 0; i < m_nbStrings; ++i)
        ZEM::LOG("-[%d] %s\n", int(i), m_strings[i] ? m_strings[i] : "(null)");
}
