// The class constants of the public interface, defined once more here so that the DLL emits and
// exports them: a Windows program that takes one by reference (std::max, std::min, a const&
// parameter) imports it from zembase.dll, where it would otherwise not be.
#include <zem/core/ZEMString.h>
#include <zem/graphics/ZEMFontBuilder.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider/ZEMArchive.h>
#include <zem/provider/ZEMDir.h>
#include <zem/resource/ZEMResMgr.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/text/ZEMText.h>

constexpr unsigned ZEMString::NPOS;
constexpr unsigned ZEMText::NPOS;
constexpr unsigned ZEMPal::MAX_COLORS;
constexpr unsigned ZEMResMgr::NO_INDEX;
constexpr uint32_t ZEMArchive::HEADER_SIZE;
constexpr uint32_t ZEMDir::MODE_DIRECTORY;
constexpr uint32_t ZEMDir::MODE_FILE;
constexpr uint32_t ZEMDir::MODE_HIDDEN;
constexpr unsigned ZEMResFile::READ;
constexpr unsigned ZEMResFile::WRITE;
constexpr unsigned ZEMResFile::TRUNCATE;
constexpr unsigned ZEMResFile::CREATE;
constexpr unsigned ZEMResFile::APPEND;
constexpr unsigned ZEMResFile::ST_OK;
constexpr unsigned ZEMResFile::ST_SEEK_ERROR;
constexpr unsigned ZEMResFile::ST_WRITE_END;
constexpr unsigned ZEMResFile::ST_READ_END;
constexpr unsigned ZEMResFile::ST_CLOSED;
constexpr unsigned ZEMResFile::ST_BAD_MODE;
constexpr unsigned ZEMResFile::ST_OPEN_ERROR;
#if ZEM_HAS_FREETYPE
constexpr unsigned ZEMFontBuilder::MAX_SIZE;
#endif
