// The recorder table and the disc plan.
#include "cli_tables.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

namespace tessaline_cli {
namespace {

std::string NameOf(IMAPI_MEDIA_PHYSICAL_TYPE type) {
  return "T" + std::to_string(static_cast<int>(type));
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(CliTablesTest, RecorderTableShowsEveryFieldInAlignedColumns) {
  RecorderInfo first;
  first.index = 0;
  first.vendorId = L"VIRTUAL";
  first.productId = L"DVD+RW Writer";
  first.mountPoints = L"/drives/drive0/mount/";
  first.currentMediaType = IMAPI_MEDIA_TYPE_DVDPLUSRW;
  first.mediaSupportFlags[IMAPI_MEDIA_TYPE_DVDPLUSRW] = true;
  first.mediaSupportFlags[IMAPI_MEDIA_TYPE_CDR] = true;
  RecorderInfo second;
  second.index = 3;
  second.vendorId = L"Ünï";
  second.productId = L"BD";
  second.mountPoints = L"/a|/b";

  const std::vector<std::string> lines =
      Lines(FormatRecorderTable({first, second}, NameOf));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0],
            "INDEX  VENDOR   PRODUCT        MOUNT POINTS           MEDIUM  "
            "SUPPORTED MEDIA");
  // Supported media in the order of the type values.
  EXPECT_EQ(lines[1],
            "0      VIRTUAL  DVD+RW Writer  /drives/drive0/mount/  T7      "
            "T2 T7");
  // Width counts characters, not bytes; no medium and no support shown.
  EXPECT_EQ(lines[2],
            "3      Ünï      BD             /a|/b                  none    -");

  EXPECT_NE(FormatRecorderTable({}, NameOf).find("no recorders found"),
            std::string::npos);
}

TEST(CliTablesTest, SizesAreReadAsTheLibraryReadsThemAndShownInDecimalUnits) {
  EXPECT_EQ(ParseSizeText("  +123abc"), 123);
  EXPECT_EQ(ParseSizeText("-5"), -5);
  EXPECT_EQ(ParseSizeText("abc"), 0);
  EXPECT_EQ(FormatSize(999), "999 B");
  EXPECT_EQ(FormatSize(1000), "1.00 kB");
  EXPECT_EQ(FormatSize(42542273), "42.5 MB");
  EXPECT_EQ(FormatSize(4700000000), "4.70 GB");
}

TEST(CliTablesTest, PlanListsDiscsAndTellsWhenTheWorkFolderMoved) {
  const std::vector<PlanDisc> discs = {{1, "boot,sources,kiro", "1132655"},
                                       {2, "data2", "42542273"}};
  std::string plan = FormatPlan("/s/layout.ini", "DVD", "/w", "/w", discs);
  EXPECT_EQ(plan,
            "layout       /s/layout.ini\n"
            "media        DVD\n"
            "work folder  /w\n"
            "\n"
            "DISC  SIZE     ITEMS\n"
            "1     1.13 MB  boot, sources, kiro\n"
            "2     42.5 MB  data2\n"
            "\n"
            "2 discs, 43.7 MB in all\n");

  plan = FormatPlan("/l", "DVD", "/small", "/big/temp/ZeltRecovery/",
                    {{1, "a", "5"}});
  EXPECT_NE(plan.find("work folder  /big/temp/ZeltRecovery/\n"
                      "             (/small has too little room"),
            std::string::npos)
      << plan;
  EXPECT_NE(plan.find("1 disc, 5 B in all"), std::string::npos) << plan;
}

}  // namespace
}  // namespace tessaline_cli
