// The image service as the data disc writer uses it: settings, the root's
// AddTree, counts, limits, boot options, and the result stream.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <string>

#include "platform/posix/file_stream.h"
#include "support/core/temp_folder.h"
#include "udf_test_support.h"

namespace tessaline::testing::udf {
namespace {

using platform::IFileSystemImage;
using platform::IFileSystemImageResult;
using platform::IFsiDirectoryItem;
using platform::IStream;

// A value of an item in the technical listing of "7zz l -slt".
std::string ListedValue(const std::string& listing, const std::string& path,
                        const std::string& key) {
  const std::size_t item = listing.find("\nPath = " + path + "\n");
  if (item == std::string::npos) return "";
  const std::size_t value = listing.find("\n" + key + " = ", item + 1);
  if (value == std::string::npos) return "";
  const std::size_t start = value + key.size() + 4;
  return listing.substr(start, listing.find('\n', start) - start);
}

class UdfImageTest : public ::testing::Test {
 protected:
  UdfImageTest() : image_(platform::udf::CreateUdfFileSystemImage()) {
    image_->GetRoot(&root_);
    fs::create_directories(Source());
  }

  fs::path Source() const { return temp_.path() / "source"; }
  fs::path ImageFile() const { return temp_.path() / "image.udf"; }
  std::wstring Wide(const fs::path& path) const {
    return platform::FromUtf8(path.string());
  }
  HRESULT AddSource(bool include_base = false) {
    return root_->AddTree(Wide(Source()), include_base);
  }
  int Files() {
    std::int32_t count = -1;
    EXPECT_EQ(image_->GetFileCount(&count), platform::kS_OK);
    return count;
  }
  int Directories() {
    std::int32_t count = -1;
    EXPECT_EQ(image_->GetDirectoryCount(&count), platform::kS_OK);
    return count;
  }
  // Creates the result and saves its stream; the image's items as
  // libudfread sees them, compared with `source`.
  UdfReadback SaveAndRead(const fs::path& source) {
    std::shared_ptr<IFileSystemImageResult> result;
    std::shared_ptr<IStream> stream;
    EXPECT_EQ(image_->CreateResultImage(&result), platform::kS_OK);
    if (!result) return {};
    EXPECT_EQ(result->GetImageStream(&stream), platform::kS_OK);
    EXPECT_EQ(SaveStream(*stream, ImageFile()), platform::kS_OK);
    return ReadWithLibudfread(ImageFile(), source);
  }

