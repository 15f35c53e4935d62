#include <zem/core/ZEMLog.h>
#include <zem/core/ZEMString.h>
#include <zem/stream/ZEMSaveFile.h>
#include <zem/text/ZEMConfigMgr.h>
#include <zem/text/ZEMParse.h>

#include "core/ZEMBisect.h"
#include "platform/ZEMPlatform.h"

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <string>

namespace {

const unsigned MIN_CAPACITY = 4;
const unsigned ALL = ~0u;

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
}

// Letters folded to lower case, then byte values.
int CompareNoCase(const char* a, const char* b) {
    for (;; ++a, ++b) {
        unsigned char ca = static_cast<unsigned char>(LowerAscii(*a));
        unsigned char cb = static_cast<unsigned char>(LowerAscii(*b));
        if (ca != cb || ca == 0) return int(ca) - int(cb);
    }
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

bool BeginsWithDash(const char* arg) {
    return arg && arg[0] == '-';
}

// "1..." or exactly "true" or "yes", ASCII case ignored.
bool BoolText(const char* text) {
    return text[0] == '1' || CompareNoCase(text, "true") == 0 || CompareNoCase(text, "yes") == 0;
}

void FreeString(ZEMConfigMgr::CfgCell& cell) {
    if (cell.type != ZEMConfigMgr::TYPE_STRING) return;
    delete[] cell.value.stringValue;
    cell.value.stringValue = nullptr;
}

// Replaces the cell's string; the copy is made first, so `text` may be the old string itself.
void StoreString(ZEMConfigMgr::CfgCell& cell, const char* text) {
    char* copy = ZEMString::StringCopy(text, 0, ALL);
    delete[] cell.value.stringValue;
    cell.value.stringValue = copy;
}

// Arguments argv[first] to argv[last - 1] joined with one space each, as a new array.
char* JoinArguments(char** argv, int first, int last) {
    size_t length = 0;
    for (int i = first; i < last; ++i)
        length += strlen(argv[i]) + 1;
    char* joined = new (std::nothrow) char[length + 1];
    if (!joined) return nullptr;
    char* out = joined;
    for (int i = first; i < last; ++i) {
        if (i > first) *out++ = ' ';
        size_t n = strlen(argv[i]);
        memcpy(out, argv[i], n);
        out += n;
    }
    *out = 0;
    return joined;
}

bool LocalTime(unsigned long date, struct tm& out) {
    time_t seconds = time_t(uint32_t(date));
#ifdef _WIN32
    return localtime_s(&out, &seconds) == 0;
#else
    return localtime_r(&seconds, &out) != nullptr;
#endif
}

// "%g" as in the C locale, whatever locale the host has set, so that ReadFloat reads it back.
void AppendFloat(std::string& text, float value) {
    char digits[32];
#ifdef __EMSCRIPTEN__
    // Its C library has no locale but "C", and its libc++ no floating-point to_chars.
    snprintf(digits, sizeof digits, "%g", double(value));
    text += digits;
#else
    std::to_chars_result r =
        std::to_chars(digits, digits + sizeof digits, double(value), std::chars_format::general, 6);
    if (r.ec == std::errc()) text.append(digits, size_t(r.ptr - digits));
#endif
}

// The text with the system's line ends, as a file written in text mode has them.
std::string WithLineEnds(const std::string& text) {
    if (ZEM::Platform::LINE_END[1] == '\0') return text;
    std::string lines;
    for (char c : text) {
        if (c == '\n') {
            lines += ZEM::Platform::LINE_END;
        } else {
            lines += c;
        }
    }
    return lines;
}

// The text of an int, float, colour or date cell read into it; false, the cell unchanged, when
// the text is not such a value (or the cell is of another type).
bool ReadValue(ZEMConfigMgr::CfgCell& cell, const char* text) {
    switch (cell.type) {
    case ZEMConfigMgr::TYPE_INT:
        return ZEMParse::ReadInt(text, cell.value.intValue) != nullptr;
    case ZEMConfigMgr::TYPE_FLOAT:
        return ZEMParse::ReadFloat(text, cell.value.floatValue) != nullptr;
    case ZEMConfigMgr::TYPE_DATE:
        return ZEMParse::ReadDate(text, cell.value.dateValue);
    case ZEMConfigMgr::TYPE_COLOR: {
        // Opaque unless the text gives an alpha.
        unsigned char rgba[4] = {0, 0, 0, 255};
        if (!ZEMParse::ReadColor(text, rgba)) return false;
        memcpy(cell.value.colorValue, rgba, sizeof rgba);
        return true;
    }
    default:
        return false;
    }
}

// The name of a value type in messages.
const char* ValueName(int type) {
    static const char* const NAMES[] = {"none", "bool", "int", "float", "string", "color", "date"};
    return type >= 0 && type < int(sizeof NAMES / sizeof NAMES[0]) ? NAMES[type] : "unknown";
}

void ReportUnknownType(int type) {
    ZEM::LOG("Config: unknown value type %d\n", type);
}

// Reads the value of the option argv[i] into its cell; i ends on the last argument consumed.
bool ReadArgument(ZEMConfigMgr::CfgCell& cell, int argc, char** argv, int& i) {
    const char* option = argv[i];
    const bool last = i + 1 >= argc;
    const char* next = last ? nullptr : argv[i + 1];
    switch (cell.type) {
    case ZEMConfigMgr::TYPE_BOOL:
        cell.value.boolValue = last || BeginsWithDash(next) || BoolText(next);
        if (!last && !BeginsWithDash(next)) ++i;
        return true;
    case ZEMConfigMgr::TYPE_INT:
    case ZEMConfigMgr::TYPE_FLOAT:
    case ZEMConfigMgr::TYPE_DATE: {
        bool read = !last && ReadValue(cell, next);
        if (!last) ++i;
        if (!read) ZEM::LOG("Config: missing value for param %s\n", option);
        return read;
    }
    case ZEMConfigMgr::TYPE_STRING: {
        if (last) {
            ZEM::LOG("Config: missing value for param %s\n", option);
            return false;
        }
        // The next argument is the value whatever it begins with; the words after it run up
        // to the next option.
        int end = i + 2;
        while (end < argc && !BeginsWithDash(argv[end]))
            ++end;
        char* joined = JoinArguments(argv, i + 1, end);
        i = end - 1;
        if (!joined) return false;
        StoreString(cell, joined);
        delete[] joined;
        return true;
    }
    case ZEMConfigMgr::TYPE_COLOR: {
        if (last || next[0] != '#') {
            ZEM::LOG("Config: missing value for param %s\n", option);
            return false;
        }
        ++i;
        return ReadValue(cell, next);
    }
    default:
        ReportUnknownType(cell.type);
        return true;
    }
}

struct ScanState {
    ZEMConfigMgr* manager;
    bool stored;
};

} // namespace

