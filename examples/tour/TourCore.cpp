#include "Tour.h"

#include <zem/core.h>

void TourCore() {
    ZEM::LOG("== ZEMBase %s (version number %d)\n", ZEM::Versiont(), ZEM::Versioni());

    ZEM::LOG("== Core: strings built, searched and formatted\n");
    ZEMString title("Level");
    title += ' ';
    title += "One: The Caves";
    ZEM::LOG("  built:           \"%s\" (%u characters)\n", static_cast<const char*>(title),
             title.Length());

    ZEMString file(title);
    file.MakeFilename();
    file.LowerCase();
    file += ".sav";
    ZEM::LOG("  save-file name:  \"%s\"\n", static_cast<const char*>(file));

    unsigned colon = title.Find(':', 0, true);
    unsigned caves = title.Find("caves", 0, false);
    ZEM::LOG("  searches:        ':' at %u, \"caves\" (any case) at %u\n", colon, caves);

    ZEMString line;
    line.Format("%-8s %6d pts  %5.1f%%", "Ada", 12500, 87.5);
    ZEM::LOG("  formatted:       \"%s\"\n", static_cast<const char*>(line));
    line.Format("[%s]", static_cast<const char*>(line));
    ZEM::LOG("  the line, formatted again from its own text, dumps itself:\n");
    line.PrintInfo();
}
