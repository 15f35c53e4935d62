#ifndef ZEM_STREAM_ZEMLINESCAN_H
#define ZEM_STREAM_ZEMLINESCAN_H

// Line reading shared by the streams: bytes are taken one by one (in effect) until a byte limit,
// a room limit, the terminator (consumed, not stored) or the end of the data.

#include <zem/core/ZEMString.h>

#include <cstdint>
#include <cstdio>

namespace ZEM {
namespace Stream {

constexpr uint64_t NO_LIMIT = UINT64_MAX;

struct LineScan {
    uint64_t consumed = 0; // bytes taken from the source, terminator included
    uint64_t stored = 0;   // bytes written to the output
};

// Scans at most avail bytes of data, consuming at most maxConsume and storing at most maxStore.
LineScan ScanMemory(const uint8_t* data, uint64_t avail, uint64_t maxConsume, uint64_t maxStore,
                    char terminator, char* out);

// The same over a buffered file, from its current position. Bytes already in the runtime's
// buffer are scanned in one go; no system call is made per byte.
LineScan ScanFile(FILE* file, uint64_t maxConsume, uint64_t maxStore, char terminator, char* out);

// Drops a '\r' that ends the line when the terminator is '\n'; returns whether it did.
bool DropCarriageReturn(char* buffer, uint64_t& stored, char terminator);
bool DropCarriageReturn(ZEMString& line, char terminator);

// Ends a line of the character form: drops the '\r' of a "\r\n" ending, zero-terminates the
// buffer and gives the result: 0 when nothing was consumed (the data had ended, or there was no
// room), else the characters stored plus 1, or with countConsumed the bytes consumed plus 1.
unsigned EndCharLine(char* buffer, LineScan scan, char terminator, bool countConsumed);

// Appends n bytes of chunk to line, zero bytes included; chunk[n] must be writable.
void AppendBytes(ZEMString& line, char* chunk, uint64_t n);

// Reads a whole line into line through scan(out, maxConsume, maxStore), consuming at most
// maxConsume bytes; a trailing '\r' is dropped for the '\n' terminator. Returns the bytes
// consumed.
template <class Scan>
uint64_t ScanLine(ZEMString& line, uint64_t maxConsume, char terminator, Scan scan) {
    line = "";
    char chunk[512];
    const uint64_t room = sizeof chunk - 1;
    uint64_t consumed = 0;
    LineScan part;
    do {
        part = scan(chunk, maxConsume - consumed, room);
        consumed += part.consumed;
        AppendBytes(line, chunk, part.stored);
    } while (part.stored == room);
    DropCarriageReturn(line, terminator);
    return consumed;
}

// ScanLine over a buffered file from its current position.
uint64_t ScanFileLine(ZEMString& line, FILE* file, uint64_t maxConsume, char terminator);

} // namespace Stream
} // namespace ZEM

#endif
