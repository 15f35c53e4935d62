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
    unsigned GetPos() const override { return Pos(); }
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

private:
    uint32_t Pos() const { return uint32_t(cur - data); }
    bool Readable() const { return state == ST_OK && (mode & READ) && !eof; }
    // Every change of the state goes through here, to keep readEnd true: data + size while reads
    // are allowed (state ST_OK, READ access), else data. The position is cur.
    void SetState(unsigned code);
    // Starts a transfer of n bytes with the given access: returns where the bytes are and cuts n
    // to what is left (setting shortState); null when the transfer is refused.
    unsigned char* Claim(unsigned& n, unsigned access, unsigned shortState);

    bool own = false;              // the block is released on close
    unsigned char* data = nullptr; // null when closed
    uint32_t size = 0;
};

#endif
