#ifndef ZEM_TESTS_STREAM_STREAMFIXTURES_H
#define ZEM_TESTS_STREAM_STREAMFIXTURES_H

#include "ZEMTestSupport.h"

#include <zem/stream.h>

#include <memory>
#include <string>
#include <vector>

namespace streamtest {

enum class Kind { File, Mem, Pack };

inline const char* KindName(Kind kind) {
    return kind == Kind::File ? "File" : kind == Kind::Mem ? "Mem" : "Pack";
}

// Bytes around a window in the container, which the window must never show or change.
const std::string PACK_BEFORE = "<<before>>";
const std::string PACK_AFTER = "<<after>>";

// A stream of the given kind over bytes, opened read/write in the working directory. The
// memory block lives in block, which must outlive the stream.
inline std::unique_ptr<ZEMResFile> MakeStream(Kind kind, const std::string& bytes,
                                              std::vector<unsigned char>& block) {
    const unsigned rw = ZEMResFile::READ | ZEMResFile::WRITE;
    switch (kind) {
    case Kind::File:
        zemtest::WriteFile("stream.dat", bytes);
        return std::make_unique<ZEMFile>("stream.dat", rw);
    case Kind::Mem:
        block.assign(bytes.begin(), bytes.end());
        return std::make_unique<ZEMMemFile>(unsigned(block.size()), rw, block.data());
    case Kind::Pack:
        zemtest::WriteFile("container.dat", PACK_BEFORE + bytes + PACK_AFTER);
        return std::make_unique<ZEMPackFile>("container.dat", unsigned(PACK_BEFORE.size()),
                                             unsigned(PACK_BEFORE.size() + bytes.size()), rw);
    }
    return nullptr;
}

// The bytes that the stream of MakeStream holds now (the stream must be flushed).
inline std::string StreamBytes(Kind kind, const std::vector<unsigned char>& block) {
    switch (kind) {
    case Kind::File:
        return zemtest::ReadFile("stream.dat");
    case Kind::Mem:
        return std::string(block.begin(), block.end());
    case Kind::Pack: {
        std::string all = zemtest::ReadFile("container.dat");
        if (all.size() < PACK_BEFORE.size() + PACK_AFTER.size()) return "container damaged";
        if (all.compare(0, PACK_BEFORE.size(), PACK_BEFORE) != 0 ||
            all.compare(all.size() - PACK_AFTER.size(), PACK_AFTER.size(), PACK_AFTER) != 0)
            return "container damaged";
        return all.substr(PACK_BEFORE.size(), all.size() - PACK_BEFORE.size() - PACK_AFTER.size());
    }
    }
    return "";
}

class StreamKindTest : public zemtest::TempDirTest, public ::testing::WithParamInterface<Kind> {
protected:
    std::unique_ptr<ZEMResFile> Make(const std::string& bytes) {
        return MakeStream(GetParam(), bytes, block_);
    }
    std::string Bytes() const { return StreamBytes(GetParam(), block_); }

private:
    std::vector<unsigned char> block_;
};

} // namespace streamtest

#endif
