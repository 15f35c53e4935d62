#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMFile.h>

#include "platform/ZEMPlatform.h"
#include "stream/ZEMFileBuffer.h"
#include "stream/ZEMLineScan.h"

#include <cerrno>

namespace {

// The runtime mode for the open mode; null for access 0. Always binary.
const char* RuntimeMode(unsigned mode) {
    const unsigned access = mode & (ZEMResFile::READ | ZEMResFile::WRITE);
    const bool append = mode & ZEMResFile::APPEND;
    switch (access) {
    case ZEMResFile::READ:
        return "rb";
    case ZEMResFile::WRITE:
        return append ? "ab" : "wb";
    case ZEMResFile::READ | ZEMResFile::WRITE:
        if (append) return "a+b";
        return (mode & ZEMResFile::TRUNCATE) ? "w+b" : "r+b";
    default:
        return nullptr;
    }
}

bool Exists(const char* name) {
    FILE* probe = ZEM::Platform::OpenFile(name, "rb");
    if (!probe) return false;
    fclose(probe);
    return true;
}

} // namespace

ZEMFile::ZEMFile(const char* name, unsigned mode) {
    Open(name, mode);
}

ZEMFile::~ZEMFile() {
    ZEMFile::Close();
}

bool ZEMFile::Open(const char* fileName, unsigned openMode) {
    if (!fileName || !*fileName) return false;
    Close();
    state = ST_OK;
    name = CopyName(fileName);
    mode = uint8_t(openMode & (READ | WRITE));
    const char* runtimeMode = RuntimeMode(openMode);
    if (!runtimeMode) {
        state = ST_BAD_MODE;
        ZEM::DBG("File: bad open mode (%s)\n", fileName);
        return false;
    }
    if ((mode & WRITE) && (openMode & CREATE) && Exists(fileName)) {
        state = ST_OPEN_ERROR;
        ZEM::DBG("File: open error: file already exists (CREATE) %s\n", fileName);
        return false;
    }
    handle = ZEM::Platform::OpenFile(fileName, runtimeMode);
    if (!handle && mode == (READ | WRITE) && std::strcmp(runtimeMode, "r+b") == 0) {
        runtimeMode = "w+b";
        handle = ZEM::Platform::OpenFile(fileName, runtimeMode);
    }
    if (!handle) {
        state = ST_OPEN_ERROR;
        const int error = errno; // the system's reason stays for the caller
        ZEM::DBG("File: cannot open %s in mode '%s'\n", fileName, runtimeMode);
        errno = error;
        return false;
    }
    eof = feof(handle);
    Expose();
    return true;
}

void ZEMFile::Settle() const {
    if (cur) ZEM::Stream::ConsumeTo(handle, cur);
}

void ZEMFile::Expose() {
    if (Readable()) {
        ZEM::Stream::BufferedBytes(handle, cur, readEnd);
        return;
    }
    cur = nullptr;
    readEnd = nullptr;
}

void ZEMFile::BeforeRead() {
    if (lastTransfer == WRITING) fflush(handle);
    lastTransfer = READING;
}

void ZEMFile::BeforeWrite() {
    if (lastTransfer == READING && !feof(handle)) fseek(handle, 0, SEEK_CUR);
    lastTransfer = WRITING;
}

void ZEMFile::Close() {
    ZEMResFile::Close();
    if (!handle) return;
    Settle();
    cur = nullptr;
    readEnd = nullptr;
    fclose(handle);
    handle = nullptr;
    lastTransfer = NO_TRANSFER;
}

bool ZEMFile::Eof() const {
    return handle && feof(handle);
}

bool ZEMFile::Seek(int offset, int whence) {
    if (!handle) return false;
    Settle();
    clearerr(handle);
    state = fseek(handle, offset, whence) == 0 ? ST_OK : ST_SEEK_ERROR;
    lastTransfer = NO_TRANSFER;
    eof = feof(handle);
    Expose();
    return state == ST_OK;
}

void ZEMFile::SeekStart() {
    Seek(0, SEEK_SET);
}

void ZEMFile::SeekEnd() {
    Seek(0, SEEK_END);
}

unsigned ZEMFile::GetPos() const {
    if (!handle) return 0;
    Settle();
    return unsigned(ftell(handle));
}

void ZEMFile::Flush() {
    if (!handle) return;
    Settle();
    // Drops what was buffered for reading, so later reads see the file as it is now. Microsoft's
    // runtime leaves the position after the dropped bytes: it is put back.
    const long pos = lastTransfer != WRITING && !feof(handle) ? ftell(handle) : -1;
    fflush(handle);
    if (pos >= 0) fseek(handle, pos, SEEK_SET);
    lastTransfer = NO_TRANSFER;
    Expose();
}

unsigned ZEMFile::Read(void* buffer, unsigned size) {
    if (!Readable() || !buffer || size == 0) return 0;
    Settle();
    BeforeRead();
    const size_t got = fread(buffer, 1, size, handle);
    if (got < size) state = ST_READ_END;
    eof = feof(handle);
    Expose();
    return unsigned(got);
}

unsigned ZEMFile::Write(const void* buffer, unsigned size) {
    if (state != ST_OK || !(mode & WRITE) || !handle || !buffer || size == 0) return 0;
    Settle();
    BeforeWrite();
    const size_t put = fwrite(buffer, 1, size, handle);
    if (put < size) state = ST_WRITE_END;
    eof = feof(handle);
    Expose();
    return unsigned(put);
}

unsigned ZEMFile::GetLine(char* buffer, unsigned size, char terminator) {
    if (!Readable() || eof || size == 0 || !buffer) return 0;
    Settle();
    BeforeRead();
    ZEM::Stream::LineScan scan =
        ZEM::Stream::ScanFile(handle, ZEM::Stream::NO_LIMIT, size - 1, terminator, buffer);
    eof = feof(handle);
    Expose();
    return ZEM::Stream::EndCharLine(buffer, scan, terminator, false);
}

unsigned ZEMFile::GetLine(ZEMString& line, unsigned size, char terminator) {
    if (!Readable() || size == 0 || eof) return 0;
    const uint64_t limit = size == 0xFFFFFFFFu ? ZEM::Stream::NO_LIMIT : size;
    Settle();
    BeforeRead();
    const uint64_t consumed = ZEM::Stream::ScanFileLine(line, handle, limit, terminator);
    eof = feof(handle);
    Expose();
    return unsigned(consumed);
}

void ZEMFile::PrintInfo() const {
    ZEM::LOG("File info : %s\nFILE* : %p\nMode  : %d (", Printable(name),
             static_cast<void*>(handle), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nEOF   : %s\n", StateText(state), YesNo(eof));
}
