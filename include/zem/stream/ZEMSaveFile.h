#ifndef ZEM_STREAM_ZEMSAVEFILE_H
#define ZEM_STREAM_ZEMSAVEFILE_H

#include <zem/stream/ZEMResFile.h>

#include <memory>
#include <string>

// A stream that writes a whole file by name safely. The bytes go to a new temporary file in the
// target's folder, which Commit flushes to the disk and then puts in the target's place in one
// step (a rename, whose folder is flushed too). Until then, and whatever fails (a full disk, a
// refused write, a crash), the target keeps its old content and no temporary file remains: one
// that a process killed before its rename left under a hidden name is removed by the next save
// in that folder.
//
// A target that is a symbolic link stays one: the file it leads to is replaced. A replaced file
// keeps its permission bits (and its owner and group where the system allows); other hard links
// to it keep the old content. An existing target that is not a regular file, or that this process
// may not write, is refused.
//
// The stream is for writing only. Seek and GetPos work as on a disk file, so that a writer may go
// back and fill in what it wrote. Writes are buffered: a failure may show only at Commit.
class ZEM_API ZEMSaveFile : public ZEMResFile {
public:
    // Starts closed, then opens name; check IsOK().
    ZEMSaveFile(const char* name, bool replace);
    // Closes without committing: the target stays as it was.
    ~ZEMSaveFile() override;

    // Prepares the save of the file name; with replace false an existing file of that name is
    // refused, at once or at Commit. False (LastError says why) when no file can be made beside
    // the target.
    bool Open(const char* name, bool replace);
    // Writes out what is buffered, flushes the file to the disk and puts it in the target's
    // place; the stream is then closed. False (LastError says why, the log too) when anything
    // failed or a write failed earlier: the target is then untouched.
    bool Commit();
    // Why the last open, write or commit failed, in the system's words where the system refused
    // ("No space left on device"); empty when nothing failed.
    const char* LastError() const { return lastError.c_str(); }

    // Drops the temporary file: the target stays as it was.
    void Close() override;
    bool Seek(int offset, int whence) override;
    void SeekStart() override;
    void SeekEnd() override;
    unsigned GetPos() const override;
    // Writes out what is buffered (to the temporary file: nothing is in place before Commit).
    void Flush() override;
    // A stream for writing only: no reads.
    unsigned GetLine(char* buffer, unsigned size, char terminator) override;
    unsigned GetLine(ZEMString& line, unsigned size, char terminator) override;
    unsigned Read(void* buffer, unsigned size) override;
    unsigned Write(const void* buffer, unsigned size) override;
    void PrintInfo() const override;

private:
    struct Target;

    bool Fail(const std::string& why);
    bool FailSystem(int error);
    bool WriteOut();

    std::unique_ptr<Target> target; // the temporary file and where it goes; null when closed
    std::unique_ptr<char[]> buffer; // bytes that wait to be written at bufferStart
    unsigned used = 0;              // bytes in the buffer
    uint64_t bufferStart = 0;       // file offset of the buffer's first byte
    uint64_t end = 0;               // size of the file written so far
    std::string lastError;
};

#endif