ZEMConfigMgr::ZEMConfigMgr(unsigned size) : m_count(0), m_capacity(0), m_cells(nullptr) {
    unsigned capacity = size < MIN_CAPACITY ? MIN_CAPACITY : size;
    m_cells = new (std::nothrow) CfgCell[capacity]();
    if (m_cells) m_capacity = capacity;
}

ZEMConfigMgr::~ZEMConfigMgr() {
    for (unsigned i = 0; i < m_count; ++i) {
        FreeString(m_cells[i]);
        delete[] m_cells[i].name;
    }
    delete[] m_cells;
}

bool ZEMConfigMgr::Find(const char* name, unsigned& index) const {
    if (!name || !*name) return false;
    return ZEM::Bisect(
        m_count, [&](uint32_t i) { return CompareNoCase(name, m_cells[i].name); }, index);
}

bool ZEMConfigMgr::Grow() {
    unsigned capacity = m_capacity ? m_capacity * 2 : MIN_CAPACITY;
    if (capacity <= m_capacity) return false;
    CfgCell* cells = new (std::nothrow) CfgCell[capacity]();
    if (!cells) return false;
    for (unsigned i = 0; i < m_count; ++i)
        cells[i] = m_cells[i];
    delete[] m_cells;
    m_cells = cells;
    m_capacity = capacity;
    return true;
}

