#include <zem/provider/ZEMArchPAK.h>

#include <cstring>

const char* ZEMArchPAK::FormatInfo() const {
    return "Id Software Quake 1/2 Archive.";
}

bool ZEMArchPAK::Create(const char* path) {
    return CreateEmpty(path);
}

bool ZEMArchPAK::Open(const char* path) {
    return Load(path);
}

bool ZEMArchPAK::DecodeHeader(const uint8_t* header, uint32_t& dirOffset, uint64_t& dirBytes,
                              uint32_t& count, std::string& why) const {
    if (memcmp(header, "PACK", 4) != 0) {
        why = "not a PAK archive";
        return false;
    }
    dirOffset = GetLE32(header + 4);
    dirBytes = GetLE32(header + 8);
    // A remainder of less than a record is ignored.
    count = uint32_t(dirBytes / RecordSize());
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
