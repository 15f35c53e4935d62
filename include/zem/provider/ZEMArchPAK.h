#ifndef ZEM_PROVIDER_ZEMARCHPAK_H
#define ZEM_PROVIDER_ZEMARCHPAK_H

#include <zem/provider/ZEMArchive.h>

// The PAK archive of Quake 1 and 2: the header "PACK", directory offset and directory length;
// member data; one 64-byte record per member (a 56-byte name, offset, size). No dates.
class ZEM_API ZEMArchPAK : public ZEMArchive {
public:
    ZEMArchPAK() : ZEMArchive(2) {}

    // "Id Software Quake 1/2 Archive.".
    const char* FormatInfo() const override;
    // Writes the 12-byte empty archive at path (which must not exist) and opens it.
    bool Create(const char* path) override;
    // Reads the header and directory of the PAK archive at path; false when the file is not one
    // or its directory does not lie within the file (the object then keeps what it had).
    bool Open(const char* path) override;

protected:
    unsigned NameLength() const override { return 56; }
    unsigned RecordSize() const override { return 64; }
    bool DecodeHeader(const uint8_t* header, uint32_t& dirOffset, uint64_t& dirBytes,
                      uint32_t& count, std::string& why) const override;
    bool StoresDates() const override { return false; }
    void EncodeHeader(uint8_t* out, uint32_t dirOffset, uint32_t count) const override;
    void EncodeRecord(const ArchiveEntry& entry, uint8_t* out) const override;
    unsigned DecodeRecord(const uint8_t* in, ArchiveEntry& entry) const override;
};

#endif
