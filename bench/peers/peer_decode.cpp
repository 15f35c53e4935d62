// Decodes one picture with a peer library, for scripts/peer_table.py: "peer_decode sdl|stb FILE
// OUT" writes the pixels to OUT as RGBA bytes, prints "WIDTH HEIGHT" and exits with 0; a picture
// the library refuses gives its reason on standard error and exit status 1. Each run decodes one
// file, so that the script counts a crash or a hang instead of stopping.
#include <SDL2/SDL.h>
#include <SDL2/SDL_image.h>
#include <stb/stb_image.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Picture {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgba;
};

// SDL2_image takes the file's extension as the format of a TGA, which has no signature.
bool DecodeSdl(const char* path, Picture& picture, std::string& why) {
    SDL_Surface* loaded = IMG_Load(path);
    SDL_Surface* surface =
        loaded ? SDL_ConvertSurfaceFormat(loaded, SDL_PIXELFORMAT_RGBA32, 0) : nullptr;
    SDL_FreeSurface(loaded);
    if (!surface) {
        why = IMG_GetError();
        return false;
    }
    picture.width = surface->w;
    picture.height = surface->h;
    const size_t row = size_t(surface->w) * 4;
    picture.rgba.resize(row * size_t(surface->h));
    for (int y = 0; y < surface->h; ++y) {
        std::memcpy(picture.rgba.data() + row * size_t(y),
                    static_cast<unsigned char*>(surface->pixels) + size_t(y) * surface->pitch, row);
    }
    SDL_FreeSurface(surface);
    return true;
}

bool DecodeStb(const char* path, Picture& picture, std::string& why) {
    int channels = 0;
    unsigned char* pixels = stbi_load(path, &picture.width, &picture.height, &channels, 4);
    if (!pixels) {
        why = stbi_failure_reason();
        return false;
    }
    picture.rgba.assign(pixels, pixels + size_t(picture.width) * size_t(picture.height) * 4);
    stbi_image_free(pixels);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: peer_decode sdl|stb FILE OUT\n");
        return 2;
    }
    const std::string peer = argv[1];
    Picture picture;
    std::string why;
    const bool decoded =
        peer == "sdl" ? DecodeSdl(argv[2], picture, why) : DecodeStb(argv[2], picture, why);
    if (!decoded) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    FILE* out = std::fopen(argv[3], "wb");
    if (!out ||
        std::fwrite(picture.rgba.data(), 1, picture.rgba.size(), out) != picture.rgba.size()) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 2;
    }
    std::fclose(out);
    std::printf("%d %d\n", picture.width, picture.height);
    return 0;
}
