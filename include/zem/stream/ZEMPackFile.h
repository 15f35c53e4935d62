#ifndef ZEM_STREAM_ZEMPACKFILE_H
#define ZEM_STREAM_ZEMPACKFILE_H

#include <zem/stream/ZEMResFile.h>

namespace ZEM {
namespace Stream {
class SharedFile;
}
} // namespace ZEM
class ZEMArchive;

// A window stream: the bytes of a container file from an absolute start offset up to an
// absolute end offset, seen as a whole stream whose positions run from 0. Opened by name, it
// opens the container with its own handle; an archive's members share one read handle that they
// keep open. Either way it outlives whoever created it, and streams on one container keep their
// own positions. Transfers never leave the window.
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
    // Archives open their members for reading on the read handle they share.
    friend class ZEMArchive;
    // Opens the window [start, end) for reading on file, an open read handle on the container
    // fileName (null when it could not be opened), as Open does with a handle of its own.
    bool OpenShared(ZEM::Stream::SharedFile* file, const char* fileName, unsigned start,
                    unsigned end, const char* name);
    // Closes the stream and takes the names and access of a new opening; false for access 0.
    bool Prepare(const char* fileName, unsigned mode, const char* name);
    // Takes file as the container's handle and checks the window; runtimeMode is for the message
    // when file is null.
    bool Attach(ZEM::Stream::SharedFile* file, const char* runtimeMode, unsigned start,
                unsigned end);

    bool Transferable(unsigned access) const {
        return state == ST_OK && (mode & access) && !eof && shared;
    }
    // Moves the handle to the absolute offset target; false when the runtime refuses. Under
    // the handle's lock, like every use of the handle below.
    bool Place(uint32_t target);
    // Places the handle at pos unless this stream placed it last.
    bool Claim();
    // The end flag from the handle and the position.
    void TakeEof();
    // Starts a transfer of n bytes with the given access, cut to the window (setting
    // shortState); false when the transfer is refused.
    bool Begin(unsigned& n, unsigned access, unsigned shortState);
    // Moves past the done bytes of a transfer of n; returns them.
    unsigned Finish(size_t done, unsigned n, unsigned shortState);

    char* fileName = nullptr;                  // owned copy; the name may share it
    ZEM::Stream::SharedFile* shared = nullptr; // a reference to the handle on the container
    uint32_t start = 0;
    uint32_t end = 0; // start < end while open
    uint32_t pos = 0; // absolute, start <= pos <= end
};

#endif
