// A reader of Windows profile (.ini) files that follows the rules of the
// system's own reader, for systems that have none. Pure C++: the backend
// reads the bytes and hands them in.
//
// Rules: sections are "[name]" lines; keys are "name=value" lines. Section
// and key names match without case. Blanks and tabs around section names,
// key names and values are dropped. A value that starts and ends with the
// same quote character (" or ') loses that pair when it is read. Lines whose
// first non-blank character is ';' are comments. Of two sections of the same
// name only the first is read; of two keys of the same name in a section the
// first value wins, while both names are listed. A line without '=' is no
// key, a "[name" line without its closing bracket is skipped, and keys
// before the first section belong to none. Lines end with LF or CR LF. A
// value holding a NUL character is refused: it reads as empty, since a
// reader that stops at the NUL would hand on a different name.
// Parsing never fails.
#ifndef TESSALINE_PLATFORM_PROFILE_PARSER_H_
#define TESSALINE_PLATFORM_PROFILE_PARSER_H_

#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/platform.h"

namespace tessaline::platform {

// Wide text from a profile file's bytes: UTF-16LE after its byte-order mark,
// UTF-8 after its byte-order mark, and otherwise `fallback` (the locale's
// encoding; UTF-8 when null). Invalid sequences become U+FFFD.
using ProfileFallbackDecoder = std::wstring (*)(std::string_view bytes);
std::wstring DecodeProfileText(std::string_view bytes,
                               ProfileFallbackDecoder fallback = nullptr);

// Compares two names as the profile reader does: without case.
bool ProfileNamesEqual(std::wstring_view a, std::wstring_view b);

class ProfileDocument final : public ProfileView {
 public:
  ProfileDocument() = default;
  explicit ProfileDocument(std::wstring_view text);

  // Names of all sections in file order, duplicates included; sections with
  // an empty name are not listed.
  std::vector<std::wstring> SectionNames() const override;
  // Names of the keys of the first section named `section`, in file order;
  // empty when there is no such section.
  std::vector<std::wstring> KeyNames(std::wstring_view section) const override;
  // The first value of `key` in the first section named `section`, with one
  // pair of enclosing quotes removed; empty when absent.
  std::wstring Value(std::wstring_view section,
                     std::wstring_view key) const override;

 private:
  struct Key {
    std::wstring name;
    std::wstring value;
  };
  struct Section {
    std::wstring name;
    std::vector<Key> keys;
    // Case-folded key name to the index of its first occurrence.
    std::unordered_map<std::wstring, std::size_t> first;
  };

  const Section* FindSection(std::wstring_view name) const;

  // All non-empty section names in file order; sections_ holds only the
  // first section of each name. A deque keeps `current` valid while
  // sections are added.
  std::vector<std::wstring> names_;
  std::deque<Section> sections_;
};

}  // namespace tessaline::platform

#endif  // TESSALINE_PLATFORM_PROFILE_PARSER_H_
