#ifndef ZEM_TOOLS_ZEMCLI_H
#define ZEM_TOOLS_ZEMCLI_H

#include <cstddef>
#include <string>

// What every family of the zem tool shares: failure messages, help and progress.
namespace zemcli {

// Prints "zem: <message>" on standard error and returns the failure status 1.
int Fail(const std::string& message);

// True when argument i exists and is "--help" or "-h".
bool WantsHelp(int argc, char** argv, int i);

// A progress bar on standard error, drawn only when standard error is a terminal.
class Progress {
public:
    Progress(const char* what, size_t total);
    ~Progress();
    void Step(size_t done);

private:
    const char* what_;
    size_t total_;
    bool shown_;
    int lastPercent_ = -1;
};

} // namespace zemcli

// The families; each takes the arguments after its own name (argv[0] is the family name).
int ZemVersion(int argc, char** argv);
int ZemScore(int argc, char** argv);
int ZemLang(int argc, char** argv);
int ZemConfig(int argc, char** argv);
int ZemArchive(int argc, char** argv);

#endif
