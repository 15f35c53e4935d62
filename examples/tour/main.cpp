// A tour of ZEMBase as a program meets it. It writes its files into the working directory.
#include "Tour.h"

int main() {
    TourCore();
    TourStreams();
    TourFiles();
    TourText();
    TourScore();
    TourConfig();
    TourArchive();
    TourGraphics();
    TourDrawing();
    TourFontBuild();
    TourHotReload();
    return 0;
}
