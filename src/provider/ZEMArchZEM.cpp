#include <zem/provider/ZEMArchZEM.h>

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
    return Load(path);
}

bool ZEMArchZEM::DecodeHeader(const uint8_t* header, uint32_t& dirOffset, uint64_t& dirBytes,
                              uint32_t& count, std::string& why) const {
    if (memcmp(header, "ZEMA", 4) != 0) {
        why = "not a ZEM archive";
        return false;
    }
    count = GetLE32(header + 8);
    // An empty directory is taken wherever its offset points.
    dirOffset = count ? GetLE32(header + 4) : HEADER_SIZE;
    dirBytes = uint64_t(count) * RecordSize();
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
