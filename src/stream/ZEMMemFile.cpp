#include <zem/core/ZEMLog.h>
#include <zem/stream/ZEMMemFile.h>

#include "stream/ZEMLineScan.h"

#include <new>

namespace {

// The name of a stream opened without one; shared, never released.
const char MEMORY_FILE_NAME[] = "Memory file";

} // namespace

ZEMMemFile::ZEMMemFile(unsigned size, unsigned mode, unsigned char* data, bool own,
                       const char* name) {
    Open(size, mode, data, own, name);
}

ZEMMemFile::~ZEMMemFile() {
    ZEMMemFile::Close();
}

void ZEMMemFile::SetState(unsigned code) {
    state = uint8_t(code);
    readEnd = state == ST_OK && (mode & READ) ? data + size : data;
}

bool ZEMMemFile::Open(unsigned blockSize, unsigned openMode, unsigned char* block, bool ownBlock,
                      const char* streamName) {
    if (blockSize == 0) return false;
    Close();
    mode = uint8_t(openMode & (READ | WRITE));
    own = ownBlock;
    eof = false;
    size = blockSize;
    data = block;
    if (!data) {
        data = new (std::nothrow) unsigned char[blockSize]();
        own = data != nullptr;
    }
    cur = data;
    if (!data) {
        size = 0;
        SetState(ST_OPEN_ERROR);
        return false;
    }
    if (openMode & (TRUNCATE | CREATE)) std::memset(data, 0, size);
    name = streamName ? CopyName(streamName) : MEMORY_FILE_NAME;
    SetState(ST_OK);
    return true;
}

void ZEMMemFile::Close() {
    if (name == MEMORY_FILE_NAME) name = nullptr;
    ZEMResFile::Close();
    if (own) delete[] data;
    data = nullptr;
    own = false;
    size = 0;
    cur = nullptr;
    SetState(ST_CLOSED);
}

bool ZEMMemFile::Seek(int offset, int whence) {
    if (!data) return false;
    int64_t target = offset;
    if (whence == SEEK_CUR) target += Pos();
    if (whence == SEEK_END) target += size;
    if (target < 0 || target >= int64_t(size)) {
        SetState(ST_SEEK_ERROR);
        return false;
    }
    cur = data + target;
    eof = false;
    SetState(ST_OK);
    return true;
}

void ZEMMemFile::SeekStart() {
    if (!data) return;
    cur = data;
    eof = false;
    SetState(ST_OK);
}

void ZEMMemFile::SeekEnd() {
    if (!data) return;
    cur = data + size;
    eof = true;
    SetState(ST_SEEK_ERROR);
}

void ZEMMemFile::Flush() {}

unsigned char* ZEMMemFile::Claim(unsigned& n, unsigned access, unsigned shortState) {
    if (state != ST_OK || !(mode & access) || eof || n == 0) return nullptr;
    unsigned char* at = cur;
    const unsigned left = size - Pos();
    if (n > left) {
        SetState(shortState);
        n = left;
    }
    cur += n;
    eof = Pos() >= size;
    return at;
}

unsigned ZEMMemFile::Read(void* buffer, unsigned n) {
    if (!buffer) return 0;
    const unsigned char* at = Claim(n, READ, ST_READ_END);
    if (!at) return 0;
    std::memcpy(buffer, at, n);
    return n;
}

unsigned ZEMMemFile::Write(const void* buffer, unsigned n) {
    if (!buffer) return 0;
    unsigned char* at = Claim(n, WRITE, ST_WRITE_END);
    if (!at) return 0;
    std::memcpy(at, buffer, n);
    return n;
}

unsigned ZEMMemFile::GetLine(char* buffer, unsigned bufSize, char terminator) {
    if (!Readable() || bufSize == 0 || !buffer) return 0;
    ZEM::Stream::LineScan scan = ZEM::Stream::ScanMemory(cur, size - Pos(), ZEM::Stream::NO_LIMIT,
                                                         bufSize - 1, terminator, buffer);
    cur += scan.consumed;
    eof = Pos() >= size;
    // With no room for a character nothing is taken: 0, so that a read-until-0 loop ends.
    return ZEM::Stream::EndCharLine(buffer, scan, terminator, false);
}

unsigned ZEMMemFile::GetLine(ZEMString& line, unsigned limit, char terminator) {
    if (!Readable() || limit == 0) return 0;
    const uint64_t maxConsume = limit == 0xFFFFFFFFu ? ZEM::Stream::NO_LIMIT : limit;
    const uint64_t consumed = ZEM::Stream::ScanLine(
        line, maxConsume, terminator, [this, terminator](char* out, uint64_t most, uint64_t room) {
            ZEM::Stream::LineScan part =
                ZEM::Stream::ScanMemory(cur, size - Pos(), most, room, terminator, out);
            cur += part.consumed;
            return part;
        });
    eof = Pos() >= size;
    return unsigned(consumed);
}

void ZEMMemFile::PrintInfo() const {
    ZEM::LOG("MemFile info:\nAddress: %p\nMode  : %d (", static_cast<void*>(data), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nSize : %d\nPos.  : %d\nEOF   : %s\nOwn data: %s\n", StateText(state), int(size),
             int(Pos()), YesNo(eof), YesNo(own));
}
