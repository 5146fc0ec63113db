// The image service as the data disc writer uses it; every image is read
// back by readers that are not ours.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <regex>
#include <string>
#include <utility>

#include "platform/udf/source_file.h"
#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

using namespace platform;

class UdfImageTest : public ::testing::Test {
 protected:
  UdfImageTest() : image_(platform::udf::CreateUdfFileSystemImage()) {
    image_->GetRoot(&root_);
    fs::create_directories(Source());
  }

  fs::path Source() const { return temp_.path() / "source"; }
  fs::path ImageFile() const { return temp_.path() / "image.udf"; }
  fs::path Read() const { return temp_.path() / "read"; }
  HRESULT AddSource(bool include_base = false) {
    return root_->AddTree(temp_.Wide("source"), include_base);
  }
  std::pair<int, int> Counts() {
    std::int32_t files = -1, directories = -1;
    EXPECT_EQ(image_->GetFileCount(&files), kS_OK);
    EXPECT_EQ(image_->GetDirectoryCount(&directories), kS_OK);
    return {files, directories};
  }
  std::shared_ptr<IFileSystemImageResult> Result(HRESULT expected = kS_OK) {
    std::shared_ptr<IFileSystemImageResult> result;
    EXPECT_EQ(image_->CreateResultImage(&result), expected);
    EXPECT_EQ(result != nullptr, expected == kS_OK);
    return result;
  }
  // Returns the volume id libudfread reads.
  std::string SaveAndRead(IFileSystemImageResult& result) {
    std::shared_ptr<IStream> stream;
    EXPECT_EQ(result.GetImageStream(&stream), kS_OK);
    EXPECT_EQ(SaveStream(*stream, ImageFile()), kS_OK);
    return ExtractWithLibudfread(ImageFile(), Read()).value_or("failed");
  }

  TempFolder temp_;
  std::shared_ptr<IFileSystemImage> image_;
  std::shared_ptr<IFsiDirectoryItem> root_;
};

TEST_F(UdfImageTest, FollowsLinksBelowAnIncludedBaseAndNamesTheImageByTime) {
  const fs::path outside = temp_.path() / "outside";
  WriteFile(Source() / "a.txt", "a");
  WriteFile(outside / "real.txt", "real content");
  WriteFile(outside / "inner" / "x.txt", "x");
  fs::create_symlink(outside / "real.txt", Source() / "file-link");
  fs::create_directory_symlink(outside, Source() / "folder-link");
  ASSERT_EQ(mkfifo((Source() / "pipe").c_str(), 0644), 0);  // left out
  ASSERT_EQ(AddSource(/*include_base=*/true), kS_OK);
  EXPECT_EQ(Counts(), std::pair(4, 3));
  fs::remove(Source() / "pipe");
  const std::string name = SaveAndRead(*Result());
  // The links read as what they lead to; the pipe is not there.
  EXPECT_EQ(ListFolder(Read()).size(), ListFolder(Source()).size() + 1);
  EXPECT_EQ(TreeDiff(Source(), Read() / "source"), "");
  // Without a volume name: YYYYMMDD_HHMMSS.
  EXPECT_TRUE(std::regex_match(name, std::regex("20[0-9]{6}_[0-9]{6}")))
      << name;
}

TEST_F(UdfImageTest, RefusesLoopsUnfitSourcesAndNamesAlreadyThere) {
  WriteFile(Source() / "a" / "b" / "file.txt", "f");
  const fs::path up = Source() / "a" / "b" / "up";
  fs::create_directory_symlink(Source() / "a", up);
  EXPECT_EQ(AddSource(), kIMAPI_E_DIRECTORY_READ_FAILURE);
  fs::remove(up);
  fs::create_symlink("self", Source() / "self");
  EXPECT_EQ(AddSource(), kIMAPI_E_DIRECTORY_READ_FAILURE);
  fs::remove(Source() / "self");
  // A base folder included is part of the loop check too.
  fs::create_directory_symlink(Source(), Source() / "a" / "root-again");
  EXPECT_EQ(AddSource(true), kIMAPI_E_DIRECTORY_READ_FAILURE);
  EXPECT_EQ(Counts(), std::pair(0, 0));
  fs::remove_all(Source() / "a");

  EXPECT_EQ(root_->AddTree(temp_.Wide("missing"), false),
            kIMAPI_E_DIRECTORY_READ_FAILURE);
  WriteFile(temp_.path() / "plain.txt", "p");
  EXPECT_EQ(root_->AddTree(temp_.Wide("plain.txt"), false), kIMAPI_E_NOT_DIR);
  fs::create_symlink(temp_.path() / "nowhere", Source() / "dangling");
  EXPECT_EQ(AddSource(), kIMAPI_E_DATA_STREAM_CREATE_FAILURE);
  fs::remove(Source() / "dangling");
  // 254 characters take 255 bytes with the compression id: the most a
  // name may hold.
  WriteFile(Source() / std::string(255, 'n'), "too long");
  EXPECT_EQ(AddSource(), kIMAPI_E_INVALID_PATH);
  fs::remove(Source() / std::string(255, 'n'));
  WriteFile(Source() / std::string(254, 'n'), "longest");
  std::string cjk;
  for (int i = 0; i < 85; ++i) cjk += "漢";  // 1 + 170 bytes
  WriteFile(Source() / cjk, "wide");
  ASSERT_EQ(AddSource(), kS_OK);

  WriteFile(temp_.path() / "other" / cjk, "second");
  WriteFile(temp_.path() / "other" / "new.txt", "new");
  EXPECT_EQ(root_->AddTree(temp_.Wide("other"), false), kIMAPI_E_DUP_NAME);
  EXPECT_EQ(Counts(), std::pair(2, 0));
  SaveAndRead(*Result());
  EXPECT_EQ(TreeDiff(Source(), Read()), "");
}

