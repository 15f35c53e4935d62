#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMPackFile.h>

#include "platform/ZEMPlatform.h"
#include "stream/ZEMLineScan.h"
#include "stream/ZEMSharedFile.h"

#include <algorithm>

using ZEM::Stream::SharedFile;

ZEMPackFile::ZEMPackFile(const char* fileName, unsigned start, unsigned end, unsigned mode,
                         const char* name) {
    Open(fileName, start, end, mode, name);
}

ZEMPackFile::~ZEMPackFile() {
    ZEMPackFile::Close();
}

bool ZEMPackFile::Open(const char* containerName, unsigned startOffset, unsigned endOffset,
                       unsigned openMode, const char* streamName) {
    if (!Prepare(containerName, openMode, streamName)) return false;
    const char* runtimeMode = mode == READ ? "rb" : "r+b";
    return Attach(SharedFile::Open(containerName, runtimeMode), runtimeMode, startOffset,
                  endOffset);
}

bool ZEMPackFile::OpenShared(SharedFile* file, const char* containerName, unsigned startOffset,
                             unsigned endOffset, const char* streamName) {
    // Taken before Prepare closes the stream, which may let go of the same handle.
    if (file) file->Retain();
    if (Prepare(containerName, READ, streamName)) return Attach(file, "rb", startOffset, endOffset);
    if (file) file->Release();
    return false;
}

bool ZEMPackFile::Prepare(const char* containerName, unsigned openMode, const char* streamName) {
    if (!containerName || !*containerName) return false;
    Close();
    state = ST_OK;
    fileName = CopyName(containerName);
    name = streamName ? CopyName(streamName) : fileName;
    mode = uint8_t(openMode & (READ | WRITE));
    if (mode != 0) return true;
    state = ST_BAD_MODE;
    ZEM::DBG("PackFile: bad open mode (%s)\n", containerName);
    return false;
}

bool ZEMPackFile::Attach(SharedFile* file, const char* runtimeMode, unsigned startOffset,
                         unsigned endOffset) {
    if (!file) {
        state = ST_OPEN_ERROR;
        ZEM::DBG("PackFile: cannot open %s in mode '%s'\n", fileName, runtimeMode);
        return false;
    }
    start = startOffset;
    end = std::min<uint32_t>(endOffset, file->Length());
    if (start >= end) {
        ZEM::DBG("PackFile: invalid offset (start=%d, end=%d) %s\n", int(start), int(end),
                 fileName);
        file->Release();
        state = ST_OPEN_ERROR;
        return false;
    }
    shared = file;
    SeekStart();
    return true;
}

void ZEMPackFile::Close() {
    if (name == fileName) name = nullptr;
    ZEMResFile::Close();
    delete[] fileName;
    fileName = nullptr;
    if (shared) {
        {
            // A later stream at this address must not take the handle's position for its own.
            SharedFile::Lock lock(*shared);
            if (shared->user == this) shared->user = nullptr;
        }
        shared->Release();
    }
    shared = nullptr;
    start = 0;
    end = 0;
    pos = 0;
}

bool ZEMPackFile::Place(uint32_t target) {
    const bool placed = ZEM::Platform::SeekStream(shared->Handle(), target);
    shared->user = placed ? this : nullptr;
    return placed;
}

bool ZEMPackFile::Claim() {
    return shared->user == this || Place(pos);
}

void ZEMPackFile::TakeEof() {
    eof = feof(shared->Handle()) || pos >= end;
}

