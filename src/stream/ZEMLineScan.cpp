#include "stream/ZEMLineScan.h"

#include "stream/ZEMFileBuffer.h"

#include <algorithm>
#include <cstring>

namespace ZEM {
namespace Stream {

namespace {

// One byte from the runtime's buffer; the caller holds the handle's lock where threads may share
// it. The Windows runtime offers no unlocked form in every version, so it locks once more.
int NextByte(FILE* file) {
#ifdef _WIN32
    return getc(file);
#else
    return getc_unlocked(file);
#endif
}

} // namespace

LineScan ScanMemory(const uint8_t* data, uint64_t avail, uint64_t maxConsume, uint64_t maxStore,
                    char terminator, char* out) {
    LineScan scan;
    const size_t window = size_t(std::min({avail, maxConsume, maxStore}));
    if (window == 0) return scan;
    const void* hit = std::memchr(data, static_cast<unsigned char>(terminator), window);
    scan.stored = hit ? uint64_t(static_cast<const uint8_t*>(hit) - data) : window;
    scan.consumed = hit ? scan.stored + 1 : scan.stored;
    std::memcpy(out, data, size_t(scan.stored));
    return scan;
}

LineScan ScanFile(FILE* file, uint64_t maxConsume, uint64_t maxStore, char terminator, char* out) {
    LineScan scan;
    while (scan.consumed < maxConsume && scan.stored < maxStore) {
        uint8_t* next;
        const uint8_t* end;
        BufferedBytes(file, next, end);
        if (next < end) {
            LineScan part = ScanMemory(next, uint64_t(end - next), maxConsume - scan.consumed,
                                       maxStore - scan.stored, terminator, out + scan.stored);
            ConsumeTo(file, next + part.consumed);
            scan.consumed += part.consumed;
            scan.stored += part.stored;
            if (part.consumed > part.stored) break; // the terminator
            continue;
        }
        int c = NextByte(file);
        if (c == EOF) break;
        scan.consumed++;
        if (c == static_cast<unsigned char>(terminator)) break;
        out[scan.stored++] = static_cast<char>(c);
    }
    return scan;
}

bool DropCarriageReturn(char* buffer, uint64_t& stored, char terminator) {
    if (terminator != '\n' || stored == 0 || buffer[stored - 1] != '\r') return false;
    stored--;
    return true;
}

bool DropCarriageReturn(ZEMString& line, char terminator) {
    const unsigned length = line.Length();
    if (terminator != '\n' || length == 0) return false;
    const char* text = line;
    if (text[length - 1] != '\r') return false;
    line.Delete(length - 1, 1);
    return true;
}

unsigned EndCharLine(char* buffer, LineScan scan, char terminator, bool countConsumed) {
    if (scan.consumed == 0) {
        buffer[0] = '\0';
        return 0;
    }
    if (DropCarriageReturn(buffer, scan.stored, terminator)) scan.consumed--;
    buffer[scan.stored] = '\0';
    return unsigned((countConsumed ? scan.consumed : scan.stored) + 1);
}

void AppendBytes(ZEMString& line, char* chunk, uint64_t n) {
    const char* end = chunk + n;
    for (char* run = chunk; run < end;) {
        // The string appends text up to a zero byte: the runs between zero bytes go in whole,
        // and each zero byte goes in as another character that is then overwritten with 0.
        char* zero = static_cast<char*>(std::memchr(run, '\0', size_t(end - run)));
        if (!zero) zero = chunk + n;
        const char kept = *zero;
        *zero = '\0';
        line += run;
        *zero = kept;
        if (zero == end) return;
        line += '\x01';
        line.Fill('\0', line.Length() - 1, 1);
        run = zero + 1;
    }
}

uint64_t ScanFileLine(ZEMString& line, FILE* file, uint64_t maxConsume, char terminator) {
    return ScanLine(line, maxConsume, terminator,
                    [file, terminator](char* out, uint64_t most, uint64_t room) {
                        return ScanFile(file, most, room, terminator, out);
                    });
}

} // namespace Stream
} // namespace ZEM
