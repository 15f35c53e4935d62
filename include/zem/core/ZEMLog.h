#ifndef ZEM_CORE_ZEMLOG_H
#define ZEM_CORE_ZEMLOG_H

#include <zem/core/ZEMExport.h>

// The process-wide log: one numeric level, one output (standard output, standard error or a file).
// Messages may be written from any thread, each whole; a sink is then called from each thread
// that logs. The level, the target and the sink are set before other threads log.
namespace ZEM {

// Highest message level written; above 255 is stored as 255, 0 silences everything.
ZEM_API void SetLogLevel(unsigned level);
ZEM_API unsigned GetLogLevel();

// 0 standard output, 1 standard error, 2 the file fileName (emptied on opening).
ZEM_API bool SetLogTarget(unsigned target, const char* fileName);
ZEM_API unsigned GetLogTarget();

// Receives each message that passes the level, in place of the target, while it is set (null
// gives the messages back to the target): for a program that shows them its own way.
using LogSink = void (*)(const char* message, void* context);
// Sets the sink and the context handed to it with each message.
ZEM_API void SetLogSink(LogSink sink, void* context);

// Writes one printf-style message of the given level and flushes it.
ZEM_API void LOGL(unsigned level, const char* format, ...) ZEM_PRINTF(2, 3);
// <windows.h> defines ERROR as 0: the name is declared out of its reach and the program keeps
// its macro; where <windows.h> is seen, LOG_ERROR writes the same message.
#pragma push_macro("ERROR")
#undef ERROR
// A message of level 1: errors.
ZEM_API void ERROR(const char* format, ...) ZEM_PRINTF(1, 2);
#pragma pop_macro("ERROR")
// A message of level 1, as ERROR.
ZEM_API void LOG_ERROR(const char* format, ...) ZEM_PRINTF(1, 2);
// A message of level 10: warnings.
ZEM_API void WARNING(const char* format, ...) ZEM_PRINTF(1, 2);
// A message of level 100, the highest level written by default.
ZEM_API void LOG(const char* format, ...) ZEM_PRINTF(1, 2);
// A message of level 200: debugging, not written by default.
ZEM_API void DBG(const char* format, ...) ZEM_PRINTF(1, 2);

// Closes a file target and falls back to standard output.
ZEM_API void CloseLog();

} // namespace ZEM

#endif
