// A Windows program that includes <windows.h> before the library's headers, or after them with
// ZEM_TEST_WINDOWS_LAST, and with UNICODE or without: the library's names that the Windows
// macros rewrite (ERROR, DrawText, DrawTextEx, CopyFile) still reach the library, and the macros
// still reach Windows. Exits 1 with a line on the first failure.
#ifndef ZEM_TEST_WINDOWS_LAST
#include <windows.h>
#endif
#include <zem/zembase.h>
#ifdef ZEM_TEST_WINDOWS_LAST
#include <windows.h>
#endif

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool failed = false;

void Check(bool ok, const char* what) {
    if (ok) return;
    std::printf("failed: %s\n", what);
    failed = true;
}

void WriteText(const char* path, const char* text) {
    ZEMFile out(path, ZEMResFile::WRITE);
    out.Write(text, unsigned(std::strlen(text)));
}

std::string ReadText(const char* path) {
    ZEMFile in(path, ZEMResFile::READ);
    char text[64] = {};
    in.Read(text, sizeof text - 1);
    return text;
}

void CollectMessage(const char* message, void* context) {
    static_cast<std::string*>(context)->append(message);
}

void CheckLog() {
    std::string messages;
    ZEM::SetLogSink(CollectMessage, &messages);
    ZEM::SetLogLevel(1);
    ZEM::LOG_ERROR("disk %d full\n", 2);
    ZEM::SetLogSink(nullptr, nullptr);
    Check(messages == "disk 2 full\n", "LOG_ERROR writes at level 1");
    Check(ERROR == 0, "the program's ERROR is Windows' own");
}

unsigned CountPixels(ZEMImage& image, unsigned color) {
    unsigned count = 0;
    for (unsigned y = 0; y < image.height; ++y)
        for (unsigned x = 0; x < image.width; ++x)
            count += image.GetPixel(int(x), int(y)) == color;
    return count;
}

void CheckText() {
    ZEMImage glyphs(2, 2, 8);
    std::memset(glyphs.data, 1, 4);
    ZEMFont font("block", 'A', 'A', &glyphs, 1);
    ZEMChar block = {0, 0, 2, 2, 0};
    font.SetChar('A', &block);
    font.ascent = 2;

    ZEMImage image(4, 4, 8);
    std::memset(image.data, 0, 16);
    image.DrawText(0, 0, "A", 7, &font, ZEMFont::ALIGN_TOP);
    Check(CountPixels(image, 7) == 4, "DrawText draws the glyph");
    ZEMFont::FontParams params;
    params.font = &font;
    params.textColors[3] = 5;
    image.DrawTextEx(2, 2, "A", params);
    Check(CountPixels(image, 5) == 4, "DrawTextEx draws the glyph");

    int(WINAPI * windowsDrawText)(HDC, LPCTSTR, int, LPRECT, UINT) = DrawText;
    Check(windowsDrawText != nullptr, "the program's DrawText is Windows' own");
}

void CheckCopies() {
    for (const char* copy : {"by-folder.txt", "by-archive.txt", "by-windows.txt", "archive.zem"})
        ZEMFileUtils::FileRemove(copy);
    WriteText("source.txt", "copied");
    ZEMDir folder(".");
    Check(folder.CopyFile("source.txt", "by-folder.txt"), "ZEMDir::CopyFile copies");
    Check(ReadText("by-folder.txt") == "copied", "ZEMDir::CopyFile copies the bytes");

    ZEMArchZEM archive;
    Check(archive.Create("archive.zem") && archive.AddFile("source.txt", nullptr) == 0,
          "the archive is made");
    const ZEMFileProvider& provider = archive;
    Check(provider.CopyFile("source.txt", "by-archive.txt"), "ZEMArchive::CopyFile copies");
    Check(ReadText("by-archive.txt") == "copied", "ZEMArchive::CopyFile copies the bytes");
    archive.Close();

    Check(CopyFile(TEXT("source.txt"), TEXT("by-windows.txt"), FALSE), "Windows' CopyFile copies");
    Check(ReadText("by-windows.txt") == "copied", "Windows' CopyFile copies the bytes");
}

} // namespace

int main() {
    CheckLog();
    CheckText();
    CheckCopies();
    return failed ? 1 : 0;
}
