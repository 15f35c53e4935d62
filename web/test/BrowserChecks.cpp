// What the library does differently in the browser, run there by make test-web: number parsing
// without from_chars, and file edits on a file system without locks, hard links or renameat2.
// Each check prints "ok NAME" or "FAIL NAME", and the last line counts them.
#include <zem/zembase.h>

#include <dirent.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

unsigned passed = 0, failed = 0;

void Check(const char* name, bool ok) {
    ++(ok ? passed : failed);
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", name);
}

std::string Content(const char* path) {
    std::string text;
    if (FILE* f = std::fopen(path, "rb")) {
        char buffer[256];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

void Write(const char* path, const char* text) {
    ZEMFile file(path, ZEMResFile::WRITE);
    file.WriteStr(text, ZEMString::NPOS);
}

// Names in the folder that hold text (temporaries left behind).
bool FolderHolds(const char* folder, const char* text) {
    DIR* dir = opendir(folder);
    bool found = false;
    while (dirent* entry = dir ? readdir(dir) : nullptr) {
        if (!std::strstr(entry->d_name, text)) continue;
        std::printf("left behind: %s\n", entry->d_name);
        found = true;
    }
    if (dir) closedir(dir);
    return found;
}

void CheckFloats() {
    struct Case {
        const char* text;
        float value;
        int length; // characters read; -1 when refused
    };
    const Case cases[] = {{"1.5", 1.5f, 3},    {"  -2.25x", -2.25f, 7}, {"0x10", 0.0f, 1},
                          {"7e2 ", 700.0f, 3}, {"1e-999", 0.0f, 6},     {"abc", 0.0f, -1}};
    for (const Case& c : cases) {
        float value = 0.0f;
        const char* end = ZEMParse::ReadFloat(c.text, value);
        const bool ok =
            c.length < 0 ? end == nullptr : end == c.text + c.length && value == c.value;
        Check((std::string("ReadFloat \"") + c.text + "\"").c_str(), ok);
    }
    float huge = 0.0f;
    ZEMParse::ReadFloat("1e999", huge);
    Check("ReadFloat \"1e999\" is infinite", std::isinf(huge));

    ZEMConfigMgr config(4);
    ZEMConfigMgr::CfgValue value{};
    value.floatValue = 0.1f;
    config.AddParameter("speed", ZEMConfigMgr::TYPE_FLOAT, value);
    const bool saved = config.Save("/checks.cfg", "checks");
    Check("a float parameter is written as \"0.1\"",
          saved && Content("/checks.cfg").find("speed\t0.1\n") != std::string::npos);
    Write("/checks.cfg", "speed 2.5\n");
    config.ParseFile("/checks.cfg");
    Check("a float parameter reads back",
          config.GetValue("speed", ZEMConfigMgr::TYPE_FLOAT).floatValue == 2.5f);
}

void CheckEdits() {
    Write("/one.txt", "first member");
    Write("/two.txt", "second member");
    {
        ZEMArchZEM archive;
        Check("an archive is created", archive.Create("/edit.zem"));
        Check("members are added", archive.AddFile("/one.txt", "one.txt") == 0 &&
                                       archive.AddFile("/two.txt", "two.txt") == 1);
        Check("the archive being edited reads its members",
              archive.ExtractFile(1, "/read.txt") && Content("/read.txt") == "second member");
        Check("a member is removed", archive.RemoveFile(0));
        Check("a member is renamed", archive.RenameFile(0, "deux.txt"));
    }
    ZEMArchive* archive = ZEMArchive::OpenArchive("/edit.zem");
    bool same = archive && archive->NbFiles() == 1 &&
                std::strcmp(archive->FileName(0), "deux.txt") == 0 &&
                archive->ExtractFile(0, "/out.txt") && Content("/out.txt") == "second member";
    Check("the edited archive reads back", same);
    delete archive;
    ZEMArchZEM again;
    Check("an existing archive is not created again", !again.Create("/edit.zem"));

    ZEMImage image(4, 4, 24);
    image.Rectangle(0, 0, 4, 4, 0x123456, ZEMImage::DRAW_COPY);
    Check("a picture is saved", image.SaveName("/p.bmp", 1));
    image.Rectangle(0, 0, 4, 4, 0x654321, ZEMImage::DRAW_COPY);
    Check("a picture replaces its file", image.SaveName("/p.bmp", 1));
    ZEMImage loaded(1, 1, 8);
    Check("the replaced picture reads back",
          loaded.LoadName("/p.bmp", 0) && (loaded.GetPixel(1, 1) & 0xFFFFFF) == 0x654321);
    Check("no temporary file is left", !FolderHolds("/", ".zem-"));

    Check("a rename does not replace a file",
          !ZEMFileUtils::FileRename("/one.txt", "/two.txt", false) &&
              Content("/two.txt") == "second member");
    Check("a rename with overwrite replaces it",
          ZEMFileUtils::FileRename("/one.txt", "/two.txt", true) &&
              Content("/two.txt") == "first member" && !ZEMFileUtils::FileExist("/one.txt"));
    Check("a copy does not replace a file", !ZEMFileUtils::FileCopy("/p.bmp", "/two.txt", false));
}

} // namespace

int main() {
    CheckFloats();
    CheckEdits();
    std::printf("checks: %u passed, %u failed\n", passed, failed);
    return failed ? 1 : 0;
}