TEST_F(UdfImageTest, ImageLargerThanTheFreeBlocksFailsBeforeStreaming) {
  // A sparse 700 MB file: more than IMAPI2's default of 332,800 blocks.
  WriteSparseFile(Source() / "big.bin", 700ull * 1000 * 1000, {});
  ASSERT_EQ(AddSource(), kS_OK);
  Result(kIMAPI_E_IMAGE_SIZE_LIMIT);
  ASSERT_EQ(image_->PutFreeMediaBlocks(0), kS_OK);  // no limit
  std::int32_t blocks = 0;
  ASSERT_EQ(Result()->GetTotalBlocks(&blocks), kS_OK);
  EXPECT_GT(blocks, 332800);
  // The limit is inclusive.
  ASSERT_EQ(image_->PutFreeMediaBlocks(blocks), kS_OK);
  Result();
  ASSERT_EQ(image_->PutFreeMediaBlocks(blocks - 1), kS_OK);
  Result(kIMAPI_E_IMAGE_SIZE_LIMIT);
}

TEST_F(UdfImageTest, StreamGivesTheSameBytesWhateverThePullSize) {
  for (int i = 0; i < 40; ++i) {
    WritePatternFile(Source() / ("f" + std::to_string(i)),
                     static_cast<std::uint64_t>(i) * 70001 % 600000, i);
  }
  WritePatternFile(Source() / "d" / "large", 3 << 20, 99);
  ASSERT_EQ(AddSource(), kS_OK);
  auto result = Result();
  std::int32_t blocks = 0;
  ASSERT_EQ(result->GetTotalBlocks(&blocks), kS_OK);
  std::string reference;
  for (std::uint32_t pull : {8u << 20, 1000u, 2048u, 300000u}) {
    std::shared_ptr<IStream> stream;
    std::uint64_t size = 0;
    ASSERT_EQ(result->GetImageStream(&stream), kS_OK);
    ASSERT_EQ(stream->Stat(&size), kS_OK);
    ASSERT_EQ(SaveStream(*stream, ImageFile(), pull), kS_OK);
    const std::string bytes = ReadFile(ImageFile());
    if (reference.empty()) reference = bytes;
    EXPECT_TRUE(bytes == reference && size == bytes.size() &&
                size == static_cast<std::uint64_t>(blocks) * 2048)
        << pull;
  }
}

TEST_F(UdfImageTest, SourceChangedAfterLayoutFailsTheStream) {
  WriteFile(Source() / "a.txt", "stable");
  WriteFile(Source() / "b.txt", "will grow");
  WriteFile(Source() / "c.txt", "will go");
  ASSERT_EQ(AddSource(), kS_OK);
  auto result = Result();
  std::shared_ptr<IStream> stream;
  ASSERT_EQ(result->GetImageStream(&stream), kS_OK);
  WriteFile(Source() / "b.txt", "has grown since");
  EXPECT_EQ(SaveStream(*stream, ImageFile()),
            kIMAPI_E_DATA_STREAM_INCONSISTENCY);
  std::uint32_t got = 1;
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1, &got), kIMAPI_E_DATA_STREAM_INCONSISTENCY);
  EXPECT_EQ(got, 0u);

  WriteFile(Source() / "b.txt", "will grow");
  fs::remove(Source() / "c.txt");
  ASSERT_EQ(result->GetImageStream(&stream), kS_OK);
  EXPECT_EQ(SaveStream(*stream, ImageFile()),
            kIMAPI_E_DATA_STREAM_CREATE_FAILURE);
}

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

TEST(SourceFileTest, AReadErrorFailsTheReadInsteadOfRetrying) {
  TempFolder temp;
  WriteFile(temp.path() / "f", "data");
  platform::udf::SourceFile file;
  ASSERT_EQ(file.Open((temp.path() / "f").string(), 4), kS_OK);
  // A buffer the kernel cannot write to: read() fails with EFAULT.
  EXPECT_EQ(file.Read(reinterpret_cast<std::uint8_t*>(8), 4),
            kIMAPI_E_DATA_STREAM_READ_FAILURE);
}

}  // namespace
}  // namespace tessaline::testing::udf
