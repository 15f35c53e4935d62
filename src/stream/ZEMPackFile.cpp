#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMPackFile.h>

#include "platform/ZEMPlatform.h"
#include "stream/ZEMLineScan.h"

#include <algorithm>

namespace {

// Length of the container, at most what 32-bit offsets can address; 0 when it cannot be told.
uint32_t ContainerLength(FILE* file) {
    if (fseek(file, 0, SEEK_END) != 0) return 0;
    const long length = ftell(file);
    if (length < 0) return 0;
    return uint64_t(length) > UINT32_MAX ? UINT32_MAX : uint32_t(length);
}

} // namespace

ZEMPackFile::ZEMPackFile(const char* fileName, unsigned start, unsigned end, unsigned mode,
                         const char* name) {
    Open(fileName, start, end, mode, name);
}

ZEMPackFile::~ZEMPackFile() {
    ZEMPackFile::Close();
}

bool ZEMPackFile::Open(const char* containerName, unsigned startOffset, unsigned endOffset,
                       unsigned openMode, const char* streamName) {
    if (!containerName || !*containerName) return false;
    Close();
    state = ST_OK;
    fileName = CopyName(containerName);
    name = streamName ? CopyName(streamName) : fileName;
    mode = uint8_t(openMode & (READ | WRITE));
    if (mode == 0) {
        state = ST_BAD_MODE;
        ZEM::DBG("PackFile: bad open mode (%s)\n", containerName);
        return false;
    }
    const char* runtimeMode = mode == READ ? "rb" : "r+b";
    handle = ZEM::Platform::OpenFile(containerName, runtimeMode);
    if (!handle) {
        state = ST_OPEN_ERROR;
        ZEM::DBG("PackFile: Can not open %s in mode '%s'\n", containerName, runtimeMode);
        return false;
    }
    start = startOffset;
    end = endOffset;
    const uint32_t length = ContainerLength(handle);
    if (end > length) end = length;
    if (start >= end) {
        ZEM::DBG("PackFile: invalid offset (start=%d, end=%d) %s\n", int(start), int(end),
                 containerName);
        fclose(handle);
        handle = nullptr;
        state = ST_OPEN_ERROR;
        return false;
    }
    SeekStart();
    return true;
}

void ZEMPackFile::Close() {
    if (name == fileName) name = nullptr;
    ZEMResFile::Close();
    delete[] fileName;
    fileName = nullptr;
    if (handle) fclose(handle);
    handle = nullptr;
    start = 0;
    end = 0;
    pos = 0;
}

bool ZEMPackFile::Place(uint32_t target) {
    return fseek(handle, long(target), SEEK_SET) == 0;
}

void ZEMPackFile::TakeEof() {
    eof = feof(handle) || pos >= end;
}

bool ZEMPackFile::Seek(int offset, int whence) {
    if (!handle) return false;
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
    if (!handle) return;
    clearerr(handle);
    pos = start;
    state = Place(pos) ? ST_OK : ST_SEEK_ERROR;
    TakeEof();
}

void ZEMPackFile::SeekEnd() {
    if (!handle) return;
    pos = end;
    Place(pos);
    state = ST_SEEK_ERROR;
    eof = true;
}

void ZEMPackFile::Flush() {
    if (handle) fflush(handle);
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
    return Finish(fread(buffer, 1, n, handle), n, ST_READ_END);
}

unsigned ZEMPackFile::Write(const void* buffer, unsigned n) {
    if (!buffer || !Begin(n, WRITE, ST_WRITE_END)) return 0;
    return Finish(fwrite(buffer, 1, n, handle), n, ST_WRITE_END);
}

unsigned ZEMPackFile::GetLine(char* buffer, unsigned bufSize, char terminator) {
    if (!Transferable(READ) || bufSize == 0 || !buffer || pos >= end) return 0;
    const uint64_t limit = std::min<uint64_t>(bufSize - 1, end - pos);
    ZEM::Stream::LineScan scan = ZEM::Stream::ScanFile(handle, limit, limit, terminator, buffer);
    pos += uint32_t(scan.consumed);
    TakeEof();
    return ZEM::Stream::EndCharLine(buffer, scan, terminator, true);
}

unsigned ZEMPackFile::GetLine(ZEMString& line, unsigned limit, char terminator) {
    if (!Transferable(READ) || limit == 0 || pos >= end) return 0;
    const uint64_t maxConsume = std::min<uint64_t>(limit, end - pos);
    FILE* file = handle;
    const uint64_t consumed = ZEM::Stream::ScanLine(
        line, maxConsume, terminator, [file, terminator](char* out, uint64_t most, uint64_t room) {
            return ZEM::Stream::ScanFile(file, most, room, terminator, out);
        });
    pos += uint32_t(consumed);
    TakeEof();
    return unsigned(consumed);
}

void ZEMPackFile::PrintInfo() const {
    ZEM::LOG("PackFile info :\nFile  :%s\nName  : %s\nFILE* : %p\nMode  : %d (",
             Printable(fileName), Printable(name), static_cast<void*>(handle), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nStart : %d\nPos.  : %d\nEnd   : %d\nEOF   : %s\n", StateText(state), int(start),
             int(pos), int(end), YesNo(eof));
}
