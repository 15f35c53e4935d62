#ifndef ZEM_TESTS_ARCHIVETESTSUPPORT_H
#define ZEM_TESTS_ARCHIVETESTSUPPORT_H

// Byte-level helpers shared by the archive tests.

#include <zem/provider/ZEMArchive.h>
#include <zem/stream/ZEMResFile.h>

#include "ZEMTestSupport.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
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

// A hostile ZEM file: count members "m0", "m1"... that all name the same bytes, and a last member
// "dir" whose bytes are the directory's first record.
inline std::string OverlappingZem(unsigned count, const std::string& bytes) {
    const uint32_t dirAt = uint32_t(12 + bytes.size());
    std::string directory;
    for (unsigned i = 0; i < count; ++i)
        directory += ZemRecord("m" + std::to_string(i), uint32_t(bytes.size()), 12, 0);
    directory += ZemRecord("dir", 44, dirAt, 0);
    return "ZEMA" + Le32(dirAt) + Le32(count + 1) + bytes + directory;
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

// A ZEM file as another program may write it, laid out as PakFile lays a PAK file (no dates).
inline std::string ZemFile(const std::vector<std::pair<std::string, std::string>>& members) {
    std::string data;
    std::string directory;
    for (const auto& [name, bytes] : members) {
        directory += ZemRecord(name, uint32_t(bytes.size()), uint32_t(12 + data.size()), 0);
        data += bytes;
    }
    return "ZEMA" + Le32(uint32_t(12 + data.size())) + Le32(uint32_t(members.size())) + data +
           directory;
}

// Member names that would leave the extraction folder, reach a device or become another name
// on the disk, and whether they are refused on every system or on Windows only (elsewhere they
// are plain names and extracted as such). why is the reason the extraction gives.
enum class Refused { NEVER, EVERYWHERE, ON_WINDOWS };

struct HostileName {
    const char* name;
    Refused refused;
    const char* why;
};

inline const std::vector<HostileName>& HostileNames() {
    static const char* const OUT = "its name leads out of the folder";
    static const char* const DEVICE = "its name is a device on Windows";
    static const char* const DROPPED = "its name ends with a dot or a space, which Windows drops";
    static const char* const CHARACTER = "its name holds a character that Windows refuses in names";
    static const std::vector<HostileName> names = {
        {"C:\\escaped", Refused::EVERYWHERE, OUT},
        {"C:escaped", Refused::EVERYWHERE, OUT},
        {"c:/escaped", Refused::EVERYWHERE, OUT},
        // A letter and a colon name a drive on Windows, not a data stream.
        {"a:b", Refused::EVERYWHERE, OUT},
        {"\\\\server\\share\\escaped", Refused::EVERYWHERE, OUT},
        {"/escaped", Refused::EVERYWHERE, OUT},
        {"\\escaped", Refused::EVERYWHERE, OUT},
        {"..\\escaped", Refused::EVERYWHERE, OUT},
        {"a\\..\\..\\escaped", Refused::EVERYWHERE, OUT},
        {"a/../../escaped", Refused::EVERYWHERE, OUT},
        {"tab\tbed", Refused::EVERYWHERE, "its name holds control characters"},
        // The folder itself, not a file in it.
        {".", Refused::EVERYWHERE, "its name ends with '.', which names a folder: it is no file"},
        {"sub/.", Refused::EVERYWHERE,
         "its name ends with '.', which names a folder: it is no file"},
        {"CON", Refused::ON_WINDOWS, DEVICE},
        {"nul.txt", Refused::ON_WINDOWS, DEVICE},
        {"Aux", Refused::ON_WINDOWS, DEVICE},
        {"com1", Refused::ON_WINDOWS, DEVICE},
        {"LPT1.tar.gz", Refused::ON_WINDOWS, DEVICE},
        {"prn .txt", Refused::ON_WINDOWS, DEVICE},
        {"b/con/x", Refused::ON_WINDOWS, DEVICE},
        {"Nul\\x", Refused::ON_WINDOWS, DEVICE},
        {"a.", Refused::ON_WINDOWS, DROPPED},
        {"a ", Refused::ON_WINDOWS, DROPPED},
        {"c. ./x", Refused::ON_WINDOWS, DROPPED},
        {"...", Refused::ON_WINDOWS, DROPPED},
        {"file:stream", Refused::ON_WINDOWS, CHARACTER},
        {"a.txt::$DATA", Refused::ON_WINDOWS, CHARACTER},
        {"x<y", Refused::ON_WINDOWS, CHARACTER},
        {"x>y", Refused::ON_WINDOWS, CHARACTER},
        {"x\"y", Refused::ON_WINDOWS, CHARACTER},
        {"x|y", Refused::ON_WINDOWS, CHARACTER},
        {"x?y", Refused::ON_WINDOWS, CHARACTER},
        {"x*y", Refused::ON_WINDOWS, CHARACTER},
        // Near misses, plain names everywhere.
        {"console.txt", Refused::NEVER, ""},
        {"com10", Refused::NEVER, ""},
        {"lpt", Refused::NEVER, ""},
        {"auxiliary/nullity", Refused::NEVER, ""},
        {".hidden", Refused::NEVER, ""},
        {"a b.c", Refused::NEVER, ""},
        {"d/./e", Refused::NEVER, ""},
    };
    return names;
}

// Whether a name is refused on the system the tests run on.
inline bool RefusedHere(const HostileName& name) {
#ifdef _WIN32
    return name.refused != Refused::NEVER;
#else
    return name.refused == Refused::EVERYWHERE;
#endif
}

// The members of an archive of every hostile name, each holding "member " and its name.
inline std::vector<std::pair<std::string, std::string>> HostileMembers() {
    std::vector<std::pair<std::string, std::string>> members;
    for (const HostileName& hostile : HostileNames())
        members.emplace_back(hostile.name, std::string("member ") + hostile.name);
    return members;
}

// What extracting HostileMembers must leave in a folder on this system: each name not refused,
// as a path with '/' and without "." steps, and its bytes.
inline std::map<std::string, std::string> HostileLandings() {
    std::map<std::string, std::string> files;
    for (const HostileName& hostile : HostileNames()) {
        if (RefusedHere(hostile)) continue;
        std::string path = hostile.name;
        std::replace(path.begin(), path.end(), '\\', '/');
        files[std::filesystem::u8path(path).lexically_normal().generic_u8string()] =
            std::string("member ") + hostile.name;
    }
    return files;
}

// The regular files below a folder and their bytes, by their paths below it with '/'.
inline std::map<std::string, std::string> FilesBelow(const std::string& dir) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(fs::u8path(dir))) {
        if (!entry.is_regular_file()) continue;
        const std::string path = entry.path().generic_u8string();
        files[entry.path().lexically_relative(fs::u8path(dir)).generic_u8string()] =
            zemtest::ReadFile(path);
    }
    return files;
}

// An extraction folder "dest" laid as a trap, for a PAK of the members a.txt, b.txt,
// maps/e1m1.bsp and h.txt: a.txt links to the file outside/canary.txt, b.txt to the missing
// outside/new.txt, maps to the folder outside, and h.txt is a hard link of outside/hard.txt.
// False when the system made no symbolic links (the hard link is there all the same).
inline bool MakeLinkTrap() {
    namespace fs = std::filesystem;
    fs::create_directories("outside");
    fs::create_directories("dest");
    for (const auto& [path, bytes] :
         {std::pair<const char*, const char*>{"outside/canary.txt", "canary"},
          {"outside/hard.txt", "hard"}}) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    fs::create_hard_link("outside/hard.txt", "dest/h.txt");
    return zemtest::PlantSymlink("../outside/canary.txt", "dest/a.txt") &&
           zemtest::PlantSymlink("../outside/new.txt", "dest/b.txt") &&
           zemtest::PlantSymlink("../outside", "dest/maps");
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
