// The read stream over a file: content, size, the errors Windows gives, and
// the advisory lock that stands for STGM_SHARE_DENY_WRITE.
#include "platform/posix/file_stream.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <string>

#include "platform/text.h"
#include "support/core/temp_folder.h"

namespace tessaline::platform::posix {
namespace {

using testing::TempFolder;

class FileStreamTest : public ::testing::Test {
 protected:
  std::shared_ptr<IStream> Open(const std::string& relative, HRESULT* status) {
    std::shared_ptr<IStream> stream;
    *status = OpenFileStream(temp_.Wide(relative), &stream);
    EXPECT_EQ(Succeeded(*status), stream != nullptr);
    return stream;
  }
  TempFolder temp_;
};

TEST_F(FileStreamTest, ReadsTheFileAndItsSize) {
  testing::WriteFile(temp_.path() / "data.bin", "0123456789");
  HRESULT status;
  auto stream = Open("data.bin", &status);
  ASSERT_EQ(status, kS_OK);
  std::uint64_t size = 0;
  ASSERT_EQ(stream->Stat(&size), kS_OK);
  EXPECT_EQ(size, 10u);
  char buffer[8];
  std::uint32_t got = 0;
  ASSERT_EQ(stream->Read(buffer, 8, &got), kS_OK);
  EXPECT_EQ(std::string(buffer, got), "01234567");
  ASSERT_EQ(stream->Read(buffer, 8, &got), kS_OK);  // short at the end
  EXPECT_EQ(std::string(buffer, got), "89");
  ASSERT_EQ(stream->Read(buffer, 8, &got), kS_OK);
  EXPECT_EQ(got, 0u);
}

TEST_F(FileStreamTest, FailsAsWindowsDoes) {
  HRESULT status;
  EXPECT_EQ(Open("missing.bin", &status), nullptr);
  EXPECT_EQ(status, static_cast<HRESULT>(0x80070002u));
  Open("no-folder/missing.bin", &status);
  EXPECT_EQ(status, static_cast<HRESULT>(0x80070003u));
  Open("", &status);  // a folder
  EXPECT_EQ(status, static_cast<HRESULT>(0x80070005u));
}

TEST_F(FileStreamTest, DeniesWritersThatLock) {
  const auto path = temp_.path() / "shared.bin";
  testing::WriteFile(path, "shared");
  const int writer = open(path.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0);
  HRESULT status;
  EXPECT_EQ(Open("shared.bin", &status), nullptr);
  EXPECT_EQ(status, static_cast<HRESULT>(0x80070020u));  // sharing violation
  flock(writer, LOCK_UN);

  auto stream = Open("shared.bin", &status);
  ASSERT_EQ(status, kS_OK);
  EXPECT_NE(flock(writer, LOCK_EX | LOCK_NB), 0);
  stream.reset();  // closing the stream lets the writer in
  EXPECT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0);
  close(writer);
}

}  // namespace
}  // namespace tessaline::platform::posix
