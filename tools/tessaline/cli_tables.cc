#include "cli_tables.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <sstream>

#include "host_text.h"

namespace tessaline_cli {
namespace {

constexpr int kMediaTypeCount = 20;

// Columns are padded by display characters, not bytes, so that names with
// accents line up.
std::size_t DisplayWidth(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(
      text.begin(), text.end(),
      [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string Table(const std::vector<std::vector<std::string>>& rows) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t i = 0; i < row.size(); ++i) {
      widths[i] = std::max(widths[i], DisplayWidth(row[i]));
    }
  }
  std::string text;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) {
        line.append(widths[i] - DisplayWidth(row[i]) + 2, ' ');
      }
    }
    text += line + "\n";
  }
  return text;
}

std::string ItemsForDisplay(const std::string& items) {
  std::string shown;
  for (char c : items) {
    if (c == ',') {
      shown += ", ";
    } else {
      shown += c;
    }
  }
  return shown;
}

}  // namespace

std::string FormatRecorderTable(const std::vector<RecorderInfo>& recorders,
                                const MediaNamer& name_of) {
  if (recorders.empty()) {
    return "no recorders found (virtual drives: --drives DIR)\n";
  }
  std::vector<std::vector<std::string>> rows = {{"INDEX", "VENDOR", "PRODUCT",
                                                 "MOUNT POINTS", "MEDIUM",
                                                 "SUPPORTED MEDIA"}};
  for (const RecorderInfo& info : recorders) {
    std::string supported;
    for (int type = 0; type < kMediaTypeCount; ++type) {
      if (!info.mediaSupportFlags[type]) continue;
      if (!supported.empty()) supported += ' ';
      supported += name_of(static_cast<IMAPI_MEDIA_PHYSICAL_TYPE>(type));
    }
    const std::string medium = info.currentMediaType == IMAPI_MEDIA_TYPE_UNKNOWN
                                   ? "none"
                                   : name_of(info.currentMediaType);
    rows.push_back({std::to_string(info.index), Narrow(info.vendorId),
                    Narrow(info.productId), Narrow(info.mountPoints), medium,
                    supported.empty() ? "-" : supported});
  }
  return Table(rows);
}

std::int64_t ParseSizeText(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  std::int64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (value > (INT64_MAX - 9) / 10) break;  // beyond any disc
    value = value * 10 + (text[i] - '0');
  }
  return negative ? -value : value;
}

std::string FormatSize(std::int64_t bytes) {
  static const char* const kUnits[] = {"kB", "MB", "GB", "TB"};
  if (bytes < 1000) return std::to_string(bytes) + " B";
  double value = static_cast<double>(bytes);
  int unit = -1;
  while (value >= 1000 && unit < 3) {
    value /= 1000;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof text, value < 10 ? "%.2f %s" : "%.1f %s", value,
                kUnits[unit]);
  return text;
}

std::string FormatPlan(const std::string& layout, const std::string& media,
                       const std::string& requested_work,
                       const std::string& work,
                       const std::vector<PlanDisc>& discs) {
  std::string text = "layout       " + layout + "\n";
  text += "media        " + media + "\n";
  text += "work folder  " + work + "\n";
  if (work != requested_work) {
    text += "             (" + requested_work +
            " has too little room for the work files)\n";
  }
  text += "\n";
  std::vector<std::vector<std::string>> rows = {{"DISC", "SIZE", "ITEMS"}};
  std::int64_t total = 0;
  for (const PlanDisc& disc : discs) {
    const std::int64_t size = ParseSizeText(disc.size_text);
    total += size;
    rows.push_back({std::to_string(disc.disc), FormatSize(size),
                    ItemsForDisplay(disc.items)});
  }
  text += Table(rows);
  // Appended piece by piece: GCC 12 at -O3 sees a false overlap in
  // "literal" + std::string (-Wrestrict).
  text += '\n';
  text += std::to_string(discs.size());
  text += discs.size() == 1 ? " disc, " : " discs, ";
  text += FormatSize(total);
  text += " in all\n";
  return text;
}

namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

std::string Folded(std::string text) {
  for (char& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The disc number of `key` when it is `media` followed by digits only,
// compared without case; else 0.
std::uint64_t DiscNumberOf(const std::string& key, const std::string& media) {
  if (key.size() <= media.size() ||
      Folded(key.substr(0, media.size())) != Folded(media)) {
    return 0;
  }
  const std::string digits = key.substr(media.size());
  if (digits.size() > 9 ||
      digits.find_first_not_of("0123456789") != std::string::npos) {
    return 0;
  }
  return std::stoull(digits);
}

}  // namespace

std::vector<std::string> LayoutWarnings(const std::string& text,
                                        const std::string& media,
                                        std::uint32_t disc_count) {
  // The keys of the first section of each name, as the reader keeps them.
  std::map<std::string, std::vector<std::string>> sections;
  std::vector<std::string>* keys = nullptr;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    line = Trimmed(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const std::string name = Folded(line.substr(1, line.find(']') - 1));
      keys = sections.count(name) != 0 ? nullptr : &sections[name];
    } else if (keys != nullptr && line.find('=') != std::string::npos) {
      keys->push_back(Trimmed(line.substr(0, line.find('='))));
    }
  }
  const auto& media_keys = sections["media:" + Folded(media)];
  std::vector<std::string> warnings;
  for (const std::string& key : media_keys) {
    const std::uint64_t n = DiscNumberOf(key, media);
    if (n == 0 || (n <= disc_count && key == media + std::to_string(n))) {
      continue;
    }
    warnings.push_back(key == media + std::to_string(n)
                           ? key + " is never read: " + media +
                                 std::to_string(disc_count + 1) +
                                 " is missing before it"
                           : key + " is never read: disc keys are spelt " +
                                 media + std::to_string(n));
  }
  for (const std::string& key : sections["size:" + Folded(media)]) {
    if (DiscNumberOf(key, media) != 0 &&
        std::find(media_keys.begin(), media_keys.end(), key) ==
            media_keys.end()) {
      warnings.push_back("SIZE:" + media + " " + key +
                         " has no key in MEDIA:" + media);
    }
  }
  return warnings;
}

}  // namespace tessaline_cli
