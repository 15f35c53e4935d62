#include "Tour.h"
#include "TourScene.h"

#include <zem/core.h>
#include <zem/graphics.h>
#include <zem/provider.h>

#include <string>
#include <utility>

namespace {

void Save(ZEMImage& image, const std::string& name) {
    const std::pair<const char*, int> formats[] = {{".bmp", 1}, {".tga", 4}};
    char* cwd = ZEMFileUtils::GetCWD();
    for (const auto& format : formats) {
        const std::string file = name + format.first;
        if (image.SaveName(file.c_str(), format.second)) {
            ZEM::LOG("  wrote %s/%s\n", cwd ? cwd : ".", file.c_str());
        } else {
            ZEM::LOG("  could not write %s\n", file.c_str());
        }
    }
    delete[] cwd;
}

} // namespace

void TourDrawing() {
    ZEM::LOG(
        "== Drawing: a scene of gradients, shapes, a keyed sprite and text, on 32 and 8 bits\n");
    Save(*DrawTourScene(32), "drawing32");
    Save(*DrawTourScene(8), "drawing8");
}
