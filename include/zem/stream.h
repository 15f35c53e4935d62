#ifndef ZEM_STREAM_H
#define ZEM_STREAM_H

// Streams: the stream interface, disk files, memory blocks and file ranges.

#endif
