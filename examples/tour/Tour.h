#ifndef ZEM_EXAMPLES_TOUR_H
#define ZEM_EXAMPLES_TOUR_H

// Each stop of the tour shows one area of the library; they run in order in the working directory.
void TourCore();
void TourStreams();
void TourFiles();
void TourText();
void TourScore();
void TourConfig();
void TourArchive();
void TourGraphics();
void TourDrawing();
void TourFontBuild();
void TourHotReload();

#endif
