#include <zem/provider/ZEMArchPAK.h>

#include <cstring>
#include <string>

const char* ZEMArchPAK::FormatInfo() const {
    return "Id Software Quake 1/2 Archive.";
}

bool ZEMArchPAK::Create(const char* path) {
    return CreateEmpty(path);
}

bool ZEMArchPAK::Open(const char* path) {
    return Load(path);
}

bool ZEMArchPAK::DecodeHeader(const uint8_t* header, uint64_t fileSize, uint32_t& dirOffset,
                              uint32_t& count, std::string& why) const {
    if (memcmp(header, "PACK", 4) != 0) {
        why = "not a PAK archive";
        return false;
    }
    dirOffset = GetLE32(header + 4);
    const uint32_t length = GetLE32(header + 8);
    // A remainder of less than a record is ignored.
    count = length / RecordSize();
    if (uint64_t(dirOffset) + length > fileSize) {
        why = "damaged: its directory (" + std::to_string(length) + " bytes at offset " +
              std::to_string(dirOffset) + ") does not lie inside the file (" +
              std::to_string(fileSize) + " bytes)";
        return false;
    }
    if (count > 0 && dirOffset < HEADER_SIZE) {
        why = "damaged: its directory overlaps the header";
        return false;
    }
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
