// Every image is read back by readers that are not ours: libudfread lists
// the tree and compares every file byte for byte, 7-Zip extracts a tree
// that must equal the source, and udfinfo checks the volume structure.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

struct Expected {
  std::string label = "TESTDISC";
  std::string volume_id = "TESTDISC";  // the primary descriptor's
  int files = 0;
  int directories = 0;  // the root not counted
};

class UdfReadbackTest : public ::testing::Test {
 protected:
  fs::path Source() const { return temp_.path() / "source"; }
  fs::path Image() const { return temp_.path() / "image.udf"; }

  void SetUp() override { fs::create_directories(Source()); }

  // Builds the image and has every outside reader check it.
  void BuildAndCheck(
      const Expected& expected,
      const std::optional<std::wstring>& label = std::wstring(L"TESTDISC")) {
    const BuiltImage built = BuildImage(Source(), Image(), label);
    ASSERT_EQ(built.status, platform::kS_OK);
    EXPECT_EQ(built.files, expected.files);
    EXPECT_EQ(built.directories, expected.directories);
    EXPECT_EQ(static_cast<std::uint64_t>(built.blocks) * 2048,
              fs::file_size(Image()));
    CheckLibudfread(expected);
    CheckSevenZip();
    CheckUdfinfo(expected);
  }

  void CheckLibudfread(const Expected& expected) {
    const UdfReadback readback = ReadWithLibudfread(Image(), Source());
    ASSERT_TRUE(readback.opened);
    EXPECT_EQ(FromModifiedUtf8(readback.volume_id), expected.volume_id);
    EXPECT_EQ(readback.items, ListFolder(Source()));
    EXPECT_TRUE(readback.mismatches.empty())
        << "first mismatch: " << readback.mismatches.front();
  }

  void CheckSevenZip() {
    const fs::path out = temp_.path() / "extracted";
    fs::create_directories(out);
    int status = 0;
    const std::string log = RunCommand(
        "7zz x -y -bd -o" + Quote(out) + " " + Quote(Image()), &status);
    ASSERT_EQ(status, 0) << log;
    const std::string diff =
        RunCommand("diff -r " + Quote(Source()) + " " + Quote(out), &status);
    EXPECT_EQ(status, 0) << diff;
    fs::remove_all(out);
  }

  void CheckUdfinfo(const Expected& expected) {
    int status = 0;
    const std::string info =
        RunCommand("udfinfo --utf8 " + Quote(Image()), &status);
    ASSERT_EQ(status, 0) << info;
    EXPECT_EQ(InfoValue(info, "label"), expected.label) << info;
    EXPECT_EQ(InfoValue(info, "vid"), expected.volume_id) << info;
    EXPECT_EQ(InfoValue(info, "udfrev"), "2.01") << info;
    EXPECT_EQ(InfoValue(info, "integrity"), "closed") << info;
    EXPECT_EQ(InfoValue(info, "numfiles"), std::to_string(expected.files));
    // UDF counts the root among the directories.
    EXPECT_EQ(InfoValue(info, "numdirs"),
              std::to_string(expected.directories + 1));
  }

  void Write(const std::string& relative, const std::string& content) {
    WriteFile(Source() / relative, content);
  }

  TempFolder temp_;
};

TEST_F(UdfReadbackTest, EmptyFolder) { BuildAndCheck(Expected{}); }

TEST_F(UdfReadbackTest, MixedTreeWithUnicodeNamesAndBlockEdges) {
  Write("empty.txt", "");
  Write("sub/empty too", "");
  Write("exact2048.bin", std::string(2048, 'x'));
  Write("odd2049.bin", std::string(2047, 'y') + "zz");
  Write("sub/deeper/small.txt", "hello");
  Write("café crème.txt", "accents");
  Write("日本語のファイル.txt", "CJK");
  Write("𝄞 clef.txt", "beyond the basic plane");
  Write("Ünïcode dir/文件/😀.bin", std::string(5000, '\1'));
  WritePatternFile(Source() / "pattern.bin", 3 * 2048 + 17, 7);
  fs::create_directories(Source() / "empty folder");
  Expected expected;
  expected.files = 10;
  expected.directories = 5;
  BuildAndCheck(expected);
}

TEST_F(UdfReadbackTest, TenThousandFilesInOneFolder) {
  // Names of 8 to 40 characters make the directory span many blocks, with
  // identifiers crossing block boundaries.
  for (int i = 0; i < 10000; ++i) {
    const std::string name =
        "file-" + std::to_string(i) + std::string(i % 33, 'n') + ".txt";
    Write("many/" + name, std::to_string(i));
  }
  Expected expected;
  expected.files = 10000;
  expected.directories = 1;
  BuildAndCheck(expected);
}

TEST_F(UdfReadbackTest, TreeSixtyFourFoldersDeep) {
  std::string path;
  for (int depth = 0; depth < 64; ++depth) {
    path += "level" + std::to_string(depth) + "/";
    if (depth % 16 == 0) Write(path + "marker.txt", std::to_string(depth));
  }
  Write(path + "bottom.txt", "bottom");
  Expected expected;
  expected.files = 5;
  expected.directories = 64;
  BuildAndCheck(expected);
}

TEST_F(UdfReadbackTest, LongVolumeNameIsShortenedPerField) {
  Write("a.txt", "a");
  const std::string name(200, 'L');
  Expected expected;
  expected.files = 1;
  expected.label = std::string(126, 'L');     // logical volume: 128 bytes
  expected.volume_id = std::string(30, 'L');  // primary: 32 bytes
  BuildAndCheck(expected, platform::FromUtf8(name));
}

TEST_F(UdfReadbackTest, LongUnicodeVolumeNameKeepsWholeCharacters) {
  Write("a.txt", "a");
  // 16-bit characters: 63 fit the logical volume identifier, 15 the
  // primary one; a pair of surrogates is never split.
  std::string name;
  for (int i = 0; i < 70; ++i) name += "名";
  const std::string long_id = name.substr(0, 63 * 3);
  Expected expected;
  expected.files = 1;
  expected.label = long_id;
  expected.volume_id = name.substr(0, 15 * 3);
  BuildAndCheck(expected, platform::FromUtf8(name));

  std::string clefs;
  for (int i = 0; i < 20; ++i) clefs += "𝄞";
  expected.label = clefs;                       // 40 units fit in 63
  expected.volume_id = clefs.substr(0, 7 * 4);  // 14 of 15 units
  BuildAndCheck(expected, platform::FromUtf8(clefs));
}

TEST_F(UdfReadbackTest, SparseFileAcrossTheExtentBoundary) {
  // One extent holds 2^30 - 2048 bytes: this file needs two, and its
  // marks sit on either side of the boundary and at the very end.
  const fs::path big = Source() / "big.bin";
  const std::uint64_t boundary = (std::uint64_t{1} << 30) - 2048;
  const std::uint64_t size = boundary + 3 * 2048 + 123;
  WriteFile(big, "start");
  fs::resize_file(big, size);
  {
    std::fstream out(big, std::ios::in | std::ios::out | std::ios::binary);
    out.seekp(static_cast<std::streamoff>(boundary - 3));
    out.write("before|after", 12);
    out.seekp(static_cast<std::streamoff>(size - 4));
    out.write("end!", 4);
  }
  Write("small.txt", "small");
  Expected expected;
  expected.files = 2;
  BuildAndCheck(expected);
}

}  // namespace
}  // namespace tessaline::testing::udf
