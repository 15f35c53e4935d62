#include <zem/graphics/ZEMCodec.h>

#include "graphics/codec/ZEMCodecPicture.h"
#include "graphics/codec/ZEMCodecReader.h"

#include <zem/core/ZEMLog.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/stream/ZEMResFile.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

using ZEM::Codec::Picture;
using ZEM::Codec::Reader;

constexpr unsigned TABLE_SIZE = 4096;      // LZW codes are at most 12 bits
constexpr unsigned MAX_MIN_CODE_SIZE = 11; // its clear code must lie inside the tables
// Bytes the picture may unpack to per byte of the file: a code of 2 bits or more stands for at
// most 4096 bytes.
constexpr uint64_t LZW_MOST_PER_BYTE = 4 * TABLE_SIZE;

struct ColourTable {
    unsigned count = 0;
    uint8_t rgb[256 * 3] = {};
};

// The palette of a file without colour tables: its indexes taken as grey levels.
void SetGreyLevels(ColourTable& table) {
    table.count = 256;
    for (unsigned i = 0; i < 3 * 256; ++i)
        table.rgb[i] = uint8_t(i / 3);
}

bool OutOfMemory() {
    ZEM::LOG("GIF: out of memory\n");
    return false;
}

bool ReadColourTable(Reader& in, ColourTable& table, unsigned count) {
    table.count = count;
    if (in.Read(table.rgb, 3 * count) != 3 * count) {
        ZEM::LOG("GIF: bad colormap\n");
        return false;
    }
    return true;
}

// Reads the data sub-blocks of one image (or extension) and hands out the LZW codes they hold,
// packed least significant bit first. All of its state belongs to one decode.
class CodeReader {
public:
    explicit CodeReader(Reader& in) : in_(in) {}

    // The next code of size bits; -1 when the blocks are exhausted.
    int Next(unsigned size) {
        while (count_ < size) {
            if (blockLeft_ == 0 && !NextBlock()) return -1;
            if (in_.AtEnd()) { // a block cut short: its bytes that arrived count
                done_ = true;
                return -1;
            }
            bits_ |= uint32_t(in_.Get()) << count_;
            count_ += 8;
            --blockLeft_;
        }
        const int code = int(bits_ & ((1u << size) - 1));
        bits_ >>= size;
        count_ -= size;
        return code;
    }

    // Passes over the blocks up to the terminator block, unless it was read.
    void SkipRest() {
        while (!done_) {
            while (blockLeft_ > 0) {
                in_.Get();
                --blockLeft_;
            }
            NextBlock();
        }
    }

private:
    bool NextBlock() {
        if (done_) return false;
        if (in_.AtEnd()) {
            done_ = true;
            return false;
        }
        blockLeft_ = in_.Get();
        if (blockLeft_ == 0) done_ = true;
        return blockLeft_ > 0;
    }

    Reader& in_;
    uint32_t bits_ = 0;
    unsigned count_ = 0;
    unsigned blockLeft_ = 0;
    bool done_ = false; // the terminator block or the end of the stream was reached
};

// The LZW decoder. Decode writes the picture's bytes in data order into a sink; each string of
// the table is unwound through a stack. Every entry's prefix is a lower code, as only codes up to
// the next free one are taken, so a chain ends and fits the stack.
class Lzw {
public:
    Lzw(Reader& in, unsigned minCodeSize) : codes_(in), minSize_(minCodeSize) {
        clear_ = 1u << minCodeSize;
        end_ = clear_ + 1;
        for (unsigned c = 0; c < clear_; ++c)
            suffix_[c] = uint8_t(c);
        Reset();
    }

    // Calls put(byte) for each decoded byte until put returns false, the data ends or a code is
    // not in the table; false in the last case, with that code kept as BadCode.
    template <class Sink>
    bool Decode(Sink put) {
        int prev = -1;
        uint8_t first = 0;
        for (;;) {
            const int code = codes_.Next(size_);
            if (code < 0) return true;
            if (unsigned(code) == clear_) {
                Reset();
                prev = -1;
                continue;
            }
            if (unsigned(code) == end_) {
                codes_.SkipRest();
                return true;
            }
            if (prev < 0) { // the first code after a clear stands for itself
                if (unsigned(code) > clear_) return Bad(code);
                first = uint8_t(code);
                prev = code;
                if (!put(first)) return true;
                continue;
            }
            unsigned depth = 0;
            unsigned c = unsigned(code);
            if (c > next_) return Bad(code);
            if (c == next_) { // not yet in the table: the previous string and its first byte
                stack_[depth++] = first;
                c = unsigned(prev);
            }
            while (c > clear_) {
                stack_[depth++] = suffix_[c];
                c = prefix_[c];
            }
            first = suffix_[c];
            stack_[depth++] = first;
            if (next_ < TABLE_SIZE) {
                prefix_[next_] = uint16_t(prev);
                suffix_[next_] = first;
                ++next_;
                if (next_ == limit_ && limit_ < TABLE_SIZE) {
                    limit_ *= 2;
                    ++size_;
                }
            }
            prev = code;
            while (depth > 0) {
                if (!put(stack_[--depth])) return true;
            }
        }
    }

    unsigned BadCode() const { return badCode_; }

private:
    bool Bad(int code) {
        badCode_ = unsigned(code);
        return false;
    }

    void Reset() {
        size_ = minSize_ + 1;
        limit_ = 2 * clear_;
        next_ = clear_ + 2;
    }

    CodeReader codes_;
    unsigned minSize_;
    unsigned clear_ = 0;
    unsigned end_ = 0;
    unsigned size_ = 0;
    unsigned limit_ = 0;
    unsigned next_ = 0;
    unsigned badCode_ = 0;
    uint16_t prefix_[TABLE_SIZE] = {};
    uint8_t suffix_[TABLE_SIZE] = {};
    uint8_t stack_[TABLE_SIZE + 1];
};

