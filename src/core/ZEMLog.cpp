#include <zem/core/ZEMLog.h>

#include "core/ZEMLogHold.h"

#include <cstdarg>
#include <cstdio>
#include <string>

namespace {

const unsigned LEVEL_ERROR = 1;
const unsigned LEVEL_WARNING = 10;
const unsigned LEVEL_LOG = 100;
const unsigned LEVEL_DBG = 200;
const unsigned LEVEL_MAX = 255;

const unsigned TARGET_STDOUT = 0;
const unsigned TARGET_STDERR = 1;
const unsigned TARGET_FILE = 2;

unsigned logLevel = LEVEL_LOG;
unsigned logTarget = TARGET_STDOUT;
// Null stands for standard output, so that the initial state needs no dynamic initialisation.
FILE* logStream = nullptr;

ZEM::LogSink logSink = nullptr;
void* logSinkContext = nullptr;

FILE* Stream() {
    return logStream ? logStream : stdout;
}

// Hands the formatted message to the sink; a message too long for the stack goes through the heap.
void SinkV(const char* format, va_list args) {
    char text[1024];
    va_list copy;
    va_copy(copy, args);
    const int needed = vsnprintf(text, sizeof text, format, copy);
    va_end(copy);
    if (needed < 0) return;
    if (size_t(needed) < sizeof text) {
        logSink(text, logSinkContext);
        return;
    }
    std::string longer(size_t(needed) + 1, '\0');
    vsnprintf(&longer[0], longer.size(), format, args);
    logSink(longer.c_str(), logSinkContext);
}

void WriteV(unsigned level, const char* format, va_list args) {
    if (ZEM::LogHold::Held(level, format, args)) return;
    if (level == 0 || level > logLevel || !format) return;
    if (logSink) {
        SinkV(format, args);
        return;
    }
    FILE* out = Stream();
    vfprintf(out, format, args);
    fflush(out);
}

} // namespace

namespace ZEM {

void SetLogLevel(unsigned level) {
    logLevel = level > LEVEL_MAX ? LEVEL_MAX : level;
}

unsigned GetLogLevel() {
    return logLevel;
}

unsigned GetLogTarget() {
    return logTarget;
}

void SetLogSink(LogSink sink, void* context) {
    logSink = sink;
    logSinkContext = context;
}

void CloseLog() {
    if (logTarget != TARGET_FILE) return;
    FILE* file = Stream();
    if (file == stdout || file == stderr) {
        LOG("LOGClose: file was stdout/err and target was file !\n");
    } else {
        fclose(file);
    }
    logStream = nullptr;
    logTarget = TARGET_STDOUT;
}

bool SetLogTarget(unsigned target, const char* fileName) {
    CloseLog();
    if (target == TARGET_STDERR) {
        logStream = stderr;
        logTarget = TARGET_STDERR;
        return true;
    }
    logStream = nullptr;
    logTarget = TARGET_STDOUT;
    if (target != TARGET_FILE) return true;
    if (!fileName) return false;
    FILE* file = fopen(fileName, "w");
    if (!file) return false;
    logStream = file;
    logTarget = TARGET_FILE;
    return true;
}

void LOGL(unsigned level, const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(level, format, args);
    va_end(args);
}

void ERROR(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(LEVEL_ERROR, format, args);
    va_end(args);
}

void LOG_ERROR(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(LEVEL_ERROR, format, args);
    va_end(args);
}

void WARNING(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(LEVEL_WARNING, format, args);
    va_end(args);
}

void LOG(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(LEVEL_LOG, format, args);
    va_end(args);
}

void DBG(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteV(LEVEL_DBG, format, args);
    va_end(args);
}

} // namespace ZEM
