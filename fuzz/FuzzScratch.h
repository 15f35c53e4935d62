#ifndef ZEM_FUZZ_FUZZSCRATCH_H
#define ZEM_FUZZ_FUZZSCRATCH_H

// Scratch files and folders of the fuzz targets, named after the process so that parallel runs
// do not meet, and removed when the target ends.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// Where scratch files go: a memory file system when the system has one. On a disk, rewriting a
// file makes the system write it back (and a safe save flushes it) on every run, which costs far
// more than the run itself.
inline std::string ScratchRoot() {
    struct stat status;
    return stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) ? "/dev/shm" : "/tmp";
}

// A new private folder under ScratchRoot() whose name begins with prefix; ends the run when none
// can be made.
inline std::string MakeScratchFolder(const char* prefix) {
    std::string folder = ScratchRoot() + "/" + prefix + "-XXXXXX";
    if (!mkdtemp(&folder[0])) abort();
    return folder;
}

// A scratch file of one fuzz target.
class FuzzScratch {
public:
    explicit FuzzScratch(const char* name)
        : path_(ScratchRoot() + "/zem-fuzz-" + std::to_string(getpid()) + "-" + name) {}
    ~FuzzScratch() { std::remove(path_.c_str()); }
    FuzzScratch(const FuzzScratch&) = delete;
    FuzzScratch& operator=(const FuzzScratch&) = delete;

    const char* Path() const { return path_.c_str(); }

    // Replaces the file's content; a scratch file that cannot be written ends the run.
    void Write(const uint8_t* data, size_t size) const {
        FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f) abort();
        if (size && std::fwrite(data, 1, size, f) != size) abort();
        std::fclose(f);
    }

private:
    std::string path_;
};

#endif
