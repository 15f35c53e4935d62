#include <zem/provider/ZEMArchZEM.h>

#include <zem/stream/ZEMFile.h>

#include <cstring>

namespace {

constexpr unsigned NAME_FIELD = 32;

} // namespace

const char* ZEMArchZEM::FormatInfo() const {
    return "ZEM Archive v1.00";
}

bool ZEMArchZEM::Create(const char* path) {
    return CreateEmpty(path);
}

bool ZEMArchZEM::Open(const char* path) {
    ZEMFile file(nullptr, 0);
    uint32_t dirOffset = 0;
    uint32_t count = 0;
    uint64_t fileSize = 0;
    if (!ReadHeader(file, path, "ZEMA", dirOffset, count, fileSize)) return false;
    // An empty directory is taken wherever its offset points; new members then go from 12 on.
    if (count == 0) return LoadDirectory(file, 0, path);
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
