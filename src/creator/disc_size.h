// The space a disc's work files need, from the disc's size text in the
// layout file.
#ifndef TESSALINE_CREATOR_DISC_SIZE_H_
#define TESSALINE_CREATOR_DISC_SIZE_H_

#include <cstdint>
#include <string>

namespace tessaline {

// The size text read as a signed 64-bit decimal number: leading white space
// and one sign are skipped, digits are read up to the first other
// character, and text without digits reads as 0. A number out of range gives
// the nearest limit.
std::int64_t ReadSizeText(const std::wstring& text);

// Free bytes the work folder needs for a disc of that size: twice the size
// (the copied content and the image made from it) plus 20 MiB. A negative
// size counts as 0, and the result stops at the largest 64-bit number.
std::int64_t BytesNeeded(const std::wstring& size);

// The same need in whole megabytes as the host is told it: twice the size,
// divided by 1024 twice, plus 20; it stops at the largest 32-bit number.
std::int32_t MegabytesNeeded(const std::wstring& size);

}  // namespace tessaline

#endif  // TESSALINE_CREATOR_DISC_SIZE_H_
