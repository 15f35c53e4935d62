#ifndef ZEM_CORE_ZEMLOGHOLD_H
#define ZEM_CORE_ZEMLOGHOLD_H

#include <cstdarg>
#include <string>
#include <utility>
#include <vector>

namespace ZEM {

// Holds back the failure messages (levels 1 to 100) written while it lives, whatever the log
// level, so that an operation that fails can name their reason in its own one line. Messages it
// was not asked for are written as usual when it ends. Holds nest: the innermost one holds.
// A hold takes the messages of its own thread only.
class LogHold {
public:
    LogHold();
    ~LogHold();
    LogHold(const LogHold&) = delete;
    LogHold& operator=(const LogHold&) = delete;

    // The held messages on one line, joined by "; " ("" when none); they are not written.
    std::string Take();

    // Called by the log for each message: true when a hold took it.
    static bool Held(unsigned level, const char* format, va_list args);

private:
    LogHold* outer;
    std::vector<std::pair<unsigned, std::string>> held; // level and text of each message
};

} // namespace ZEM

#endif
