// The recorder table and the sizes of the disc plan (the plan itself is
// checked through the host's runs).
#include "cli_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace tessaline_cli {
namespace {

TEST(CliTablesTest, RecorderTableColumnsCountCharactersNotBytes) {
  RecorderInfo info;
  info.index = 3;
  info.vendorId = L"Ünï";
  info.productId = L"BD";
  info.mountPoints = L"/a|/b";
  info.currentMediaType = IMAPI_MEDIA_TYPE_BDRE;
  info.mediaSupportFlags[IMAPI_MEDIA_TYPE_BDRE] = true;
  info.mediaSupportFlags[IMAPI_MEDIA_TYPE_CDR] = true;
  const auto name = [](IMAPI_MEDIA_PHYSICAL_TYPE type) {
    return "T" + std::to_string(static_cast<int>(type));
  };
  EXPECT_EQ(FormatRecorderTable({info}, name),
            "INDEX  VENDOR  PRODUCT  MOUNT POINTS  MEDIUM  SUPPORTED MEDIA\n"
            "3      Ünï     BD       /a|/b         T19     T2 T19\n");
}

TEST(CliTablesTest, SizesAreReadAsTheLibraryReadsThemAndShownInDecimalUnits) {
  EXPECT_EQ(ParseSizeText("  +123abc"), 123);
  EXPECT_EQ(ParseSizeText("-5"), -5);
  EXPECT_EQ(ParseSizeText("abc"), 0);
  EXPECT_EQ(FormatSize(42542273), "42.5 MB");
  EXPECT_EQ(FormatSize(4700000000), "4.70 GB");
}

}  // namespace
}  // namespace tessaline_cli
