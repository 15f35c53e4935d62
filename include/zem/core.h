#ifndef ZEM_CORE_H
#define ZEM_CORE_H

// Core services: log, version, strings, math, geometry and random numbers.
#include <zem/core/ZEMLog.h>
#include <zem/core/ZEMMath.h>
#include <zem/core/ZEMPoint.h>
#include <zem/core/ZEMRandom.h>
#include <zem/core/ZEMRect.h>
#include <zem/core/ZEMString.h>
#include <zem/core/ZEMVec3.h>
#include <zem/core/ZEMVersion.h>

#endif