bool ZEMConfigMgr::AddParameter(const char* name, int type, CfgValue value) {
    unsigned index = 0;
    if (!name || !*name || Find(name, index)) return false;
    if (m_count == m_capacity && !Grow()) return false;
    char* nameCopy = ZEMString::StringCopy(name, 0, ALL);
    if (!nameCopy) return false;
    if (index > m_count) index = m_count;
    for (unsigned i = m_count; i > index; --i)
        m_cells[i] = m_cells[i - 1];
    CfgCell& cell = m_cells[index];
    cell.name = nameCopy;
    cell.type = type;
    cell.value = value;
    if (type == TYPE_STRING)
        cell.value.stringValue = ZEMString::StringCopy(value.stringValue, 0, ALL);
    ++m_count;
    return true;
}

bool ZEMConfigMgr::RemoveParameter(const char* name) {
    unsigned index = 0;
    if (m_count == 0 || !Find(name, index)) return false;
    FreeString(m_cells[index]);
    delete[] m_cells[index].name;
    for (unsigned i = index + 1; i < m_count; ++i)
        m_cells[i - 1] = m_cells[i];
    --m_count;
    m_cells[m_count] = CfgCell();
    return true;
}

int ZEMConfigMgr::ParamType(const char* name) const {
    const CfgCell* cell = GetCell(name);
    return cell ? cell->type : TYPE_NONE;
}

ZEMConfigMgr::CfgCell* ZEMConfigMgr::GetCell(const char* name) const {
    unsigned index = 0;
    return Find(name, index) ? &m_cells[index] : nullptr;
}

ZEMConfigMgr::CfgValue ZEMConfigMgr::GetValue(const char* name, int) const {
    const CfgCell* cell = GetCell(name);
    if (cell) return cell->value;
    CfgValue zero;
    memset(&zero, 0, sizeof zero);
    return zero;
}

bool ZEMConfigMgr::SetValue(const char* name, int type, CfgValue value, bool changeType) {
    CfgCell* cell = GetCell(name);
    if (!cell) return false;
    if (type != cell->type) {
        if (!changeType) return false;
        // Only a string cell owns memory: the bits of any other type are not a pointer.
        FreeString(*cell);
        cell->type = type;
        if (type == TYPE_STRING) cell->value.stringValue = nullptr;
    }
    if (type == TYPE_STRING) {
        StoreString(*cell, value.stringValue);
    } else {
        cell->value = value;
    }
    return true;
}

bool ZEMConfigMgr::ParseCL(int argc, char** argv) {
    if (!argv) return true;
    bool clean = true;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        CfgCell* cell = arg[0] == '-' ? GetCell(arg + 1) : nullptr;
        if (arg[0] != '-') {
            ZEM::LOG("Config: ignored value %s\n", arg);
            clean = false;
        } else if (!cell) {
            ZEM::LOG("Config: unknown parameter %s\n", arg);
            clean = false;
        } else if (!ReadArgument(*cell, argc, argv, i)) {
            clean = false;
        }
    }
    return clean;
}

bool ZEMConfigMgr::ScanFile(const char* name, LineVisitor visit, void* user) {
    FILE* file = ZEM::Platform::OpenFile(name, "r");
    if (!file) return false;
    char line[MAX_LINE + 1];
    unsigned number = 0;
    while (fgets(line, sizeof line, file)) {
        ++number;
        size_t length = strlen(line);
        if (length > 0 && line[length - 1] == '\n') {
            line[--length] = 0;
            // A file written on Windows reads here as it would there in text mode.
            if (length > 0 && line[length - 1] == '\r') line[--length] = 0;
        }
        if (length == 0 || line[0] == '#') continue;
        char* key = line[0] == '-' ? line + 1 : line;
        char* value = key;
        while (*value && !IsBlank(*value))
            ++value;
        if (*value) *value++ = 0;
        while (IsBlank(*value))
            ++value;
        visit(number, key, value, user);
    }
    fclose(file);
    return true;
}

void ZEMConfigMgr::VisitLine(unsigned, const char* name, const char* value, void* user) {
    ScanState& state = *static_cast<ScanState*>(user);
    state.manager->SetFromLine(name, value, state.stored);
}

