#ifndef ZEM_TOOLS_ZEMPICTURE_H
#define ZEM_TOOLS_ZEMPICTURE_H

#include <string>

class ZEMImage;

// Reading pictures, which the image and palette families share.
namespace zemcli {

// Loads any picture the tool reads (BMP, GIF, PCX, TGA, PNG); format tells what it was. On
// failure, why holds the reason: the system's words or the decoder's message.
bool LoadPicture(const char* path, ZEMImage& image, int& format, std::string& why);

// The name of a format that LoadPicture gives: "BMP", "GIF", ...
const char* PictureFormatName(int format);

} // namespace zemcli

#endif