// Where the rows of a picture go: in order, or interlaced in four passes (every 8th row from 0,
// every 8th from 4, every 4th from 2, every 2nd from 1).
class RowOrder {
public:
    RowOrder(uint32_t height, bool interlaced) : height_(height), interlaced_(interlaced) {}

    // The row after the current one; false when the picture is full.
    bool Advance() {
        if (!interlaced_) return ++row_ < height_;
        static const uint32_t START[4] = {0, 4, 2, 1};
        static const uint32_t STEP[4] = {8, 8, 4, 2};
        row_ += STEP[pass_];
        while (row_ >= height_) {
            if (++pass_ == 4) return false;
            row_ = START[pass_];
        }
        return true;
    }
    uint32_t Row() const { return row_; }

private:
    uint32_t height_;
    bool interlaced_;
    uint32_t row_ = 0;
    unsigned pass_ = 0;
};

bool SkipExtension(Reader& in) {
    for (;;) {
        if (in.AtEnd()) return false;
        const unsigned length = in.Get();
        if (length == 0) return true;
        uint8_t block[255];
        if (in.Read(block, length) != length) return false;
    }
}

// Decodes one image's data into picture; false (with a message) when the data is broken.
bool ReadImage(Reader& in, Picture& picture, bool interlaced) {
    if (in.AtEnd()) {
        ZEM::LOG("GIF: EOF / read error on image data\n");
        return false;
    }
    const unsigned minCodeSize = in.Get();
    if (minCodeSize > MAX_MIN_CODE_SIZE) {
        ZEM::LOG("GIF: bad code size %u\n", minCodeSize);
        return false;
    }
    RowOrder rows(picture.height, interlaced);
    uint8_t* row = picture.Row(0);
    uint32_t x = 0;
    uint32_t rowsDone = 0;
    const uint32_t width = picture.width;
    auto put = [&](uint8_t index) {
        row[x] = index;
        if (++x < width) return true;
        x = 0;
        ++rowsDone;
        if (!rows.Advance()) return false;
        row = picture.Row(rows.Row());
        return true;
    };
    // The decoder's tables are too large for the stack beside the reader's buffer.
    std::unique_ptr<Lzw> lzw(new (std::nothrow) Lzw(in, minCodeSize));
    if (!lzw) return OutOfMemory();
    if (!lzw->Decode(put)) {
        ZEM::LOG("GIF: image data damaged after %u of %u rows: code %u is not in the table\n",
                 unsigned(rowsDone), unsigned(picture.height), lzw->BadCode());
        return false;
    }
    if (rowsDone < picture.height) {
        ZEM::Codec::LogCutShort("GIF", rowsDone, picture.height);
        return false;
    }
    return true;
}

} // namespace

namespace ZEM {

bool GIFLoad(ZEMResFile& file, uint8_t*& data, uint32_t& width, uint32_t& height, ZEMPal*& palette,
             uint16_t& bpp) {
    if (!file.IsOK()) return false;
    const uint64_t fileBytes = Codec::BytesLeft(file);
    Reader in(file);
    uint8_t head[13];
    if (in.Read(head, 6) != 6 || std::memcmp(head, "GIF8", 4) != 0 ||
        (head[4] != '7' && head[4] != '9') || head[5] != 'a') {
        ZEM::LOG("GIF: error reading magic number\n");
        return false;
    }
    if (in.Read(head + 6, 7) != 7) {
        ZEM::LOG("GIF: failed to read screen descriptor\n");
        return false;
    }
    ColourTable global;
    if (!(head[10] & 0x80)) {
        SetGreyLevels(global);
    } else if (!ReadColourTable(in, global, 2u << (head[10] & 7))) {
        ZEM::LOG("GIF: error reading global colormap\n");
        return false;
    }

    for (;;) {
        if (in.AtEnd()) {
            ZEM::LOG("GIF: EOF / read error on image data\n");
            return false;
        }
        const uint8_t c = in.Get();
        if (c == ';') {
            ZEM::LOG("GIF: only 0/1 images found in file\n"); // the first image is the one wanted
            return false;
        }
        if (c == '!') {
            if (in.AtEnd()) {
                ZEM::LOG("GIF: EOF / read error on extension function code\n");
                return false;
            }
            in.Get(); // the label: no extension changes the picture
            SkipExtension(in);
            continue;
        }
        if (c != ',') continue;

        uint8_t desc[9];
        if (in.Read(desc, sizeof desc) != sizeof desc) {
            ZEM::LOG("GIF: couldn't read left/top/width/height\n");
            return false;
        }
        const uint32_t w = uint32_t(desc[4] | desc[5] << 8);
        const uint32_t h = uint32_t(desc[6] | desc[7] << 8);
        const uint8_t flags = desc[8];
        ColourTable local;
        const ColourTable* table = &global;
        if (flags & 0x80) {
            if (!ReadColourTable(in, local, 2u << (flags & 7))) {
                ZEM::LOG("GIF: error reading local colormap\n");
                return false;
            }
            table = &local;
        }
        Picture picture;
        if (uint64_t(w) * h > fileBytes * LZW_MOST_PER_BYTE || !picture.Allocate(w, h, 8)) {
            ZEM::LOG("GIF: bad image size %u x %u\n", w, h);
            return false;
        }
        if (!ReadImage(in, picture, (flags & 0x40) != 0)) return false;
        ZEMPal* pal = picture.NewPalette(table->count);
        if (!pal) return OutOfMemory();
        pal->SetFromRGB(table->rgb, table->count, 0);
        return picture.Commit(data, width, height, palette, bpp);
    }
}

} // namespace ZEM
