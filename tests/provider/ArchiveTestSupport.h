#ifndef ZEM_TESTS_ARCHIVETESTSUPPORT_H
#define ZEM_TESTS_ARCHIVETESTSUPPORT_H

// Byte-level helpers shared by the archive tests.

#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// A PAK file as another program may write it: members under the given names, data back to back
// from offset 12 in the order given, the directory behind them.
inline std::string PakFile(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string data;
    std::string directory;
    for (const auto& [name, bytes] : members) {
        directory += PakRecord(name, uint32_t(12 + data.size()), uint32_t(bytes.size()));
        data += bytes;
    }
    return "PACK" + Le32(uint32_t(12 + data.size())) + Le32(uint32_t(directory.size())) + data +
           directory;
}

// An extraction folder "dest" laid as a trap, for a PAK of the members a.txt, b.txt,
// maps/e1m1.bsp and h.txt: a.txt links to the file outside/canary.txt, b.txt to the missing
// outside/new.txt, maps to the folder outside, and h.txt is a hard link of outside/hard.txt.
inline void MakeLinkTrap() {
    namespace fs = std::filesystem;
    fs::create_directories("outside");
    fs::create_directories("dest");
    for (const auto& [path, bytes] :
         {std::pair<const char*, const char*>{"outside/canary.txt", "canary"},
          {"outside/hard.txt", "hard"}}) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    fs::create_symlink("../outside/canary.txt", "dest/a.txt");
    fs::create_symlink("../outside/new.txt", "dest/b.txt");
    fs::create_directory_symlink("../outside", "dest/maps");
    fs::create_hard_link("outside/hard.txt", "dest/h.txt");
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