bool ZEMPackFile::Seek(int offset, int whence) {
    if (!shared) return false;
    const int64_t length = int64_t(end) - start;
    int64_t target;
    if (whence == SEEK_CUR) {
        target = int64_t(pos) + offset;
        if (offset > 0 && target >= end) target = -1;
        if (offset < 0 && target < int64_t(start)) target = -1;
    } else if (whence == SEEK_END) {
        target = offset > 0 || -int64_t(offset) >= length ? -1 : int64_t(end) + offset;
    } else {
        target = offset < 0 || offset >= length ? -1 : int64_t(start) + offset;
    }
    SharedFile::Lock lock(*shared);
    if (target < 0 || !Place(uint32_t(target))) {
        state = ST_SEEK_ERROR;
        return false;
    }
    pos = uint32_t(target);
    state = ST_OK;
    TakeEof();
    return true;
}

void ZEMPackFile::SeekStart() {
    if (!shared) return;
    SharedFile::Lock lock(*shared);
    clearerr(shared->Handle());
    pos = start;
    state = Place(pos) ? ST_OK : ST_SEEK_ERROR;
    TakeEof();
}

void ZEMPackFile::SeekEnd() {
    if (!shared) return;
    SharedFile::Lock lock(*shared);
    pos = end;
    Place(pos);
    state = ST_SEEK_ERROR;
    eof = true;
}

void ZEMPackFile::Flush() {
    if (shared) fflush(shared->Handle());
}

bool ZEMPackFile::Begin(unsigned& n, unsigned access, unsigned shortState) {
    if (!Transferable(access) || n == 0) return false;
    if (n > end - pos) {
        state = uint8_t(shortState);
        n = end - pos;
    }
    return true;
}

unsigned ZEMPackFile::Finish(size_t done, unsigned n, unsigned shortState) {
    pos += uint32_t(done);
    if (done < n) state = uint8_t(shortState);
    TakeEof();
    return unsigned(done);
}

unsigned ZEMPackFile::Read(void* buffer, unsigned n) {
    if (!buffer || !Begin(n, READ, ST_READ_END)) return 0;
    SharedFile::Lock lock(*shared);
    return Finish(Claim() ? fread(buffer, 1, n, shared->Handle()) : 0, n, ST_READ_END);
}

unsigned ZEMPackFile::Write(const void* buffer, unsigned n) {
    if (!buffer || !Begin(n, WRITE, ST_WRITE_END)) return 0;
    SharedFile::Lock lock(*shared);
    return Finish(Claim() ? fwrite(buffer, 1, n, shared->Handle()) : 0, n, ST_WRITE_END);
}

unsigned ZEMPackFile::GetLine(char* buffer, unsigned bufSize, char terminator) {
    if (!Transferable(READ) || bufSize == 0 || !buffer || pos >= end) return 0;
    const uint64_t limit = std::min<uint64_t>(bufSize - 1, end - pos);
    SharedFile::Lock lock(*shared);
    if (!Claim()) return 0;
    ZEM::Stream::LineScan scan =
        ZEM::Stream::ScanFile(shared->Handle(), limit, limit, terminator, buffer);
    pos += uint32_t(scan.consumed);
    TakeEof();
    return ZEM::Stream::EndCharLine(buffer, scan, terminator, true);
}

unsigned ZEMPackFile::GetLine(ZEMString& line, unsigned limit, char terminator) {
    if (!Transferable(READ) || limit == 0 || pos >= end) return 0;
    const uint64_t maxConsume = std::min<uint64_t>(limit, end - pos);
    SharedFile::Lock lock(*shared);
    if (!Claim()) return 0;
    const uint64_t consumed =
        ZEM::Stream::ScanFileLine(line, shared->Handle(), maxConsume, terminator);
    pos += uint32_t(consumed);
    TakeEof();
    return unsigned(consumed);
}

void ZEMPackFile::PrintInfo() const {
    ZEM::LOG("PackFile info :\nFile  :%s\nName  : %s\nFILE* : %p\nMode  : %d (",
             Printable(fileName), Printable(name),
             static_cast<void*>(shared ? shared->Handle() : nullptr), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nStart : %d\nPos.  : %d\nEnd   : %d\nEOF   : %s\n", StateText(state), int(start),
             int(pos), int(end), YesNo(eof));
}
