#ifndef ZEM_PROVIDER_ZEMARCHZEM_H
#define ZEM_PROVIDER_ZEMARCHZEM_H

#include <zem/provider/ZEMArchive.h>

// The library's own archive format: the header "ZEMA", directory offset and count; the members'
// bytes back to back from offset 12; then one 44-byte record per member (a 32-byte name of at most
// 31 characters, size, offset, date).
class ZEM_API ZEMArchZEM : public ZEMArchive {
public:
    ZEMArchZEM() : ZEMArchive(1) {}

    // "ZEM Archive v1.00".
    const char* FormatInfo() const override;
    // Writes the 12-byte empty archive at path (which must not exist) and opens it.
    bool Create(const char* path) override;
    // Reads the header and directory of the ZEM archive at path; false when the file is not one
    // or its header does not fit its size (the object then keeps what it had).
    bool Open(const char* path) override;

protected:
    unsigned NameLength() const override { return 31; }
    unsigned RecordSize() const override { return 44; }
    bool DecodeHeader(const uint8_t* header, uint32_t& dirOffset, uint64_t& dirBytes,
                      uint32_t& count, std::string& why) const override;
    bool StoresDates() const override { return true; }
    void EncodeHeader(uint8_t* out, uint32_t dirOffset, uint32_t count) const override;
    void EncodeRecord(const ArchiveEntry& entry, uint8_t* out) const override;
    unsigned DecodeRecord(const uint8_t* in, ArchiveEntry& entry) const override;
};

#endif
