#ifndef ZEM_CORE_H
#define ZEM_CORE_H

// Core services: log, version, strings, math, geometry and random numbers.
#include <zem/core/ZEMLog.h>
#include <zem/core/ZEMString.h>
#include <zem/core/ZEMVersion.h>

#endif
