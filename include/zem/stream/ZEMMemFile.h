#ifndef ZEM_STREAM_ZEMMEMFILE_H
#define ZEM_STREAM_ZEMMEMFILE_H

#include <zem/stream/ZEMResFile.h>

// A stream over a fixed-size memory block, supplied by the caller (borrowed or handed over) or
// allocated by the stream. The block never grows: writes stop at its end.
class ZEM_API ZEMMemFile : public ZEMResFile {
public:
    // Starts closed, then runs Open with the same arguments; check IsOK().
    ZEMMemFile(unsigned size, unsigned mode, unsigned char* data = nullptr, bool own = false,
               const char* name = nullptr);
    ~ZEMMemFile() override;

    // Opens over data (released with delete[] on close when own is true), or over a new zeroed
    // block of size bytes owned by the stream when data is null. TRUNCATE or CREATE zero the
    // block. Without a name the stream is called "Memory file". Fails for size 0.
    bool Open(unsigned size, unsigned mode, unsigned char* data = nullptr, bool own = false,
              const char* name = nullptr);

    // Closes the stream and releases an owned block.
    void Close() override;
    // Moves within the block; the end itself is reached by SeekEnd only.
    bool Seek(int offset, int whence) override;
    void SeekStart() override;
    // Position at the end, state ST_SEEK_ERROR: transfers are refused until the next seek.
    void SeekEnd() override;
    unsigned GetPos() const override { return pos; }
    // Nothing to write out.
    void Flush() override;
    unsigned GetLine(char* buffer, unsigned size, char terminator) override;
    unsigned GetLine(ZEMString& line, unsigned size, char terminator) override;
    unsigned Read(void* buffer, unsigned size) override;
    unsigned Write(const void* buffer, unsigned size) override;
    void PrintInfo() const override;

    // The block (null when closed) and its size.
    unsigned char* GetData() const { return data; }
    unsigned GetSize() const { return size; }

    // Typed reads, as those of ZEMResFile, served straight from the block.
    uint8_t Read8() { return Take(1) ? data[pos - 1] : ZEMResFile::Read8(); }
    uint16_t Read16() { return Take(2) ? GetLE16(data + pos - 2) : ZEMResFile::Read16(); }
    uint16_t ReadBE16() { return Take(2) ? GetBE16(data + pos - 2) : ZEMResFile::ReadBE16(); }
    uint32_t Read32() { return Take(4) ? GetLE32(data + pos - 4) : ZEMResFile::Read32(); }
    uint32_t ReadBE32() { return Take(4) ? GetBE32(data + pos - 4) : ZEMResFile::ReadBE32(); }
    float ReadFl() { return Take(4) ? GetFl(data + pos - 4) : ZEMResFile::ReadFl(); }
    double ReadDbl() { return Take(8) ? GetDbl(data + pos - 8) : ZEMResFile::ReadDbl(); }

private:
    bool Readable() const { return state == ST_OK && (mode & READ) && !eof; }
    // Consumes n bytes when they are all there; otherwise leaves the short read to Read.
    bool Take(unsigned n) {
        if (!Readable() || size - pos < n) return false;
        pos += n;
        eof = pos >= size;
        return true;
    }

    bool own = false;              // the block is released on close
    unsigned char* data = nullptr; // null when closed
    uint32_t size = 0;
    uint32_t pos = 0; // 0 <= pos <= size
};

#endif
