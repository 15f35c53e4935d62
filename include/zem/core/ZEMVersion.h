#ifndef ZEM_CORE_ZEMVERSION_H
#define ZEM_CORE_ZEMVERSION_H

#include <zem/core/ZEMExport.h>

#include <cstdint>

// The library's version: major, minor, release.
struct ZEMVersion {
    // The three numbers of "major.minor.release".
    uint8_t major;
    uint8_t minor;
    uint8_t release;
};

namespace ZEM {

// The library's constant version record (0, 20, 0).
ZEM_API const ZEMVersion* Versionv();
// The version as one integer: major * 10000 + minor * 100 + release.
ZEM_API int Versioni();
// The version as text, "0.20.0".
ZEM_API const char* Versiont();

} // namespace ZEM

#endif
