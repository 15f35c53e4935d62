#ifndef ZEM_GRAPHICS_ZEMPAL_H
#define ZEM_GRAPHICS_ZEMPAL_H

#include <zem/core/ZEMExport.h>
#include <zem/resource/ZEMResource.h>

#include <cstdint>

class ZEMResFile;

// A colour table of at most 4096 colours of four bytes: red, green, blue, alpha. 8-bit images own
// one; it also loads from and saves to five palette file formats.
//
// Format numbers of Load and Save (and results of FindFormat):
//   0 detect (Load) or ZEM palette (Save), 1 ZEM palette ("ZEMP"), 2 GIMP palette text,
//   3 JASC palette text, 4 raw RGB triplets, 5 raw BGR triplets.
class ZEM_API ZEMPal : public ZEMResource {
public:
    // The most colours a palette holds.
    static constexpr unsigned MAX_COLORS = 4096;

    // nbColors colours, uninitialised (no array when 0).
    explicit ZEMPal(unsigned nbColors);
    // Loaded from the disk file fileName; empty when it cannot be opened or read.
    ZEMPal(const char* fileName, int format);
    // Loaded from the stream when it is open.
    ZEMPal(ZEMResFile& file, int format);
    // A copy of source; empty for null.
    explicit ZEMPal(const ZEMPal* source);
    ~ZEMPal() override;
    ZEMPal(const ZEMPal&) = delete;
    ZEMPal& operator=(const ZEMPal&) = delete;

    // Colours first.. take three bytes each (red, green, blue; alpha 0) from rgb; the palette grows
    // to first + count when it is smaller.
    void SetFromRGB(const unsigned char* rgb, unsigned count, unsigned first);
    // The same with four bytes per colour copied as they are.
    void SetFromRGBA(const unsigned char* rgba, unsigned count, unsigned first);
    // Sets the number of colours, keeping those that stay; capped at 4096 (with a note in the log).
    void Resize(unsigned n);
    // Grows the palette to n colours (at most 256) when smaller, then makes the whole palette an
    // even grey scale from black.
    void GenerateGreyScale(unsigned n);
    // Turns every colour into the grey of equal weights (red + green + blue) / 3.
    void ToGreyScale();

    // 4 bytes per colour + 12.
    unsigned MemoryUsed() const override;
    // Replaces the colours with those the stream holds in the given format.
    bool Load(ZEMResFile& file, int format) override;
    // The format of the palette at the start of the stream (1 to 4), 0 when unknown; the stream is
    // left at its start.
    int FindFormat(ZEMResFile& file);
    // How many colours the palette at the start of the stream holds in the given format (0
    // detects it), whether a load keeps them or not: loads keep at most 256 of a GIMP or raw
    // file and 4096 of the others. The stream is left at its start.
    unsigned FileColors(ZEMResFile& file, int format);
    // Reads a ZEM palette file ("ZEMP").
    bool ZEMLoad(ZEMResFile& file);
    // Reads a GIMP palette; header, column and comment lines are skipped.
    bool GIMPLoad(ZEMResFile& file);
    // Reads a JASC palette; at most 4096 colours are kept.
    bool JASCLoad(ZEMResFile& file);
    // Raw triplets, RGB for format 4 and BGR for 5; at most 256 colours.
    bool RGBLoad(ZEMResFile& file, int format);
    // Writes the palette in the given format; true when the stream took every byte.
    bool Save(ZEMResFile& file, int format) override;
    // Writes the colours to the log.
    void PrintInfo() const;

    uint32_t nbColors = 0;           // number of colours
    unsigned char* colors = nullptr; // nbColors colours of four bytes, owned; null when none
};

#endif
