// OSTA CS0 ("Compressed Unicode", UDF 2.01 2.1.1 and 2.1.3): a
// compression id byte, then either one byte per character (id 8, when
// every character is below U+0100) or big-endian UTF-16 code units (id 16,
// characters beyond the basic plane as surrogate pairs).
#ifndef TESSALINE_PLATFORM_UDF_CS0_H_
#define TESSALINE_PLATFORM_UDF_CS0_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace tessaline::platform::udf {

// A file identifier may hold 255 bytes, compression id included.
inline constexpr std::size_t kMaxNameBytes = 255;

// The characters of wide text (UTF-16 is decoded where wchar_t has 16
// bits; an unpaired surrogate becomes U+FFFD).
std::u32string CodePoints(const std::wstring& text);
// The characters of UTF-8 bytes, as a file name on disk holds them.
std::u32string CodePointsOfUtf8(const std::string& text);

// Bytes that EncodeCs0 writes for `text` (0 for empty text).
std::size_t Cs0Size(const std::u32string& text);
// Writes the CS0 form of `text` to `out` and returns its size. Empty text
// writes nothing: UDF records empty strings without a compression id.
std::size_t EncodeCs0(const std::u32string& text, std::uint8_t* out);

// Fills a dstring field of `field_size` bytes (ECMA-167 1/7.2.12): the CS0
// form, shortened at a character boundary to fit, and its length in the
// last byte. 8-bit characters are kept when the shortened text allows.
void PutDstring(std::uint8_t* field, std::size_t field_size,
                const std::u32string& text);

}  // namespace tessaline::platform::udf

#endif  // TESSALINE_PLATFORM_UDF_CS0_H_
