#include "Tour.h"

// The same code that 'zem lang build' runs: the library reads language files, tools write them.

#include <zem/core.h>
#include <zem/text.h>

#include <cstdio>
#include <string>

namespace {

ZEMConfigMgr::CfgValue Int(int i) {
    ZEMConfigMgr::CfgValue value = {};
    value.intValue = i;
    return value;
}

ZEMConfigMgr::CfgValue Text(const char* s) {
    ZEMConfigMgr::CfgValue value = {};
    value.stringValue = const_cast<char*>(s);
    return value;
}

ZEMConfigMgr::CfgValue Color(unsigned char r, unsigned char g, unsigned char b) {
    ZEMConfigMgr::CfgValue value = {};
    value.colorValue[0] = r;
    value.colorValue[1] = g;
    value.colorValue[2] = b;
    value.colorValue[3] = 255;
    return value;
}

void ShowSettings(const char* when, const ZEMConfigMgr& cfg) {
    ZEMConfigMgr::CfgValue tint = cfg.GetValue("tint", ZEMConfigMgr::TYPE_COLOR);
    const char* title = cfg.GetValue("title", ZEMConfigMgr::TYPE_STRING).stringValue;
    ZEM::LOG("  %-22s width %d, fullscreen %s, title \"%s\", tint %s\n", when,
             cfg.GetValue("width", ZEMConfigMgr::TYPE_INT).intValue,
             cfg.GetValue("fullscreen", ZEMConfigMgr::TYPE_BOOL).boolValue ? "on" : "off",
             title ? title : "", ZEMConfigMgr::ColorText(tint.colorValue));
}

void Settings() {
    ZEMConfigMgr cfg(8);
    cfg.AddParameter("width", ZEMConfigMgr::TYPE_INT, Int(640));
    cfg.AddParameter("fullscreen", ZEMConfigMgr::TYPE_BOOL, ZEMConfigMgr::CfgValue{});
    cfg.AddParameter("title", ZEMConfigMgr::TYPE_STRING, Text("Untitled"));
    cfg.AddParameter("tint", ZEMConfigMgr::TYPE_COLOR, Color(255, 255, 255));
    ShowSettings("declared:", cfg);

    // As the program's main() would pass them on.
    char* argv[] = {const_cast<char*>("tour"),   const_cast<char*>("-width"),
                    const_cast<char*>("1024"),   const_cast<char*>("-fullscreen"),
                    const_cast<char*>("-title"), const_cast<char*>("Tour"),
                    const_cast<char*>("of"),     const_cast<char*>("ZEMBase")};
    bool clean = cfg.ParseCL(sizeof argv / sizeof argv[0], argv);
    ShowSettings(clean ? "command line:" : "command line (with complaints):", cfg);

    // Saved, then edited as a player would, and read back.
    cfg.Save("tour.cfg", "Settings of the ZEMBase tour");
    if (FILE* file = std::fopen("tour.cfg", "a")) {
        std::fputs("# edited by hand\nwidth 800\ntint #FF8000\n", file);
        std::fclose(file);
    }
    bool read = cfg.ParseFile("tour.cfg");
    ShowSettings(read ? "tour.cfg read back:" : "tour.cfg unreadable:", cfg);
}

const char FRENCH[] = "Fran\303\247ais"; // UTF-8

// Writes a language file of four strings; false (said) when it could not.
bool WriteLanguage(const char* path, const char* name, const char* const (&strings)[4]) {
    ZEMLangWriter writer;
    bool built = writer.SetName(name);
    for (const char* text : strings)
        built = built && writer.Add(text);
    if (built && writer.Save(path)) return true;
    ZEM::LOG("  could not write %s: %s\n", path, writer.LastError());
    return false;
}

void Languages() {
    // String 2 is absent in both.
    const char* const english[] = {"New game", "Options", nullptr, "Quit"};
    const char* const french[] = {"Nouvelle partie", "Options", nullptr, "Quitter"};
    if (!WriteLanguage("english.lng", "English", english) ||
        !WriteLanguage("french.lng", FRENCH, french)) {
        return;
    }
    ZEMTranslator* translator = ZEMTranslator::Singleton();
    int count = translator->Init(".", ".lng");
    ZEM::LOG("  %d language files here:", count);
    for (int i = 0; i < count; ++i)
        ZEM::LOG(" %s", translator->GetLangName(i));
    ZEM::LOG("\n");
    if (translator->LoadName(FRENCH)) {
        ZEM::LOG("  %s menu:", translator->GetCurName());
        for (unsigned id = 0; id < 5; ++id) {
            const char* text = translator->GetString(id);
            ZEM::LOG(" [%u] %s", id, text ? text : "(absent)");
        }
        ZEM::LOG("\n  string 2 is absent in the file; 4 lies past its end\n");
    }
    delete translator;
}

} // namespace

void TourConfig() {
    ZEM::LOG("== Configuration and languages: parameters from a command line and a file, "
             "texts from a language file\n");
    Settings();
    Languages();
}
