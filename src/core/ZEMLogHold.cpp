#include "core/ZEMLogHold.h"

#include <zem/core/ZEMLog.h>

#include <cstdio>
#include <new>

namespace {

constexpr unsigned LEVEL_LOG = 100;

// Each thread holds its own operations' messages, never another thread's.
thread_local ZEM::LogHold* innermost = nullptr;

std::string Format(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    const int needed = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (needed <= 0) return std::string();
    std::string text(size_t(needed) + 1, '\0');
    vsnprintf(&text[0], text.size(), format, args);
    text.resize(size_t(needed));
    return text;
}

// A message as a part of one line: no line end, inner ends become "; ".
std::string OneLine(std::string text) {
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    std::string line;
    for (char c : text) {
        if (c == '\n') {
            line += "; ";
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace

namespace ZEM {

LogHold::LogHold() : outer(innermost) {
    innermost = this;
}

// An outer hold takes what this one gives back, as if it had been written here.
LogHold::~LogHold() {
    innermost = outer;
    for (const auto& message : held)
        LOGL(message.first, "%s", message.second.c_str());
}

std::string LogHold::Take() {
    std::string line;
    for (const auto& message : held) {
        if (!line.empty()) line += "; ";
        line += OneLine(message.second);
    }
    held.clear();
    return line;
}

bool LogHold::Held(unsigned level, const char* format, va_list args) {
    if (!innermost || level == 0 || level > LEVEL_LOG || !format) return false;
    try {
        innermost->held.emplace_back(level, Format(format, args));
    } catch (const std::bad_alloc&) {
        return false; // written as usual
    }
    return true;
}

} // namespace ZEM
