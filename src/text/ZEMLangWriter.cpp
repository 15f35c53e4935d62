#include <zem/text/ZEMLangWriter.h>

#include <zem/stream/ZEMSaveFile.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

void PutU32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8)
        out += char(value >> shift & 0xFF);
}

} // namespace

bool ZEMLangWriter::Fail(const std::string& why) {
    lastError = why;
    return false;
}

bool ZEMLangWriter::SetName(const char* text) {
    const size_t length = text ? strlen(text) : 0;
    if (length == 0 || length > MAX_NAME) {
        return Fail("the language name must have 1 to " + std::to_string(MAX_NAME) +
                    " bytes and no zero byte");
    }
    name = text;
    return true;
}

bool ZEMLangWriter::Add(const char* text) {
    if (text && strlen(text) > MAX_STRING) {
        return Fail("string " + std::to_string(strings.size()) + " is longer than " +
                    std::to_string(MAX_STRING) + " bytes");
    }
    strings.push_back({text != nullptr, text ? text : ""});
    return true;
}

bool ZEMLangWriter::Save(ZEMResFile& file) {
    if (name.empty()) return Fail("the language has no name");
    // Header, name, counts, length table, then the string data.
    std::string lengths;
    std::string data;
    for (const Entry& entry : strings) {
        const size_t length = entry.present ? entry.text.size() + 1 : 0;
        lengths += char(length & 0xFF);
        lengths += char(length >> 8);
        if (entry.present) data.append(entry.text.c_str(), length);
    }
    const uint64_t tableOffset = 22 + name.size() + 1;
    const uint64_t dataOffset = tableOffset + lengths.size();
    if (dataOffset + data.size() > 0xFFFFFFFFu) {
        return Fail("the strings do not fit in a language file");
    }
    std::string bytes("LanG");
    bytes += '\0';
    bytes += char(name.size() + 1);
    bytes.append(name.c_str(), name.size() + 1);
    PutU32(bytes, uint32_t(strings.size()));
    PutU32(bytes, uint32_t(tableOffset));
    PutU32(bytes, uint32_t(dataOffset));
    PutU32(bytes, uint32_t(data.size()));
    bytes += lengths;
    bytes += data;
    if (file.Write(bytes.data(), unsigned(bytes.size())) == bytes.size()) return true;
    return Fail("cannot write the language file");
}

bool ZEMLangWriter::Save(const char* path) {
    ZEMSaveFile file(path, true);
    if (file.IsOK() && !Save(file) && !*file.LastError()) return false; // Save said why
    if (file.Commit()) return true;
    return Fail(std::string("cannot write '") + (path ? path : "") + "': " + file.LastError());
}
