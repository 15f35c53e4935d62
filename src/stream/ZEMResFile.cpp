#include <zem/stream/ZEMResFile.h>

#include <new>
#include <type_traits>

ZEMResFile::~ZEMResFile() = default;

void ZEMResFile::Close() {
    delete[] name;
    name = nullptr;
    mode = 0;
    state = ST_CLOSED;
    eof = true;
}

bool ZEMResFile::Eof() const {
    return eof;
}

unsigned ZEMResFile::WriteStr(const ZEMString& s, unsigned count) {
    const unsigned n = count < s.Length() ? count : s.Length();
    if (n == 0) return 0;
    return Write(static_cast<const char*>(s), n);
}

namespace {

// One Write of the N low bytes of bits, lowest first unless bigEndian.
template <unsigned N>
bool WriteValue(ZEMResFile& file, uint64_t bits, bool bigEndian) {
    uint8_t bytes[N];
    for (unsigned i = 0; i < N; i++)
        bytes[bigEndian ? N - 1 - i : i] = uint8_t(bits >> (8 * i));
    return file.Write(bytes, N) == N;
}

template <class T>
uint64_t Bits(T value) {
    typename std::conditional<sizeof(T) == 4, uint32_t, uint64_t>::type bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

} // namespace

bool ZEMResFile::Write8(unsigned char value) {
    return WriteValue<1>(*this, value, false);
}
bool ZEMResFile::Write16(unsigned short value) {
    return WriteValue<2>(*this, value, false);
}
bool ZEMResFile::WriteBE16(unsigned short value) {
    return WriteValue<2>(*this, value, true);
}
bool ZEMResFile::Write32(unsigned value) {
    return WriteValue<4>(*this, value, false);
}
bool ZEMResFile::WriteBE32(unsigned value) {
    return WriteValue<4>(*this, value, true);
}
bool ZEMResFile::WriteFl(float value) {
    return WriteValue<4>(*this, Bits(value), false);
}
bool ZEMResFile::WriteDbl(double value) {
    return WriteValue<8>(*this, Bits(value), false);
}

const char* ZEMResFile::ModeText(unsigned mode) {
    switch (mode) {
    case READ:
        return "read only";
    case WRITE:
        return "write only";
    case READ | WRITE:
        return "read/write";
    default:
        return "error";
    }
}

const char* ZEMResFile::StateText(unsigned state) {
    switch (state) {
    case ST_OK:
        return "OK";
    case ST_SEEK_ERROR:
        return "fseek error";
    case ST_WRITE_END:
        return "write at end";
    case ST_READ_END:
        return "read at end";
    case ST_CLOSED:
        return "file closed";
    case ST_BAD_MODE:
        return "bad open mode";
    case ST_OPEN_ERROR:
        return "open error";
    default:
        return "unknown";
    }
}

char* ZEMResFile::CopyName(const char* text) {
    if (!text) return nullptr;
    const size_t n = std::strlen(text) + 1;
    char* copy = new (std::nothrow) char[n];
    if (copy) std::memcpy(copy, text, n);
    return copy;
}
