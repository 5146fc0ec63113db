// Every image is read back by readers that are not ours: libudfread lists
// the tree and reads every file, 7-Zip extracts it with its times, and both
// trees must equal the source; udfinfo checks the volume structure.
#include <gtest/gtest.h>

#include <string>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

// The value udfinfo gives for `key` ("label=..." lines), or "" if none.
std::string InfoValue(const std::string& info, const std::string& key) {
  const std::size_t at = ("\n" + info).find("\n" + key + "=");
  if (at == std::string::npos) return "";
  const std::size_t start = at + key.size() + 1;
  return info.substr(start, info.find('\n', start) - start);
}

class UdfReadbackTest : public ::testing::Test {
 protected:
  fs::path Source() const { return temp_.path() / "source"; }
  void SetUp() override { fs::create_directories(Source()); }

  // Builds the image named `name`; UDF's logical volume identifier must
  // read `label` and the primary descriptor's `volume_id`.
  void BuildAndCheck(const std::string& name, const std::string& label,
                     const std::string& volume_id) {
    const std::map<std::string, bool> items = ListFolder(Source());
    int files = 0, directories = 0;
    for (const auto& [path, is_dir] : items) {
      ++(is_dir ? directories : files);
    }
    const fs::path image = temp_.path() / "image.udf";
    std::int32_t blocks = 0;
    ASSERT_EQ(BuildImage(Source(), image, platform::FromUtf8(name), &blocks),
              platform::kS_OK);
    EXPECT_EQ(static_cast<std::uint64_t>(blocks) * 2048, fs::file_size(image));
    EXPECT_EQ(ExtractWithLibudfread(image, temp_.path() / "udfread"),
              volume_id);
    EXPECT_TRUE(SameTrees(Source(), temp_.path() / "udfread"));
    ASSERT_TRUE(ExtractWithSevenZip(image, temp_.path() / "7z"));
    EXPECT_TRUE(SameTrees(Source(), temp_.path() / "7z"));
    for (const auto& [path, is_dir] : items) {
      using std::chrono::floor, std::chrono::microseconds;
      EXPECT_EQ(
          floor<microseconds>(fs::last_write_time(Source() / path)),
          floor<microseconds>(fs::last_write_time(temp_.path() / "7z" / path)))
          << path;
    }

    int status = 0;
    const std::string info =
        RunCommand("udfinfo --utf8 " + Quote(image), &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_EQ(InfoValue(info, "label"), label) << info;
    EXPECT_EQ(InfoValue(info, "vid"), volume_id) << info;
    EXPECT_EQ(InfoValue(info, "udfrev"), "2.01") << info;
    EXPECT_EQ(InfoValue(info, "integrity"), "closed") << info;
    EXPECT_EQ(InfoValue(info, "numfiles"), std::to_string(files));
    // UDF counts the root among the directories.
    EXPECT_EQ(InfoValue(info, "numdirs"), std::to_string(directories + 1));
  }

  TempFolder temp_;
};

TEST_F(UdfReadbackTest, EmptyFolderNamedBeyondTheBasicPlane) {
  // 16-bit characters: 63 fit the logical volume identifier, 15 the
  // primary one, and a pair of surrogates is never split.
  std::string clefs;
  for (int i = 0; i < 20; ++i) clefs += "𝄞";
  BuildAndCheck(clefs, clefs, clefs.substr(0, 7 * 4));
}

TEST_F(UdfReadbackTest, MixedTreeSixtyFourDeepWithATooLongName) {
  WriteMixedTree(Source());
  // 8-bit characters: the fields hold 128 and 32 bytes. A wide character
  // beyond the cut does not make them 16-bit.
  BuildAndCheck(std::string(200, 'L') + "日", std::string(126, 'L'),
                std::string(30, 'L'));
}

TEST_F(UdfReadbackTest, TenThousandFilesAndASparseFileOverAnExtentBoundary) {
  // Names of 8 to 40 characters make the directory span many blocks, with
  // identifiers crossing block boundaries.
  for (int i = 0; i < 10000; ++i) {
    WriteFile(Source() / "many" /
                  ("file-" + std::to_string(i) + std::string(i % 33, 'n')),
              std::to_string(i));
  }
  // One extent holds 2^30 - 2048 bytes: this file needs two, marked on
  // either side of the boundary and at the very end.
  const std::uint64_t boundary = (std::uint64_t{1} << 30) - 2048;
  WriteSparseFile(Source() / "big.bin", boundary + 3 * 2048 + 123,
                  {boundary - 4, boundary + 3 * 2048 + 115});
  std::string name;
  for (int i = 0; i < 70; ++i) name += "名";
  BuildAndCheck(name, name.substr(0, 63 * 3), name.substr(0, 15 * 3));
}

}  // namespace
}  // namespace tessaline::testing::udf
