#ifndef ZEM_GRAPHICS_CODEC_ZEMCODECTABLE_H
#define ZEM_GRAPHICS_CODEC_ZEMCODECTABLE_H

#include <cstdint>

class ZEMImage;
class ZEMPal;
class ZEMResFile;

namespace ZEM {
namespace Codec {

using LoadFunction = bool (*)(ZEMResFile&, uint8_t*&, uint32_t&, uint32_t&, ZEMPal*&, uint16_t&);
using SaveFunction = bool (*)(ZEMResFile&, const ZEMImage&);
// Whether the first bytes of a file (size of them, at most DETECT_BYTES) begin a file of a format.
using DetectFunction = bool (*)(const uint8_t* head, unsigned size);

// The bytes that format detection looks at: a TGA header, the longest without a magic.
constexpr unsigned DETECT_BYTES = 18;

// One picture format of ZEMImage's Load and Save: a row of the codec table. Adding a format is
// adding a row.
struct Format {
    int number;              // the format number of Load and Save
    const char* name;        // for messages
    DetectFunction detect;   // null: FindFormat never gives this number
    LoadFunction load;       // null: not read
    SaveFunction save;       // null: not written
    uint32_t maxSide;        // widest and highest picture the files hold
    const char* tooLarge;    // why a larger picture cannot be saved
    bool savesTwoBytePixels; // writes 15- and 16-bit pictures
};

// The row of a format number; null when no format has it.
const Format* FormatNumbered(int number);
// The row whose files begin with head, the formats with a magic tried before those without;
// null when none does.
const Format* DetectFormat(const uint8_t* head, unsigned size);
// The format that Save uses for format 0.
int DefaultSaveFormat(unsigned bpp);
// The names of the formats that are read, as "BMP, GIF, ...".
const char* ReadFormatNames();

} // namespace Codec
} // namespace ZEM

#endif
