// Compiler-specific annotations behind names that mean something to each
// compiler the library is built with (GCC, Clang, MSVC) and nothing to the
// others.
#ifndef TESSALINE_PLATFORM_COMPILER_H_
#define TESSALINE_PLATFORM_COMPILER_H_

#if defined(_MSC_VER) && !defined(__clang__)
#include <sal.h>
#endif

// Marks a function whose parameter `format_index` is a printf format and
// whose variable arguments start at `first_argument`, so GCC and Clang check
// every call's arguments against the format.
#if defined(__GNUC__) || defined(__clang__)
#define TESSALINE_PRINTF_LIKE(format_index, first_argument) \
  __attribute__((format(printf, format_index, first_argument)))
#else
#define TESSALINE_PRINTF_LIKE(format_index, first_argument)
#endif

// Marks a printf format parameter, for MSVC's code analysis (/analyze).
#if defined(_MSC_VER) && !defined(__clang__)
#define TESSALINE_PRINTF_FORMAT _Printf_format_string_
#else
#define TESSALINE_PRINTF_FORMAT
#endif

#endif  // TESSALINE_PLATFORM_COMPILER_H_
