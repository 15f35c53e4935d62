#include <zem/provider/ZEMArchPAK.h>

#include <zem/stream/ZEMFile.h>

#include <algorithm>
#include <cstring>

const char* ZEMArchPAK::FormatInfo() const {
    return "Id Software Quake 1/2 Archive.";
}

bool ZEMArchPAK::Create(const char* path) {
    return CreateEmpty(path);
}

bool ZEMArchPAK::Open(const char* path) {
    ZEMFile file(nullptr, 0);
    uint32_t dirOffset = 0;
    uint32_t dirLength = 0;
    uint64_t fileSize = 0;
    if (!ReadHeader(file, path, "PACK", dirOffset, dirLength, fileSize)) return false;
    if (dirOffset > fileSize || uint64_t(dirOffset) + dirLength > fileSize) return false;
    if (!SeekTo(file, dirOffset) || !LoadDirectory(file, dirLength / RecordSize(), path)) {
        return false;
    }
    // New members go behind the member that ends last, and never past the end of the file,
    // whatever a hostile record claims.
    uint32_t end = HEADER_SIZE;
    for (const ArchiveEntry* entry : entries) {
        uint64_t memberEnd = std::min<uint64_t>(uint64_t(entry->offset) + entry->size, fileSize);
        end = std::max(end, uint32_t(memberEnd));
    }
    dataEnd = end;
    return true;
}

void ZEMArchPAK::EncodeHeader(uint8_t* out, uint32_t dirOffset, uint32_t count) const {
    memcpy(out, "PACK", 4);
    PutLE32(out + 4, dirOffset);
    PutLE32(out + 8, count * RecordSize());
}

void ZEMArchPAK::EncodeRecord(const ArchiveEntry& entry, uint8_t* out) const {
    memset(out, 0, NameLength());
    memcpy(out, entry.name, strnlen(entry.name, NameLength()));
    PutLE32(out + 56, entry.offset);
    PutLE32(out + 60, entry.size);
}

unsigned ZEMArchPAK::DecodeRecord(const uint8_t* in, ArchiveEntry& entry) const {
    entry.offset = GetLE32(in + 56);
    entry.size = GetLE32(in + 60);
    entry.date = 0;
    // A name that fills its field has no terminator.
    return unsigned(strnlen(reinterpret_cast<const char*>(in), NameLength()));
}
