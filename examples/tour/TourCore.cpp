#include "Tour.h"

#include <zem/core.h>

void TourCore() {
    ZEM::LOG("== ZEMBase %s (version number %d)\n", ZEM::Versiont(), ZEM::Versioni());
}
