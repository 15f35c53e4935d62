#ifndef ZEM_STREAM_ZEMMEMFILE_H
#define ZEM_STREAM_ZEMMEMFILE_H

#include <zem/stream/ZEMResFile.h>

#include <cstddef>

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

    // Typed reads, as those of ZEMResFile, served straight from the block.
    uint8_t Read8() { return Typed<1>(Get8); }
    uint16_t Read16() { return Typed<2>(GetLE16); }
    uint16_t ReadBE16() { return Typed<2>(GetBE16); }
    uint32_t Read32() { return Typed<4>(GetLE32); }
    uint32_t ReadBE32() { return Typed<4>(GetBE32); }
    float ReadFl() { return Typed<4>(GetFl); }
    double ReadDbl() { return Typed<8>(GetDbl); }

private:
    uint32_t Pos() const { return uint32_t(cur - data); }
    bool Readable() const { return state == ST_OK && (mode & READ) && !eof; }
    // Every change of the state goes through here, to keep readEnd true.
    void SetState(unsigned code);
    // Starts a transfer of n bytes with the given access: returns where the bytes are and cuts n
    // to what is left (setting shortState); null when the transfer is refused.
    unsigned char* Claim(unsigned& n, unsigned access, unsigned shortState);

    // A value of N bytes. The common case, bytes that are there and reads allowed with more
    // data after them, takes one comparison; the rest (a short or refused read, or the read that
    // reaches the end and sets the end flag) is one Read as the stream interface makes it.
    template <unsigned N, class T>
    T Typed(T (*decode)(const uint8_t*)) {
        if (readEnd - cur <= std::ptrdiff_t(N)) {
            uint8_t bytes[N];
            return Read(bytes, N) == N ? decode(bytes) : T(0);
        }
        const unsigned char* at = cur;
        cur += N;
        return decode(at);
    }

    bool own = false;              // the block is released on close
    unsigned char* data = nullptr; // null when closed
    uint32_t size = 0;
    unsigned char* cur = nullptr; // the position: data <= cur <= data + size
    // data + size while reads are allowed (state ST_OK, READ access), else data: the typed reads
    // need one comparison to know that their bytes are there and theirs to take.
    const unsigned char* readEnd = nullptr;
};

#endif
