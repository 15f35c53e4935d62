#include "platform/ZEMFaultInjection.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace ZEM {
namespace Platform {

namespace {

constexpr const char* PLAN_VARIABLE = "ZEM_FAULT_WRITE";
constexpr const char* TRACE_PREFIX = "trace:";
constexpr size_t SECTOR = 512;

// Counts one change under the plan (not a trace), or appends its line to the trace.
Fault Apply(const char* plan, const std::string& what) {
    const size_t prefix = strlen(TRACE_PREFIX);
    if (strncmp(plan, TRACE_PREFIX, prefix) == 0) {
        if (FILE* trace = fopen(plan + prefix, "a")) {
            fprintf(trace, "%s\n", what.c_str());
            fclose(trace);
        }
        return Fault::NONE;
    }
    static std::atomic<unsigned long> changes{0};
    char* rest = nullptr;
    const unsigned long target = strtoul(plan, &rest, 10);
    if (++changes != target) return Fault::NONE;
    if (strcmp(rest, ":torn") == 0) return Fault::TORN;
    if (strcmp(rest, ":fail") == 0) return Fault::FAIL;
    return Fault::KILL;
}

} // namespace

Fault NextChange(const char* what) {
    const char* plan = getenv(PLAN_VARIABLE);
    return plan ? Apply(plan, what) : Fault::NONE;
}

Fault NextWrite(uint64_t offset, size_t size) {
    // The line is made only under a plan: writes without one cost a lookup, no text.
    const char* plan = getenv(PLAN_VARIABLE);
    if (!plan) return Fault::NONE;
    return Apply(plan, "write " + std::to_string(offset) + " " + std::to_string(size));
}

bool MayChange(const char* what) {
    switch (NextChange(what)) {
    case Fault::NONE:
        return true;
    case Fault::FAIL:
        return false;
    default:
        Die();
    }
}

size_t TornSize(size_t size) {
    return size / 2 / SECTOR * SECTOR;
}

} // namespace Platform
} // namespace ZEM
