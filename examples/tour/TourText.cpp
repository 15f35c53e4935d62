#include "Tour.h"

#include <zem/core.h>
#include <zem/text.h>

namespace {

void Show(const char* label, const ZEMText& text) {
    ZEM::LOG("  %-26s %u slots, %u used:", label, text.NbSlots(), text.Length());
    for (unsigned i = 0; i < text.NbSlots(); ++i) {
        const char* s = text.GetString(i);
        if (s) {
            ZEM::LOG(" [%u] \"%s\"", i, s);
        }
    }
    ZEM::LOG("\n");
}

} // namespace

void TourText() {
    ZEM::LOG("== Strings: a string array saved and reloaded in both formats\n");
    ZEMText menu(0);
    menu.Append("New game");
    menu.Append("Options");
    menu.SetString(3, "Quit"); // slot 2 stays free
    Show("built:", menu);

    // Save numbers the formats 0/1 length-prefixed and 2 text; Load 0 recognises either.
    bool text = menu.SaveName("menu.txt", 2);
    bool prefixed = menu.SaveName("menu.zemt", 0);
    ZEM::LOG("  saved menu.txt (%s) and menu.zemt (%s)\n", text ? "text" : "failed",
             prefixed ? "length-prefixed" : "failed");
    Show("menu.txt reloaded:", ZEMText("menu.txt", 0));
    Show("menu.zemt reloaded:", ZEMText("menu.zemt", 0));
    ZEM::LOG("  the text file ends with one more free slot; the free slot 2 is kept by both\n");
}
