// Symbol export of the shared library.
#ifndef TESSALINE_EXPORT_H_
#define TESSALINE_EXPORT_H_

#if defined(_WIN32)
#if defined(TESSALINE_BUILDING)
#define TESSALINE_API __declspec(dllexport)
#elif defined(TESSALINE_STATIC)
#define TESSALINE_API
#else
#define TESSALINE_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define TESSALINE_API __attribute__((visibility("default")))
#else
#define TESSALINE_API
#endif

#endif  // TESSALINE_EXPORT_H_
