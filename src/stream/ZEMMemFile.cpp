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

bool ZEMMemFile::Open(unsigned blockSize, unsigned openMode, unsigned char* block, bool ownBlock,
                      const char* streamName) {
    if (blockSize == 0) return false;
    Close();
    state = ST_OK;
    mode = uint8_t(openMode & (READ | WRITE));
    own = ownBlock;
    eof = false;
    size = blockSize;
    if (block) {
        data = block;
    } else {
        data = new (std::nothrow) unsigned char[blockSize]();
        own = data != nullptr;
        if (!data) {
            size = 0;
            state = ST_OPEN_ERROR;
            return false;
        }
    }
    if (openMode & (TRUNCATE | CREATE)) std::memset(data, 0, size);
    name = streamName ? CopyName(streamName) : MEMORY_FILE_NAME;
    return true;
}

void ZEMMemFile::Close() {
    if (name == MEMORY_FILE_NAME) name = nullptr;
    ZEMResFile::Close();
    if (own) delete[] data;
    data = nullptr;
    own = false;
    size = 0;
    pos = 0;
}

bool ZEMMemFile::Seek(int offset, int whence) {
    if (!data) return false;
    int64_t target = offset;
    if (whence == SEEK_CUR) target += pos;
    if (whence == SEEK_END) target += size;
    if (target < 0 || target >= int64_t(size)) {
        state = ST_SEEK_ERROR;
        return false;
    }
    pos = uint32_t(target);
    state = ST_OK;
    eof = false;
    return true;
}

void ZEMMemFile::SeekStart() {
    if (!data) return;
    pos = 0;
    state = ST_OK;
    eof = false;
}

void ZEMMemFile::SeekEnd() {
    if (!data) return;
    pos = size;
    state = ST_SEEK_ERROR;
    eof = true;
}

void ZEMMemFile::Flush() {}

unsigned ZEMMemFile::Read(void* buffer, unsigned n) {
    if (!Readable() || n == 0 || !buffer) return 0;
    if (n > size - pos) {
        state = ST_READ_END;
        n = size - pos;
    }
    std::memcpy(buffer, data + pos, n);
    pos += n;
    eof = pos >= size;
    return n;
}

unsigned ZEMMemFile::Write(const void* buffer, unsigned n) {
    if (state != ST_OK || !(mode & WRITE) || eof || n == 0 || !buffer) return 0;
    if (n > size - pos) {
        state = ST_WRITE_END;
        n = size - pos;
    }
    std::memcpy(data + pos, buffer, n);
    pos += n;
    eof = pos >= size;
    return n;
}

unsigned ZEMMemFile::GetLine(char* buffer, unsigned bufSize, char terminator) {
    if (!Readable() || bufSize == 0 || !buffer) return 0;
    ZEM::Stream::LineScan scan = ZEM::Stream::ScanMemory(
        data + pos, size - pos, ZEM::Stream::NO_LIMIT, bufSize - 1, terminator, buffer);
    pos += uint32_t(scan.consumed);
    eof = pos >= size;
    // With no room for a character nothing is taken; 0 keeps a read-until-0 loop from spinning.
    if (scan.consumed == 0) {
        buffer[0] = '\0';
        return 0;
    }
    ZEM::Stream::DropCarriageReturn(buffer, scan.stored, terminator);
    buffer[scan.stored] = '\0';
    return unsigned(scan.stored + 1);
}

unsigned ZEMMemFile::GetLine(ZEMString& line, unsigned limit, char terminator) {
    if (!Readable() || limit == 0) return 0;
    const uint64_t maxConsume = limit == 0xFFFFFFFFu ? ZEM::Stream::NO_LIMIT : limit;
    const uint64_t consumed = ZEM::Stream::ScanLine(
        line, maxConsume, terminator, [this, terminator](char* out, uint64_t most, uint64_t room) {
            ZEM::Stream::LineScan part =
                ZEM::Stream::ScanMemory(data + pos, size - pos, most, room, terminator, out);
            pos += uint32_t(part.consumed);
            return part;
        });
    eof = pos >= size;
    return unsigned(consumed);
}

void ZEMMemFile::PrintInfo() const {
    ZEM::LOG("MemFile info:\nAddress: %p\nMode  : %d (", static_cast<void*>(data), mode);
    ZEM::LOG("%s)\nState : %d (", ModeText(mode), state);
    ZEM::LOG("%s)\nSize : %d\nPos.  : %d\nEOF   : %s\nOwn data: %s\n", StateText(state), int(size),
             int(pos), YesNo(eof), YesNo(own));
}
