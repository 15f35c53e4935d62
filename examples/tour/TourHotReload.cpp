#include "Tour.h"

#include <zem/core.h>
#include <zem/graphics/ZEMPal.h>
#include <zem/provider.h>
#include <zem/resource.h>
#include <zem/stream.h>

#include <chrono>
#include <string>
#include <thread>

namespace {

// Saves a one-colour GIMP palette the way many editors do: aside, then renamed over the file.
void SavePalette(const char* red, const char* green, const char* blue) {
    const std::string text =
        std::string("GIMP Palette\nName: sky\n#\n") + red + " " + green + " " + blue + "\tsky\n";
    ZEMFile("tour-reload/sky.gpl.tmp", ZEMResFile::WRITE).Write(text.data(), unsigned(text.size()));
    ZEMFileUtils::FileRename("tour-reload/sky.gpl.tmp", "tour-reload/sky.gpl", true);
}

void ShowColour(const char* when, const ZEMPal& pal) {
    ZEM::LOG("  %-22s sky is #%02X%02X%02X\n", when, pal.colors[0], pal.colors[1], pal.colors[2]);
}

} // namespace

void TourHotReload() {
    ZEM::LOG("== Hot reload: a palette saved again on disk is live at the next poll\n");
    ZEMFileUtils::DirCreate("tour-reload");
    SavePalette("40", "90", "200");
    ZEMResFinder finder;
    finder.AddSource("tour-reload", false);
    ZEMResMgr manager(finder);
    manager.SetWatching(true);
    manager.SetQuietTime(20); // an editor's save is done once the file rests this long
    auto* sky = static_cast<ZEMPal*>(manager.Load(ZEMResMgr::RES_PALETTE, "sky.gpl", 0, true));
    if (!sky) return;
    ShowColour("loaded:", *sky);

    SavePalette("250", "120", "30"); // the artist saves a sunset
    ShowColour("saved, before a poll:", *sky);
    // The game loop polls once a frame; here, until the change is in (a slow disk may take long).
    ZEMResMgr::ChangeReport report;
    for (int frame = 0; frame < 500 && report.reloaded.empty(); ++frame) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        manager.PollChanges(&report);
    }
    ShowColour("after the poll:", *sky);
    ZEM::LOG("  reloaded %u resource(s), the same object: users' pointers stay valid\n",
             unsigned(report.reloaded.size()));
    manager.Release(sky);
}