void ZEMConfigMgr::SetFromLine(const char* name, const char* value, bool& stored) {
    CfgCell* cell = GetCell(name);
    if (!cell) {
        ZEM::LOG("Config: unknown parameter %s\n", name);
        return;
    }
    if (!*value) {
        ZEM::LOG("Config: missing value for param %s\n", name);
        return;
    }
    bool read = true;
    switch (cell->type) {
    case TYPE_BOOL:
        cell->value.boolValue = BoolText(value);
        break;
    case TYPE_INT:
    case TYPE_FLOAT:
    case TYPE_COLOR:
    case TYPE_DATE:
        read = ReadValue(*cell, value);
        if (!read) {
            ZEM::LOG("Config: bad %s value for param %s : %s\n", ValueName(cell->type), name,
                     value);
        }
        break;
    case TYPE_STRING:
        StoreString(*cell, value);
        break;
    default:
        ReportUnknownType(cell->type);
        read = false;
        break;
    }
    if (read) stored = true;
}

bool ZEMConfigMgr::ParseFile(const char* name) {
    ScanState state = {this, false};
    return ScanFile(name, VisitLine, &state) && state.stored;
}

const char* ZEMConfigMgr::ColorText(const unsigned char* rgba) {
    static char text[8];
    text[0] = '#';
    ZEMParse::Dec2Hexa(rgba, 3, text + 1);
    text[7] = 0;
    return text;
}

bool ZEMConfigMgr::Save(const char* name, const char* header) const {
    std::string text = "#\n";
    if (header) text = text + "# " + header + "\n";
    text += "# Configuration file\n#\n\n";
    for (unsigned i = 0; i < m_count; ++i) {
        const CfgCell& cell = m_cells[i];
        text = text + cell.name + "\t";
        const CfgValue& value = cell.value;
        struct tm local;
        char number[64];
        switch (cell.type) {
        case TYPE_BOOL:
            text += value.boolValue ? "true" : "false";
            break;
        case TYPE_INT:
            snprintf(number, sizeof number, "%d", value.intValue);
            text += number;
            break;
        case TYPE_FLOAT:
            AppendFloat(text, value.floatValue);
            break;
        case TYPE_STRING:
            // A null string writes no value: reading the file back leaves the parameter alone.
            if (value.stringValue) text += value.stringValue;
            break;
        case TYPE_COLOR:
            text += ColorText(value.colorValue);
            break;
        case TYPE_DATE:
            if (!LocalTime(value.dateValue, local)) break;
            snprintf(number, sizeof number, "%4d/%02d/%02d %02d:%02d:%02d", local.tm_year + 1900,
                     local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
            text += number;
            break;
        default:
            break;
        }
        text += "\n";
    }
    const std::string lines = WithLineEnds(text);
    ZEMSaveFile file(name, true);
    return file.Write(lines.data(), unsigned(lines.size())) == lines.size() && file.Commit();
}

void ZEMConfigMgr::PrintInfo() const {
    static const char* const DAYS[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const MONTHS[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    ZEM::LOG("Configuration (%d parameters):\n", int(m_count));
    for (unsigned i = 0; i < m_count; ++i) {
        const CfgCell& cell = m_cells[i];
        const CfgValue& value = cell.value;
        ZEM::LOG("- %s (", cell.name);
        struct tm t;
        switch (cell.type) {
        case TYPE_BOOL:
            ZEM::LOG("bool): %s\n", value.boolValue ? "true" : "false");
            break;
        case TYPE_INT:
            ZEM::LOG("int): %d\n", value.intValue);
            break;
        case TYPE_FLOAT:
            ZEM::LOG("float): %f\n", double(value.floatValue));
            break;
        case TYPE_STRING:
            ZEM::LOG("string): %s\n", value.stringValue ? value.stringValue : "(null)");
            break;
        case TYPE_COLOR:
            ZEM::LOG("color): %s [%d, %d, %d, %d]\n", ColorText(value.colorValue),
                     value.colorValue[0], value.colorValue[1], value.colorValue[2],
                     value.colorValue[3]);
            break;
        case TYPE_DATE:
            if (!LocalTime(value.dateValue, t)) memset(&t, 0, sizeof t);
            // The calendar text form of the C library, independent of the locale.
            ZEM::LOG("date): %s %s %2d %02d:%02d:%02d %d\n (%lu)\n", DAYS[t.tm_wday % 7],
                     MONTHS[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec,
                     t.tm_year + 1900, (unsigned long)uint32_t(value.dateValue));
            break;
        default:
            break;
        }
    }
}
