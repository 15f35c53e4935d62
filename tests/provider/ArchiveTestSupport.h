#ifndef ZEM_TESTS_ARCHIVETESTSUPPORT_H
#define ZEM_TESTS_ARCHIVETESTSUPPORT_H

// Byte-level helpers shared by the archive tests.

#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include <cstdint>
#include <memory>
#include <string>

namespace archtest {

inline std::string Le32(uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = char(value >> (8 * i));
    return bytes;
}

inline uint32_t GetLe32(const std::string& bytes, size_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = value << 8 | uint8_t(bytes.at(at + i));
    return value;
}

// A name padded with zero bytes to a field of width bytes.
inline std::string Field(const std::string& name, size_t width) {
    std::string field = name.substr(0, width);
    field.resize(width, '\0');
    return field;
}

inline std::string ZemRecord(const std::string& name, uint32_t size, uint32_t offset,
                             uint32_t date) {
    return Field(name, 32) + Le32(size) + Le32(offset) + Le32(date);
}

inline std::string PakRecord(const std::string& name, uint32_t offset, uint32_t size) {
    return Field(name, 56) + Le32(offset) + Le32(size);
}

// Distinct, recognisable content of a given length.
inline std::string Bytes(size_t length, char seed) {
    std::string bytes(length, '\0');
    for (size_t i = 0; i < length; ++i)
        bytes[i] = char(seed + i * 7);
    return bytes;
}

// Everything a stream delivers from its position on; "<null>" for no stream.
inline std::string Drain(ZEMResFile* stream) {
    if (!stream) return "<null>";
    std::unique_ptr<ZEMResFile> owned(stream);
    std::string bytes;
    char buffer[1000];
    unsigned got;
    while ((got = stream->Read(buffer, sizeof buffer)) > 0)
        bytes.append(buffer, got);
    return bytes;
}

// A member's bytes as its stream gives them.
inline std::string Member(const ZEMArchive& archive, unsigned index) {
    return Drain(archive.OpenResFile(index));
}

} // namespace archtest

#endif
