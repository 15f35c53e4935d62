#ifndef ZEM_GRAPHICS_CODEC_ZEMCODECREADER_H
#define ZEM_GRAPHICS_CODEC_ZEMCODECREADER_H

#include <cstdint>

class ZEMResFile;

namespace ZEM {
namespace Codec {

// Reads a stream byte by byte through a block buffer, for packed pixel data whose decoders take
// one byte at a time. Past the end of the stream every byte reads as 0. When it goes, the reader
// moves the stream back over the bytes it took but did not hand out, so the stream stands just
// after the picture.
class Reader {
public:
    explicit Reader(ZEMResFile& file) : file_(file) {}
    ~Reader();
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // The next byte; 0 past the end.
    uint8_t Get() { return pos_ < end_ ? buffer_[pos_++] : Refill(); }
    // Up to n bytes into to; returns how many arrived.
    unsigned Read(uint8_t* to, unsigned n);
    // True when no byte is left.
    bool AtEnd() { return pos_ == end_ && !Fill(); }
    // True once a byte was asked for past the end.
    bool Short() const { return short_; }

private:
    static constexpr unsigned BUFFER_SIZE = 16384;

    // Fills the buffer and hands out its first byte; 0 (and Short) when the stream has no more.
    uint8_t Refill();
    bool Fill();

    ZEMResFile& file_;
    unsigned pos_ = 0;
    unsigned end_ = 0;
    bool short_ = false;
    uint8_t buffer_[BUFFER_SIZE];
};

// Bytes from the stream's position to its end; the position is kept.
uint64_t BytesLeft(ZEMResFile& file);

} // namespace Codec
} // namespace ZEM

#endif
