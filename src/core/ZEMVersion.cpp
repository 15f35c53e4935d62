#include <zem/core/ZEMVersion.h>

namespace {
const ZEMVersion VERSION = {0, 20, 0};
}

namespace ZEM {

const ZEMVersion* Versionv() { return &VERSION; }

int Versioni() { return VERSION.major * 10000 + VERSION.minor * 100 + VERSION.release; }

const char* Versiont() { return "0.20.0"; }

} // namespace ZEM
