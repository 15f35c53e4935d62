#include <zem/provider/ZEMArchZEM.h>

#include <zem/stream/ZEMFile.h>

#include <cstring>

namespace {

constexpr uint32_t HEADER_SIZE = 12;
constexpr unsigned NAME_FIELD = 32;

} // namespace

const char* ZEMArchZEM::FormatInfo() const {
    return "ZEM Archive v1.00";
}

bool ZEMArchZEM::Create(const char* path) {
    return CreateEmpty(path);
}

bool ZEMArchZEM::Open(const char* path) {
    if (!path || !*path) return false;
    ZEMFile file(path, ZEMResFile::READ);
    uint8_t header[HEADER_SIZE];
    // A header cut short is refused rather than read as zeros.
    if (file.Read(header, HEADER_SIZE) != HEADER_SIZE || memcmp(header, "ZEMA", 4) != 0) {
        return false;
    }
    uint32_t dirOffset = GetLE32(header + 4);
    uint32_t count = GetLE32(header + 8);
    if (count == 0) {
        file.Close();
        Close();
        SetName(path);
        return true;
    }
    file.SeekEnd();
    uint64_t fileSize = file.GetPos();
    if (dirOffset < HEADER_SIZE || dirOffset > fileSize ||
        dirOffset + uint64_t(count) * RecordSize() > fileSize) {
        return false;
    }
    if (!SeekTo(file, dirOffset) || !LoadDirectory(file, count, path)) return false;
    dataEnd = dirOffset;
    return true;
}

void ZEMArchZEM::EncodeHeader(uint8_t* out, uint32_t dirOffset, uint32_t count) const {
    memcpy(out, "ZEMA", 4);
    PutLE32(out + 4, dirOffset);
    PutLE32(out + 8, count);
}

void ZEMArchZEM::EncodeRecord(const ArchiveEntry& entry, uint8_t* out) const {
    memset(out, 0, NAME_FIELD);
    memcpy(out, entry.name, strnlen(entry.name, NameLength()));
    PutLE32(out + 32, entry.size);
    PutLE32(out + 36, entry.offset);
    PutLE32(out + 40, entry.date);
}

unsigned ZEMArchZEM::DecodeRecord(const uint8_t* in, ArchiveEntry& entry) const {
    entry.size = GetLE32(in + 32);
    entry.offset = GetLE32(in + 36);
    entry.date = GetLE32(in + 40);
    // The field's last byte ends the name whatever it holds.
    return unsigned(strnlen(reinterpret_cast<const char*>(in), NameLength()));
}
