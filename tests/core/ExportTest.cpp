// Every class constant of the public interface is usable by reference from a program linked
// against the shared library: on Windows each one is then imported from zembase.dll.
#include <zem/core/ZEMString.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/provider/ZEMDir.h>
#include <zem/resource/ZEMResMgr.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

#include <gtest/gtest.h>

#include <vector>

namespace {

// A program's own archive format reaches the protected constant.
struct ArchiveHeader : ZEMArchive {
    static const uint32_t& Size() { return HEADER_SIZE; }
};

unsigned ByReference(const unsigned& value) {
    return value;
}

} // namespace

TEST(Export, ClassConstantsLinkByReference) {
    const std::vector<unsigned> values = {
        ByReference(ZEMString::NPOS),           ByReference(ZEMText::NPOS),
        ByReference(ZEMPal::MAX_COLORS),        ByReference(ZEMResMgr::NO_INDEX),
        ByReference(ArchiveHeader::Size()),     ByReference(ZEMDir::MODE_DIRECTORY),
        ByReference(ZEMDir::MODE_FILE),         ByReference(ZEMDir::MODE_HIDDEN),
        ByReference(ZEMResFile::READ),          ByReference(ZEMResFile::WRITE),
        ByReference(ZEMResFile::TRUNCATE),      ByReference(ZEMResFile::CREATE),
        ByReference(ZEMResFile::APPEND),        ByReference(ZEMResFile::ST_OK),
        ByReference(ZEMResFile::ST_SEEK_ERROR), ByReference(ZEMResFile::ST_WRITE_END),
        ByReference(ZEMResFile::ST_READ_END),   ByReference(ZEMResFile::ST_CLOSED),
        ByReference(ZEMResFile::ST_BAD_MODE),   ByReference(ZEMResFile::ST_OPEN_ERROR)};
    EXPECT_EQ(values.front(), 0xFFFFFFFFu);
    EXPECT_EQ(values[4], 12u);
    EXPECT_EQ(values.back(), 0x30u);
#if ZEM_HAS_FREETYPE
    EXPECT_EQ(ByReference(ZEMFontBuilder::MAX_SIZE), 255u);
#endif
}
