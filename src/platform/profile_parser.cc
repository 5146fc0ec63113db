#include "platform/profile_parser.h"

#include <cstdint>

#include "platform/text.h"

namespace tessaline::platform {
namespace {

constexpr wchar_t kReplacement = 0xFFFD;

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

std::wstring_view Trim(std::wstring_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Upper case of the letters whose case the system's reader folds in the
// scripts that layout files use: Latin, Greek and Cyrillic. Other
// characters compare as they are.
wchar_t FoldCase(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  if (u < 0x80) return (u >= 'a' && u <= 'z') ? c - (L'a' - L'A') : c;
  if (u == 0xFF) return static_cast<wchar_t>(0x178);
  if (u == 0x3C2) return static_cast<wchar_t>(0x3A3);
  if ((u >= 0xE0 && u <= 0xFE && u != 0xF7) || (u >= 0x3B1 && u <= 0x3C9) ||
      (u >= 0x430 && u <= 0x44F)) {
    return static_cast<wchar_t>(u - 0x20);
  }
  if (u >= 0x450 && u <= 0x45F) return static_cast<wchar_t>(u - 0x50);
  // Latin Extended-A pairs an upper-case even code point with the odd one
  // after it, except in the two runs that pair odd with even.
  if (u >= 0x100 && u <= 0x17E && u != 0x131 && u != 0x138 && u != 0x149) {
    const bool oddUpper = (u >= 0x139 && u <= 0x148) || u >= 0x179;
    if (oddUpper ? (u % 2 == 0) : (u % 2 == 1)) {
      return static_cast<wchar_t>(u - 1);
    }
  }
  return c;
}

std::wstring DecodeUtf16Le(std::string_view bytes) {
  std::wstring out;
  out.reserve(bytes.size() / 2);
  const std::size_t units = bytes.size() / 2;
  auto unit = [&](std::size_t i) {
    return static_cast<std::uint32_t>(
               static_cast<unsigned char>(bytes[2 * i])) |
           (static_cast<std::uint32_t>(
                static_cast<unsigned char>(bytes[2 * i + 1]))
            << 8);
  };
  for (std::size_t i = 0; i < units; ++i) {
    std::uint32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units) {
      const std::uint32_t low = unit(i + 1);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        AppendCodePoint(out,
                        static_cast<char32_t>(0x10000 + ((c - 0xD800) << 10) +
                                              (low - 0xDC00)));
        ++i;
        continue;
      }
    }
    if (c >= 0xD800 && c <= 0xDFFF) c = kReplacement;
    AppendCodePoint(out, static_cast<char32_t>(c));
  }
  return out;
}

std::wstring FoldName(std::wstring_view name) {
  std::wstring folded(name);
  for (wchar_t& c : folded) c = FoldCase(c);
  return folded;
}

}  // namespace

std::wstring DecodeProfileText(std::string_view bytes,
                               ProfileFallbackDecoder fallback) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    return DecodeUtf16Le(bytes.substr(2));
  }
  if (bytes.size() >= 3 && bytes[0] == '\xEF' && bytes[1] == '\xBB' &&
      bytes[2] == '\xBF') {
    return FromUtf8(std::string(bytes.substr(3)));
  }
  if (fallback != nullptr) return fallback(bytes);
  return FromUtf8(std::string(bytes));
}

bool ProfileNamesEqual(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

ProfileDocument::ProfileDocument(std::wstring_view text) {
  // Keys before the first section, and those of a repeated section, are
  // kept nowhere: lookups only ever see the first section of a name.
  Section* current = nullptr;
  while (!text.empty()) {
    const std::size_t end = text.find(L'\n');
    std::wstring_view line = text.substr(0, end);
    text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
    if (!line.empty() && line.back() == L'\r') line.remove_suffix(1);

    line = Trim(line);
    if (line.empty() || line.front() == L';') continue;
    if (line.front() == L'[') {
      const std::size_t close = line.rfind(L']');
      if (close == 0 || close == std::wstring_view::npos) continue;
      const std::wstring_view name = Trim(line.substr(1, close - 1));
      if (!name.empty()) names_.emplace_back(name);
      if (FindSection(name) != nullptr) {
        current = nullptr;
      } else {
        sections_.push_back(Section{std::wstring(name), {}, {}});
        current = &sections_.back();
      }
      continue;
    }
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos || current == nullptr) continue;
    const std::wstring_view name = Trim(line.substr(0, equals));
    // A key without a name cannot be listed or asked for.
    if (name.empty()) continue;
    std::wstring value(Trim(line.substr(equals + 1)));
    if (value.find(L'\0') != std::wstring::npos) value.clear();
    current->first.emplace(FoldName(name), current->keys.size());
    current->keys.push_back(Key{std::wstring(name), std::move(value)});
  }
}

const ProfileDocument::Section* ProfileDocument::FindSection(
    std::wstring_view name) const {
  for (const Section& section : sections_) {
    if (ProfileNamesEqual(section.name, name)) return &section;
  }
  return nullptr;
}

std::vector<std::wstring> ProfileDocument::SectionNames() const {
  return names_;
}

std::vector<std::wstring> ProfileDocument::KeyNames(
    std::wstring_view section) const {
  std::vector<std::wstring> names;
  if (const Section* found = FindSection(section)) {
    for (const Key& key : found->keys) names.push_back(key.name);
  }
  return names;
}

std::wstring ProfileDocument::Value(std::wstring_view section,
                                    std::wstring_view key) const {
  const Section* found = FindSection(section);
  if (found == nullptr) return {};
  const auto index = found->first.find(FoldName(key));
  if (index == found->first.end()) return {};
  std::wstring_view value = found->keys[index->second].value;
  if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return std::wstring(value);
}

}  // namespace tessaline::platform
