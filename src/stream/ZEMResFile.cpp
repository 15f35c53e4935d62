#include <zem/stream/ZEMResFile.h>

#include <new>

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

// Fills bytes from the stream; false (the value reads as 0) when fewer arrived.
template <size_t N>
bool Fill(ZEMResFile& file, uint8_t (&bytes)[N]) {
    return file.Read(bytes, N) == N;
}

} // namespace

uint8_t ZEMResFile::Read8() {
    uint8_t b[1];
    return Fill(*this, b) ? b[0] : 0;
}

uint16_t ZEMResFile::Read16() {
    uint8_t b[2];
    return Fill(*this, b) ? GetLE16(b) : 0;
}

uint16_t ZEMResFile::ReadBE16() {
    uint8_t b[2];
    return Fill(*this, b) ? GetBE16(b) : 0;
}

uint32_t ZEMResFile::Read32() {
    uint8_t b[4];
    return Fill(*this, b) ? GetLE32(b) : 0;
}

uint32_t ZEMResFile::ReadBE32() {
    uint8_t b[4];
    return Fill(*this, b) ? GetBE32(b) : 0;
}

float ZEMResFile::ReadFl() {
    uint8_t b[4];
    return Fill(*this, b) ? GetFl(b) : 0.0f;
}

double ZEMResFile::ReadDbl() {
    uint8_t b[8];
    return Fill(*this, b) ? GetDbl(b) : 0.0;
}

namespace {

void PutLE(uint8_t* p, uint64_t value, unsigned n) {
    for (unsigned i = 0; i < n; i++)
        p[i] = uint8_t(value >> (8 * i));
}

void PutBE(uint8_t* p, uint64_t value, unsigned n) {
    for (unsigned i = 0; i < n; i++)
        p[i] = uint8_t(value >> (8 * (n - 1 - i)));
}

template <size_t N>
bool Put(ZEMResFile& file, const uint8_t (&bytes)[N]) {
    return file.Write(bytes, N) == N;
}

} // namespace

bool ZEMResFile::Write8(unsigned char value) {
    const uint8_t b[1] = {value};
    return Put(*this, b);
}

bool ZEMResFile::Write16(unsigned short value) {
    uint8_t b[2];
    PutLE(b, value, 2);
    return Put(*this, b);
}

bool ZEMResFile::WriteBE16(unsigned short value) {
    uint8_t b[2];
    PutBE(b, value, 2);
    return Put(*this, b);
}

bool ZEMResFile::Write32(unsigned value) {
    uint8_t b[4];
    PutLE(b, value, 4);
    return Put(*this, b);
}

bool ZEMResFile::WriteBE32(unsigned value) {
    uint8_t b[4];
    PutBE(b, value, 4);
    return Put(*this, b);
}

bool ZEMResFile::WriteFl(float value) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint8_t b[4];
    PutLE(b, bits, 4);
    return Put(*this, b);
}

bool ZEMResFile::WriteDbl(double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    uint8_t b[8];
    PutLE(b, bits, 8);
    return Put(*this, b);
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
