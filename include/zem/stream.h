#ifndef ZEM_STREAM_H
#define ZEM_STREAM_H

// Streams: the stream interface, disk files, memory blocks, file ranges and safe saves.
#include <zem/stream/ZEMFile.h>
#include <zem/stream/ZEMMemFile.h>
#include <zem/stream/ZEMPackFile.h>
#include <zem/stream/ZEMResFile.h>
#include <zem/stream/ZEMSaveFile.h>

#endif
