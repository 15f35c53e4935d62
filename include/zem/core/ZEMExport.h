#ifndef ZEM_CORE_ZEMEXPORT_H
#define ZEM_CORE_ZEMEXPORT_H

// ZEM_API marks the public interface; everything else stays hidden in the shared library.
#if defined(ZEM_STATIC)
#define ZEM_API
#elif defined(_WIN32)
#if defined(ZEM_BUILDING_LIBRARY)
#define ZEM_API __declspec(dllexport)
#else
#define ZEM_API __declspec(dllimport)
#endif
#else
#define ZEM_API __attribute__((visibility("default")))
#endif

// Lets the compiler check printf-style calls; the arguments are 1-based positions.
#if defined(__GNUC__)
#define ZEM_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZEM_PRINTF(fmt, args)
#endif

#endif
