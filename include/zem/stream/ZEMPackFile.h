#ifndef ZEM_STREAM_ZEMPACKFILE_H
#define ZEM_STREAM_ZEMPACKFILE_H

#include <zem/stream/ZEMResFile.h>

#include <cstdio>

// A window stream: the bytes of a container file from an absolute start offset up to an
// absolute end offset, seen as a whole stream whose positions run from 0. It opens the container
// with its own handle, so it outlives whoever created it. Transfers never leave the window.
class ZEM_API ZEMPackFile : public ZEMResFile {
public:
    // Starts closed, then runs Open with the same arguments; check IsOK().
    ZEMPackFile(const char* fileName, unsigned start, unsigned end, unsigned mode,
                const char* name = nullptr);
    ~ZEMPackFile() override;

    // Opens the existing container fileName (never created, emptied or appended to) over
    // [start, end); an end past the container's length is lowered to it, and an empty window
    // fails. Without a name the stream is called by the file name.
    bool Open(const char* fileName, unsigned start, unsigned end, unsigned mode,
              const char* name = nullptr);

    // Closes the handle and releases the names; state ST_CLOSED.
    void Close() override;
    // Offsets are relative to the window's start.
    bool Seek(int offset, int whence) override;
    void SeekStart() override;
    // Position at the end, state ST_SEEK_ERROR: transfers are refused until the next seek.
    void SeekEnd() override;
    unsigned GetPos() const override { return pos - start; }
    void Flush() override;
    // Counts the terminator too: an empty line gives 2, a line "ab" with its terminator 4.
    unsigned GetLine(char* buffer, unsigned size, char terminator) override;
    unsigned GetLine(ZEMString& line, unsigned size, char terminator) override;
    unsigned Read(void* buffer, unsigned size) override;
    unsigned Write(const void* buffer, unsigned size) override;
    void PrintInfo() const override;

    // Path of the container; null when closed.
    const char* GetFileName() const { return fileName; }
    // Absolute offsets of the window in the container.
    unsigned GetStart() const { return start; }
    unsigned GetEnd() const { return end; }

private:
    bool Transferable(unsigned access) const {
        return state == ST_OK && (mode & access) && !eof && handle;
    }
    // Moves the handle to the absolute offset target; false when the runtime refuses.
    bool Place(uint32_t target);
    // The end flag from the handle and the position.
    void TakeEof();
    // Starts a transfer of n bytes with the given access, cut to the window (setting
    // shortState); false when the transfer is refused.
    bool Begin(unsigned& n, unsigned access, unsigned shortState);
    // Moves past the done bytes of a transfer of n; returns them.
    unsigned Finish(size_t done, unsigned n, unsigned shortState);

    char* fileName = nullptr; // owned copy; the name may share it
    FILE* handle = nullptr;   // the stream's own handle on the container
    uint32_t start = 0;
    uint32_t end = 0; // start < end while open
    uint32_t pos = 0; // absolute, start <= pos <= end
};

#endif
