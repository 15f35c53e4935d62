#ifndef ZEM_ZEMBASE_H
#define ZEM_ZEMBASE_H

// The whole library: every public header, through the header of each subsystem.

//! \namespace ZEM
//! The library's free functions: the log, the version, math, angles and random numbers.
#include <zem/core.h>
#include <zem/graphics.h>
#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream.h>
#include <zem/text.h>

#endif
