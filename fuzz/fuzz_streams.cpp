// Reads arbitrary bytes as lines and typed values through the memory, disk-file and window
// streams. The memory and disk-file streams must agree on every result; the window stream must
// stay inside its window.
#include "FuzzScratch.h"

#include <zem/stream.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

const FuzzScratch SCRATCH("streams.dat");

void Check(bool ok) {
    if (!ok) abort();
}

// Every result of the character form, with the text it stored.
std::vector<std::string> CharLines(ZEMResFile& f, unsigned size, char terminator) {
    std::vector<std::string> lines;
    std::vector<char> buf(size + 1, 'x');
    while (unsigned n = f.GetLine(buf.data(), size, terminator)) {
        Check(n <= size || dynamic_cast<ZEMPackFile*>(&f));
        const size_t stored = std::min<size_t>(n - 1, size - 1);
        lines.push_back(std::to_string(n) + ":" + std::string(buf.data(), stored));
    }
    return lines;
}

std::vector<std::string> StringLines(ZEMResFile& f, unsigned limit, char terminator) {
    std::vector<std::string> lines;
    ZEMString line;
    while (unsigned n = f.GetLine(line, limit, terminator)) {
        // Zero bytes belong to the line, so the whole length counts, not the C string.
        const char* text = line;
        Check((text != nullptr) == (line.Length() != 0));
        lines.push_back(std::to_string(n) + ":" + std::string(text ? text : "", line.Length()));
    }
    return lines;
}

// The values of enough rounds to pass the end. The state is left out: at the end of the data
// a memory stream refuses reads by its end flag, a disk file by a short read.
std::vector<uint32_t> TypedValues(ZEMResFile& f, unsigned length) {
    std::vector<uint32_t> values;
    for (unsigned round = 0; round <= length / 15 + 1; round++) {
        values.push_back(f.Read8());
        values.push_back(f.ReadBE16());
        values.push_back(f.Read32());
        const double value = f.ReadDbl();
        uint64_t bits;
        memcpy(&bits, &value, sizeof bits);
        values.push_back(uint32_t(bits));
        values.push_back(uint32_t(bits >> 32));
    }
    return values;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t length) {
    if (length < 3) return 0;
    const char terminator = input[0] & 1 ? '\n' : char(input[0] >> 1);
    const unsigned size = input[1] + 1u;
    const unsigned limit = input[1] == 0xFF ? 0xFFFFFFFFu : input[1];
    const unsigned windowStart = input[2];
    const uint8_t* data = input + 3;
    const unsigned n = unsigned(length - 3);
    if (n == 0) return 0;
    SCRATCH.Write(data, n);

    std::vector<unsigned char> block(data, data + n);
    ZEMMemFile mem(n, ZEMResFile::READ, block.data());
    ZEMFile file(SCRATCH.Path(), ZEMResFile::READ);
    Check(mem.IsOK() && file.IsOK());
    Check(CharLines(mem, size, terminator) == CharLines(file, size, terminator));
    mem.SeekStart();
    file.SeekStart();
    Check(StringLines(mem, limit, terminator) == StringLines(file, limit, terminator));
    mem.SeekStart();
    file.SeekStart();
    Check(TypedValues(mem, n) == TypedValues(file, n));

    ZEMPackFile window(SCRATCH.Path(), windowStart, n, ZEMResFile::READ);
    if (!window.IsOK()) return 0;
    const unsigned windowLength = n - windowStart;
    CharLines(window, size, terminator);
    Check(window.GetPos() <= windowLength);
    window.SeekStart();
    StringLines(window, limit, terminator);
    Check(window.GetPos() == (limit ? windowLength : 0));
    return 0;
}
