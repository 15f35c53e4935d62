#ifndef ZEM_STREAM_ZEMFILE_H
#define ZEM_STREAM_ZEMFILE_H

#include <zem/stream/ZEMResFile.h>

#include <cstdio>

// A stream over a disk file, opened without line-end translation. Paths may use '\' or '/'.
class ZEM_API ZEMFile : public ZEMResFile {
public:
    // Starts closed, then opens name with mode; check IsOK().
    ZEMFile(const char* name, unsigned mode);
    ~ZEMFile() override;

    // Opens name with READ, WRITE and the TRUNCATE, CREATE and APPEND options; read/write
    // creates a missing file. A null or empty name fails and leaves an open file open. When the
    // system refuses the file, errno keeps its reason.
    bool Open(const char* name, unsigned mode);

    // Closes the file; state ST_CLOSED.
    void Close() override;
    // The runtime's end-of-file indicator; false when no file is open.
    bool Eof() const override;
    bool Seek(int offset, int whence) override;
    void SeekStart() override;
    void SeekEnd() override;
    // Current offset; 0 when no file is open, 0xFFFFFFFF when the position cannot be told.
    unsigned GetPos() const override;
    void Flush() override;
    unsigned GetLine(char* buffer, unsigned size, char terminator) override;
    unsigned GetLine(ZEMString& line, unsigned size, char terminator) override;
    unsigned Read(void* buffer, unsigned size) override;
    unsigned Write(const void* buffer, unsigned size) override;
    void PrintInfo() const override;

private:
    bool Readable() const { return state == ST_OK && (mode & READ) && handle; }
    // Typed reads take their bytes straight from the runtime's buffer (the base's window) while
    // reads are allowed; every other operation first hands the bytes taken back to the runtime
    // (Settle), so the handle stands as if each value had been read through it, and afterwards
    // opens the window again over what the runtime holds then (Expose).
    void Settle() const;
    void Expose();
    // The C runtime allows no read straight after a write, nor a write straight after a read
    // short of the end, without a flush or a seek between: glibc forgives it, Microsoft's
    // runtime returns wrong bytes. These put one in when the direction changes.
    void BeforeRead();
    void BeforeWrite();

    enum Transfer : uint8_t { NO_TRANSFER, READING, WRITING };
    FILE* handle = nullptr; // null when closed
    Transfer lastTransfer = NO_TRANSFER;
};

#endif
