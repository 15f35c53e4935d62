#ifndef ZEM_FUZZ_FUZZSCRATCH_H
#define ZEM_FUZZ_FUZZSCRATCH_H

// A scratch file of one fuzz target in /tmp, named after the process so that parallel runs do
// not meet, and removed when the target ends.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

class FuzzScratch {
public:
    explicit FuzzScratch(const char* name)
        : path_("/tmp/zem-fuzz-" + std::to_string(getpid()) + "-" + name) {}
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
