// Tables the host prints: the recorders and the disc plan.
#ifndef TESSALINE_TOOLS_TESSALINE_CLI_TABLES_H_
#define TESSALINE_TOOLS_TESSALINE_CLI_TABLES_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tessaline/tessaline.h"

namespace tessaline_cli {

// The name of a physical media type ("DVDPLUSRW").
using MediaNamer = std::function<std::string(IMAPI_MEDIA_PHYSICAL_TYPE)>;

// One row per recorder: index, vendor, product, mount points, current
// medium ("none" when the drive reports none) and the supported media by
// name. An empty list gives a line saying so.
std::string FormatRecorderTable(const std::vector<RecorderInfo>& recorders,
                                const MediaNamer& name_of);

// A disc's size text read as the library reads it: leading blanks, an
// optional sign, digits up to the first other character; 0 without digits.
std::int64_t ParseSizeText(const std::string& text);

// "850 B", "1.5 kB", "23.4 MB", "4.70 GB" (powers of 1000, as disc
// capacities are given).
std::string FormatSize(std::int64_t bytes);

struct PlanDisc {
  std::int32_t disc = 0;
  std::string items;      // the layout's comma-separated list
  std::string size_text;  // the layout's size value
};

// The plan: the layout and media name, the work folder (and the one asked
// for when the library chose another), then one line per disc with its size
// and items, and the total.
std::string FormatPlan(const std::string& layout, const std::string& media,
                       const std::string& requested_work,
                       const std::string& work,
                       const std::vector<PlanDisc>& discs);

// Keys of the layout `text` that the plan of `media` (with `disc_count`
// discs) never reads, one line each: a disc key after a gap, one in another
// case, and a size key without its disc key. The library reads the disc
// keys of exactly the media name from 1 up to the first one missing.
std::vector<std::string> LayoutWarnings(const std::string& text,
                                        const std::string& media,
                                        std::uint32_t disc_count);

}  // namespace tessaline_cli

#endif  // TESSALINE_TOOLS_TESSALINE_CLI_TABLES_H_
