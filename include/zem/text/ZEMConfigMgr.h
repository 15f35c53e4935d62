#ifndef ZEM_TEXT_ZEMCONFIGMGR_H
#define ZEM_TEXT_ZEMCONFIGMGR_H

#include <zem/core/ZEMExport.h>

// A program's named, typed parameters: declared with defaults, then read from the command line
// and configuration files, changed by name, saved back and dumped to the log.
class ZEM_API ZEMConfigMgr {
public:
    // Value type numbers; 0 stands for an undeclared parameter.
    enum ValueType {
        TYPE_NONE = 0,
        TYPE_BOOL = 1,
        TYPE_INT = 2,
        TYPE_FLOAT = 3,
        TYPE_STRING = 4,
        TYPE_COLOR = 5,
        TYPE_DATE = 6
    };

    // One value; the type number kept beside it tells which member is valid.
    union CfgValue {
        bool boolValue;              // TYPE_BOOL
        int intValue;                // TYPE_INT
        float floatValue;            // TYPE_FLOAT
        char* stringValue;           // owned by the manager once stored
        unsigned char colorValue[4]; // red, green, blue, alpha
        unsigned long dateValue;     // seconds since 1970-01-01 00:00 UTC
    };

    // One parameter.
    struct CfgCell {
        char* name;     // owned copy
        int type;       // ValueType number
        CfgValue value; // the value of that type
    };

    // Called by ScanFile for each line that names a parameter: the line number (1-based, a line
    // cut at the buffer length counts twice), the name and the value text ("" when none).
    typedef void (*LineVisitor)(unsigned line, const char* name, const char* value, void* user);

    // Longest line read from a configuration file, without its terminator; the rest of a longer
    // line is read as the next line.
    static const unsigned MAX_LINE = 1023;

    // An empty table with room for `size` parameters (at least 4).
    explicit ZEMConfigMgr(unsigned size);
    ~ZEMConfigMgr();
    ZEMConfigMgr(const ZEMConfigMgr&) = delete;
    ZEMConfigMgr& operator=(const ZEMConfigMgr&) = delete;

    // Declares a parameter with its default; false when the name is null, empty or declared.
    bool AddParameter(const char* name, int type, CfgValue value);
    // Removes a parameter with its name and string; false when it is not declared.
    bool RemoveParameter(const char* name);
    // The parameter's type number, 0 when it is not declared.
    int ParamType(const char* name) const;
    // The parameter's cell, null when not declared; valid until the next add or remove.
    CfgCell* GetCell(const char* name) const;
    // The parameter's value (a string stays owned here); all zero when not declared.
    CfgValue GetValue(const char* name, int type) const;
    // Stores a value; another type is taken only when changeType is true.
    bool SetValue(const char* name, int type, CfgValue value, bool changeType);
    // Case-insensitive bisection: the parameter's index, or where it would be inserted.
    bool Find(const char* name, unsigned& index) const;

    // Reads "-name value" arguments after argv[0]; true when every argument was used cleanly.
    bool ParseCL(int argc, char** argv);
    // Reads "name value" lines; true when at least one value was set.
    bool ParseFile(const char* name);
    // Writes every parameter as a configuration file, replacing the file whole (ZEMSaveFile);
    // false, the old file untouched, when it cannot be written.
    bool Save(const char* name, const char* header) const;
    // Dumps every parameter to the log.
    void PrintInfo() const;

    // Splits the lines of a configuration file as ParseFile does, skipping empty and comment
    // lines, and hands each to `visit`; false when the file cannot be opened.
    static bool ScanFile(const char* name, LineVisitor visit, void* user);
    // "#RRGGBB" for a red, green, blue colour, in one buffer that every call overwrites.
    static const char* ColorText(const unsigned char* rgba);

private:
    bool Grow();
    void SetFromLine(const char* name, const char* value, bool& stored);

    static void VisitLine(unsigned line, const char* name, const char* value, void* user);

    unsigned m_count;
    unsigned m_capacity;
    CfgCell* m_cells;
};

#endif
