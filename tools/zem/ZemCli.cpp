#include "ZemCli.h"

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace zemcli {

int Fail(const std::string& message) {
    std::fprintf(stderr, "zem: %s\n", message.c_str());
    return 1;
}

bool WantsHelp(int argc, char** argv, int i) {
    return i < argc && (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0);
}

Progress::Progress(const char* what, size_t total)
    : what_(what), total_(total), shown_(total > 1 && isatty(STDERR_FILENO)) {}

Progress::~Progress() {
    if (shown_ && lastPercent_ >= 0) std::fputc('\n', stderr);
}

void Progress::Step(size_t done) {
    if (!shown_) return;
    const int width = 40;
    int percent = static_cast<int>(done * 100 / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    int filled = percent * width / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", what_, filled,
                 "########################################", width - filled, "", percent);
    std::fflush(stderr);
}

} // namespace zemcli