  TempFolder temp_;
  std::shared_ptr<IFileSystemImage> image_;
  std::shared_ptr<IFsiDirectoryItem> root_;
};

TEST_F(UdfImageTest, CreatesUdfOnlyAndKeepsTheSettingOnRefusal) {
  std::uint32_t systems = 0;
  ASSERT_EQ(image_->GetFileSystemsToCreate(&systems), platform::kS_OK);
  EXPECT_EQ(systems, platform::kFileSystemUDF);
  EXPECT_EQ(image_->PutFileSystemsToCreate(platform::kFileSystemUDF),
            platform::kS_OK);
  for (std::uint32_t refused : {1u, 2u, 3u, 5u, 6u, 7u, 0u}) {
    EXPECT_EQ(image_->PutFileSystemsToCreate(refused),
              platform::kIMAPI_E_INVALID_PARAM)
        << refused;
    ASSERT_EQ(image_->GetFileSystemsToCreate(&systems), platform::kS_OK);
    EXPECT_EQ(systems, platform::kFileSystemUDF);
  }
}

TEST_F(UdfImageTest, ContentGoesToTheRootOrBelowTheFoldersName) {
  WriteFile(Source() / "a.txt", "a");
  WriteFile(Source() / "sub" / "b.txt", "b");
  ASSERT_EQ(AddSource(/*include_base=*/true), platform::kS_OK);
  EXPECT_EQ(Files(), 2);
  EXPECT_EQ(Directories(), 2);  // "source" and "source/sub"
  const UdfReadback readback = SaveAndRead(temp_.path());
  const std::map<std::string, bool> expected = {{"source", true},
                                                {"source/a.txt", false},
                                                {"source/sub", true},
                                                {"source/sub/b.txt", false}};
  EXPECT_EQ(readback.items, expected);
  EXPECT_TRUE(readback.mismatches.empty());
}

TEST_F(UdfImageTest, FollowsLinksAsWhatTheyPointTo) {
  const fs::path outside = temp_.path() / "outside";
  WriteFile(outside / "real.txt", "real content");
  WriteFile(outside / "inner" / "x.txt", "x");
  fs::create_symlink(outside / "real.txt", Source() / "file-link");
  fs::create_directory_symlink(outside, Source() / "folder-link");
  ASSERT_EQ(mkfifo((Source() / "pipe").c_str(), 0644), 0);  // left out
  ASSERT_EQ(AddSource(), platform::kS_OK);
  EXPECT_EQ(Files(), 3);
  EXPECT_EQ(Directories(), 2);
  fs::remove(Source() / "pipe");
  const UdfReadback readback = SaveAndRead(Source());
  const std::map<std::string, bool> expected = {
      {"file-link", false},
      {"folder-link", true},
      {"folder-link/inner", true},
      {"folder-link/inner/x.txt", false},
      {"folder-link/real.txt", false}};
  EXPECT_EQ(readback.items, expected);
  EXPECT_TRUE(readback.mismatches.empty());
}

TEST_F(UdfImageTest, LinkLoopsFailAndLeaveTheImageAsItWas) {
  WriteFile(Source() / "a" / "b" / "file.txt", "f");
  fs::create_directory_symlink(Source() / "a", Source() / "a" / "b" / "up");
  EXPECT_EQ(AddSource(), platform::kIMAPI_E_DIRECTORY_READ_FAILURE);
  EXPECT_EQ(Files(), 0);
  EXPECT_EQ(Directories(), 0);

  fs::remove(Source() / "a" / "b" / "up");
  fs::create_symlink("self", Source() / "self");  // a link to itself
  EXPECT_EQ(AddSource(), platform::kIMAPI_E_DIRECTORY_READ_FAILURE);
  fs::remove(Source() / "self");
  // A base folder included is part of the loop check too.
  fs::create_directory_symlink(Source(), Source() / "a" / "root-again");
  EXPECT_EQ(AddSource(true), platform::kIMAPI_E_DIRECTORY_READ_FAILURE);
  EXPECT_EQ(Files(), 0);
  EXPECT_EQ(Directories(), 0);
}

TEST_F(UdfImageTest, ReportsSourcesItCannotTake) {
  EXPECT_EQ(root_->AddTree(Wide(temp_.path() / "missing"), false),
            platform::kIMAPI_E_DIRECTORY_READ_FAILURE);
  WriteFile(temp_.path() / "plain.txt", "p");
  EXPECT_EQ(root_->AddTree(Wide(temp_.path() / "plain.txt"), false),
            platform::kIMAPI_E_NOT_DIR);

  fs::create_symlink(temp_.path() / "nowhere", Source() / "dangling");
  EXPECT_EQ(AddSource(), platform::kIMAPI_E_DATA_STREAM_CREATE_FAILURE);
  fs::remove(Source() / "dangling");

  // 254 characters take 255 bytes with the compression id: the most a
  // name may hold. One more is refused.
  WriteFile(Source() / std::string(255, 'n'), "too long");
  EXPECT_EQ(AddSource(), platform::kIMAPI_E_INVALID_PATH);
  fs::remove(Source() / std::string(255, 'n'));
  WriteFile(Source() / std::string(254, 'n'), "longest");
  std::string cjk;
  for (int i = 0; i < 85; ++i) cjk += "漢";  // 1 + 170 bytes
  WriteFile(Source() / cjk, "wide");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  const UdfReadback readback = SaveAndRead(Source());
  EXPECT_EQ(readback.items.size(), 2u);
  EXPECT_TRUE(readback.mismatches.empty());
}

TEST_F(UdfImageTest, SecondTreeWithTheSameNameIsRefused) {
  WriteFile(Source() / "same.txt", "first");
  const fs::path other = temp_.path() / "other";
  WriteFile(other / "same.txt", "second");
  WriteFile(other / "new.txt", "new");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  EXPECT_EQ(root_->AddTree(Wide(other), false), platform::kIMAPI_E_DUP_NAME);
  EXPECT_EQ(Files(), 1);
  fs::remove(other / "same.txt");
  ASSERT_EQ(root_->AddTree(Wide(other), false), platform::kS_OK);
  EXPECT_EQ(Files(), 2);
}

TEST_F(UdfImageTest, ImageLargerThanTheFreeBlocksFailsBeforeStreaming) {
  // A sparse 700 MB file: more than IMAPI2's default of 332,800 blocks.
  const fs::path big = Source() / "big.bin";
  WriteFile(big, "");
  fs::resize_file(big, 700ull * 1000 * 1000);
  ASSERT_EQ(AddSource(), platform::kS_OK);
  std::shared_ptr<IFileSystemImageResult> result;
  EXPECT_EQ(image_->CreateResultImage(&result),
            platform::kIMAPI_E_IMAGE_SIZE_LIMIT);
  EXPECT_EQ(result, nullptr);

  EXPECT_EQ(image_->PutFreeMediaBlocks(-1), platform::kIMAPI_E_INVALID_PARAM);
  ASSERT_EQ(image_->PutFreeMediaBlocks(0), platform::kS_OK);  // no limit
  ASSERT_EQ(image_->CreateResultImage(&result), platform::kS_OK);
  std::int32_t blocks = 0;
  ASSERT_EQ(result->GetTotalBlocks(&blocks), platform::kS_OK);
  EXPECT_GT(blocks, 332800);

  // The limit is inclusive: an image of exactly the free blocks fits.
  ASSERT_EQ(image_->PutFreeMediaBlocks(blocks), platform::kS_OK);
  EXPECT_EQ(image_->CreateResultImage(&result), platform::kS_OK);
  ASSERT_EQ(image_->PutFreeMediaBlocks(blocks - 1), platform::kS_OK);
  EXPECT_EQ(image_->CreateResultImage(&result),
            platform::kIMAPI_E_IMAGE_SIZE_LIMIT);
}

TEST_F(UdfImageTest, BootOptionsMakeTheResultFail) {
  EXPECT_EQ(image_->CreateResultImage(nullptr), platform::kE_POINTER);
  WriteFile(Source() / "a.txt", "a");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  auto options = platform::udf::CreateBootOptions();
  EXPECT_EQ(options->AssignBootImage(nullptr), platform::kE_POINTER);
  std::shared_ptr<IStream> boot;
  WriteFile(temp_.path() / "boot.img", std::string(2048, 'b'));
  ASSERT_EQ(
      platform::posix::OpenFileStream(Wide(temp_.path() / "boot.img"), &boot),
      platform::kS_OK);
  ASSERT_EQ(options->AssignBootImage(boot), platform::kS_OK);
  ASSERT_EQ(image_->PutBootImageOptions(options), platform::kS_OK);
  std::shared_ptr<IFileSystemImageResult> result;
  EXPECT_EQ(image_->CreateResultImage(&result),
            platform::kIMAPI_E_BOOT_IMAGE_DATA);
  EXPECT_EQ(result, nullptr);
  ASSERT_EQ(image_->PutBootImageOptions(nullptr), platform::kS_OK);
  EXPECT_EQ(image_->CreateResultImage(&result), platform::kS_OK);
}

TEST_F(UdfImageTest, WithoutAVolumeNameTheImageIsNamedAfterItsTime) {
  WriteFile(Source() / "a.txt", "a");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  const UdfReadback readback = SaveAndRead(Source());
  // YYYYMMDD_HHMMSS
  const std::string& name = readback.volume_id;
  ASSERT_EQ(name.size(), 15u) << name;
  for (std::size_t i = 0; i < name.size(); ++i) {
    EXPECT_TRUE(i == 8 ? name[i] == '_' : std::isdigit(name[i]) != 0) << name;
  }
  EXPECT_EQ(name.substr(0, 2), "20");
}

TEST_F(UdfImageTest, ModificationTimesComeFromTheSources) {
  WriteFile(Source() / "old.txt", "old");
  fs::create_directories(Source() / "dir");
  const timespec times[2] = {{0, UTIME_OMIT}, {981173106, 250000000}};
  ASSERT_EQ(utimensat(AT_FDCWD, (Source() / "old.txt").c_str(), times, 0), 0);
  const timespec early[2] = {{0, UTIME_OMIT}, {-86400, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (Source() / "dir").c_str(), early, 0), 0);
  ASSERT_EQ(AddSource(), platform::kS_OK);
  SaveAndRead(Source());
  int status = 0;
  const std::string listing =
      RunCommand("TZ=UTC 7zz l -slt " + Quote(ImageFile()), &status);
  ASSERT_EQ(status, 0) << listing;
  EXPECT_EQ(ListedValue(listing, "old.txt", "Modified"),
            "2001-02-03 04:05:06.250000");
  EXPECT_EQ(ListedValue(listing, "dir", "Modified"),
            "1969-12-31 00:00:00.000000");
}

TEST_F(UdfImageTest, StreamGivesTheSameBytesWhateverThePullSize) {
  for (int i = 0; i < 40; ++i) {
    WritePatternFile(Source() / ("f" + std::to_string(i)),
                     static_cast<std::uint64_t>(i) * 70001 % 600000, i);
  }
  WritePatternFile(Source() / "d" / "large", 3 << 20, 99);
  ASSERT_EQ(AddSource(), platform::kS_OK);
  std::shared_ptr<IFileSystemImageResult> result;
  ASSERT_EQ(image_->CreateResultImage(&result), platform::kS_OK);
  std::int32_t blocks = 0;
  ASSERT_EQ(result->GetTotalBlocks(&blocks), platform::kS_OK);

  std::string reference;
  for (std::uint32_t pull : {std::uint32_t{8} << 20, std::uint32_t{1000},
                             std::uint32_t{2048}, std::uint32_t{300000}}) {
    std::shared_ptr<IStream> stream;
    ASSERT_EQ(result->GetImageStream(&stream), platform::kS_OK);
    std::uint64_t size = 0;
    ASSERT_EQ(stream->Stat(&size), platform::kS_OK);
    EXPECT_EQ(size, static_cast<std::uint64_t>(blocks) * 2048);
    std::string bytes;
    std::vector<char> buffer(pull);
    std::uint32_t got = 0;
    do {
      ASSERT_EQ(stream->Read(buffer.data(), pull, &got), platform::kS_OK);
      bytes.append(buffer.data(), got);
    } while (got == pull);
    EXPECT_EQ(bytes.size(), size) << pull;
    if (reference.empty()) {
      reference = bytes;
    } else {
      EXPECT_TRUE(bytes == reference) << "pulls of " << pull << " differ";
    }
  }
}

TEST_F(UdfImageTest, SourceChangedAfterLayoutFailsTheStream) {
  WriteFile(Source() / "a.txt", "stable");
  WriteFile(Source() / "b.txt", "will grow");
  WriteFile(Source() / "c.txt", "will go");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  std::shared_ptr<IFileSystemImageResult> result;
  ASSERT_EQ(image_->CreateResultImage(&result), platform::kS_OK);

  std::shared_ptr<IStream> stream;
  ASSERT_EQ(result->GetImageStream(&stream), platform::kS_OK);
  WriteFile(Source() / "b.txt", "has grown since");
  EXPECT_EQ(SaveStream(*stream, ImageFile()),
            platform::kIMAPI_E_DATA_STREAM_INCONSISTENCY);
  std::uint32_t got = 1;
  char byte;
  EXPECT_EQ(stream->Read(&byte, 1, &got),
            platform::kIMAPI_E_DATA_STREAM_INCONSISTENCY);
  EXPECT_EQ(got, 0u);

  WriteFile(Source() / "b.txt", "will grow");
  fs::remove(Source() / "c.txt");
  ASSERT_EQ(result->GetImageStream(&stream), platform::kS_OK);
  EXPECT_EQ(SaveStream(*stream, ImageFile()),
            platform::kIMAPI_E_DATA_STREAM_CREATE_FAILURE);
}

TEST_F(UdfImageTest, ResultsKeepTheTreeTheyWereMadeFrom) {
  WriteFile(Source() / "first.txt", "first");
  ASSERT_EQ(AddSource(), platform::kS_OK);
  std::shared_ptr<IFileSystemImageResult> before;
  ASSERT_EQ(image_->CreateResultImage(&before), platform::kS_OK);

  const fs::path more = temp_.path() / "more";
  WriteFile(more / "second.txt", "second");
  ASSERT_EQ(root_->AddTree(Wide(more), false), platform::kS_OK);
  EXPECT_EQ(Files(), 2);

  std::shared_ptr<IStream> stream;
  ASSERT_EQ(before->GetImageStream(&stream), platform::kS_OK);
  ASSERT_EQ(SaveStream(*stream, ImageFile()), platform::kS_OK);
  const UdfReadback readback = ReadWithLibudfread(ImageFile(), Source());
  const std::map<std::string, bool> expected = {{"first.txt", false}};
  EXPECT_EQ(readback.items, expected);
}

}  // namespace
}  // namespace tessaline::testing::udf
