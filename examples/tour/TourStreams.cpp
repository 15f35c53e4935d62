#include "Tour.h"

#include <zem/core.h>
#include <zem/stream.h>

namespace {

const char* const FILE_NAME = "tour-streams.dat";

// The values in the order they are stored.
void WriteRecord(ZEMResFile& out) {
    out.WriteStr(ZEMString("ZEMS"), 4);
    out.Write32(0x12345678);
    out.WriteBE32(0x12345678);
    out.Write16(640);
    out.WriteBE16(480);
    out.WriteFl(1.5f);
    out.WriteDbl(3.141592653589793);
}

void ReadRecord(const char* how, ZEMResFile& in) {
    const unsigned le = in.Read32();
    const unsigned be = in.ReadBE32();
    const unsigned width = in.Read16();
    const unsigned height = in.ReadBE16();
    const float scale = in.ReadFl();
    const double pi = in.ReadDbl();
    ZEM::LOG("  %-14s 0x%08X 0x%08X %ux%u %.2f %.6f\n", how, le, be, width, height, scale, pi);
}

} // namespace

void TourStreams() {
    ZEM::LOG("== Streams: typed values written to a file, read back through a window and memory\n");
    {
        ZEMFile out(FILE_NAME, ZEMResFile::WRITE);
        WriteRecord(out);
        ZEM::LOG("  wrote %u bytes to %s: \"ZEMS\", 32 and 16 bits little- and big-endian, "
                 "a float and a double\n",
                 out.GetPos(), FILE_NAME);
    }

    // A window over the bytes after the magic, as an archive hands out a member.
    ZEMPackFile window(FILE_NAME, 4, 0xFFFFFFFF, ZEMResFile::READ, "record");
    ReadRecord("window stream:", window);

    // The whole file loaded into a memory block that the memory stream then owns.
    ZEMFile in(FILE_NAME, ZEMResFile::READ);
    in.SeekEnd();
    const unsigned size = in.GetPos();
    in.SeekStart();
    unsigned char* block = new unsigned char[size];
    in.Read(block, size);
    ZEMMemFile memory(size, ZEMResFile::READ, block, true, nullptr);
    ZEM::LOG("  bytes 4..15 on disk: %02X %02X %02X %02X | %02X %02X %02X %02X | %02X %02X | "
             "%02X %02X\n",
             block[4], block[5], block[6], block[7], block[8], block[9], block[10], block[11],
             block[12], block[13], block[14], block[15]);
    memory.Seek(4, 0);
    ReadRecord("memory stream:", memory);

    memory.Seek(-2, 2);
    const unsigned tail = memory.Read32();
    ZEM::LOG("  Read32 with 2 bytes left gives %u and leaves state %u (read at end)\n", tail,
             memory.GetState());
    ZEM::LOG("  the two streams dump themselves:\n");
    window.PrintInfo();
    memory.PrintInfo();
}
