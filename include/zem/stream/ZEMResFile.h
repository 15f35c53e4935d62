#ifndef ZEM_STREAM_ZEMRESFILE_H
#define ZEM_STREAM_ZEMRESFILE_H

#include <zem/core/ZEMExport.h>
#include <zem/core/ZEMString.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

// The abstract byte stream through which every file format of the library is read and written,
// whatever holds the bytes (a disk file, a memory block, a range of a file). Nothing throws:
// failures give 0 or false and leave a state code in the stream. Reads and writes are accepted
// only in state ST_OK with the matching access.
class ZEM_API ZEMResFile {
public:
    // Open-mode bits: the two low bits select access; the others are honoured by disk files.
    static constexpr unsigned READ = 0x01;
    static constexpr unsigned WRITE = 0x02;
    static constexpr unsigned TRUNCATE = 0x04; // with read/write access: empty the file
    static constexpr unsigned CREATE = 0x08;   // with write access: fail if the file exists
    static constexpr unsigned APPEND = 0x10;   // with write access: every write goes to the end

    // State codes.
    static constexpr unsigned ST_OK = 0x01;
    static constexpr unsigned ST_SEEK_ERROR = 0x03;
    static constexpr unsigned ST_WRITE_END = 0x05; // a write wrote fewer bytes than asked
    static constexpr unsigned ST_READ_END = 0x07;  // a read delivered fewer bytes than asked
    static constexpr unsigned ST_CLOSED = 0x10;
    static constexpr unsigned ST_BAD_MODE = 0x20;
    static constexpr unsigned ST_OPEN_ERROR = 0x30;

    ZEMResFile() = default;
    ZEMResFile(const ZEMResFile&) = delete;
    ZEMResFile& operator=(const ZEMResFile&) = delete;
    // Each stream's destructor closes it.
    virtual ~ZEMResFile();

    // Releases the name; mode 0, state ST_CLOSED, end flag set.
    virtual void Close();
    // The end flag.
    virtual bool Eof() const;
    // Moves the position; whence 0 from the start, 1 from the current position, 2 from the end.
    virtual bool Seek(int offset, int whence) = 0;
    // Back to the first byte (state ST_OK on success).
    virtual void SeekStart() = 0;
    // To the end of the data.
    virtual void SeekEnd() = 0;
    // Current byte offset.
    virtual unsigned GetPos() const = 0;
    // Writes out buffered data.
    virtual void Flush() = 0;
    // Reads one line into buffer (at most size - 1 characters, zero-terminated); the terminator
    // is consumed, not stored, and a '\r' before a '\n' terminator is dropped. 0 at the end.
    virtual unsigned GetLine(char* buffer, unsigned size, char terminator) = 0;
    // Reads one line into line, consuming at most size bytes (0xFFFFFFFF: no limit); returns the
    // bytes consumed, terminator included (an empty line gives 1, the end of the data 0).
    virtual unsigned GetLine(ZEMString& line, unsigned size, char terminator) = 0;
    // Reads up to size bytes; returns how many arrived (fewer sets ST_READ_END).
    virtual unsigned Read(void* buffer, unsigned size) = 0;
    // Writes up to size bytes; returns how many were written (fewer sets ST_WRITE_END).
    virtual unsigned Write(const void* buffer, unsigned size) = 0;
    // Writes the first min(count, length) characters of s, no terminator; returns the bytes.
    virtual unsigned WriteStr(const ZEMString& s, unsigned count);
    // Dumps the stream's state to the log.
    virtual void PrintInfo() const = 0;

    // True when the state is ST_OK: test a freshly opened stream with it.
    bool IsOK() const { return state == ST_OK; }
    // The name the stream was opened with; null when closed.
    const char* GetName() const { return name; }
    // Access bits of the open mode (READ, WRITE or both; 0 when closed).
    unsigned GetMode() const { return mode; }
    // State code (ST_...).
    unsigned GetState() const { return state; }

    // Typed reads, little-endian unless the name says BE. A short read gives 0 (the bytes that
    // arrived are consumed all the same, and the stream is left in ST_READ_END).
    uint8_t Read8() { return ReadValue<1>(Get8); }
    uint16_t Read16() { return ReadValue<2>(GetLE16); }
    uint16_t ReadBE16() { return ReadValue<2>(GetBE16); }
    uint32_t Read32() { return ReadValue<4>(GetLE32); }
    uint32_t ReadBE32() { return ReadValue<4>(GetBE32); }
    float ReadFl() { return ReadValue<4>(GetFl); }
    double ReadDbl() { return ReadValue<8>(GetDbl); }

    // Typed writes with the same encodings; true only when every byte was written.
    bool Write8(unsigned char value);
    bool Write16(unsigned short value);
    bool WriteBE16(unsigned short value);
    bool Write32(unsigned value);
    bool WriteBE32(unsigned value);
    bool WriteFl(float value);
    bool WriteDbl(double value);

protected:
    // Texts of PrintInfo for the access bits and the state code.
    static const char* ModeText(unsigned mode);
    static const char* StateText(unsigned state);
    // "yes" or "no".
    static const char* YesNo(bool value) { return value ? "yes" : "no"; }
    // A name for "%s": a closed stream has none.
    static const char* Printable(const char* text) { return text ? text : "(null)"; }
    // A copy allocated with array new (null for null).
    static char* CopyName(const char* text);

    // Decoding of stored values.
    static uint8_t Get8(const uint8_t* p) { return p[0]; }
    static uint16_t GetLE16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
    static uint16_t GetBE16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
    static uint32_t GetLE32(const uint8_t* p) {
        return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    }
    static uint32_t GetBE32(const uint8_t* p) {
        return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
    }
    static uint64_t GetLE64(const uint8_t* p) {
        return uint64_t(GetLE32(p)) | uint64_t(GetLE32(p + 4)) << 32;
    }
    static float GetFl(const uint8_t* p) {
        uint32_t bits = GetLE32(p);
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    static double GetDbl(const uint8_t* p) {
        uint64_t bits = GetLE64(p);
        double value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }

    // A value of N bytes: one Read of N bytes, decoded, or 0 when fewer arrive. A stream that
    // holds its bytes in memory serves the common case (the bytes are there, reads are allowed
    // and data follows them) from [cur, readEnd) without the call.
    template <unsigned N, class T>
    T ReadValue(T (*decode)(const uint8_t*)) {
        if (readEnd - cur <= std::ptrdiff_t(N)) {
            uint8_t bytes[N];
            return Read(bytes, N) == N ? decode(bytes) : T(0);
        }
        const uint8_t* at = cur;
        cur += N;
        return decode(at);
    }

    const char* name = nullptr; // owned copy (array new); null when closed
    uint8_t mode = 0;           // access bits (mode & 3)
    uint8_t state = ST_CLOSED;  // ST_... code
    bool eof = true;            // end flag

    // Bytes that typed reads may take directly: the rest of a block while reads are allowed.
    // A stream that offers none keeps both null.
    uint8_t* cur = nullptr;
    const uint8_t* readEnd = nullptr;
};

#endif
