#ifndef ZEM_TOOLS_ZEMFONTBUILD_H
#define ZEM_TOOLS_ZEMFONTBUILD_H

// 'zem font build': a font file from any font FreeType reads, when the library has FreeType.
int ZemFontBuild(int argc, char** argv);

// The lines of 'zem font --help' that describe build.
extern const char* const FONT_BUILD_HELP;

#endif
