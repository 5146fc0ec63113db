// The read stream over a file: the errors Windows gives, and the advisory
// lock that stands for STGM_SHARE_DENY_WRITE. What it reads is what every
// boot image written to a drive shows.
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

class FileStreamTest : public ::testing::Test {
 protected:
  HRESULT Open(const std::string& relative) {
    stream_.reset();
    const HRESULT status = OpenFileStream(temp_.Wide(relative), &stream_);
    EXPECT_EQ(Succeeded(status), stream_ != nullptr);
    return status;
  }
  testing::TempFolder temp_;
  std::shared_ptr<IStream> stream_;
};

TEST_F(FileStreamTest, FailsAsWindowsDoes) {
  EXPECT_EQ(Open("missing.bin"), static_cast<HRESULT>(0x80070002u));
  EXPECT_EQ(Open("no-folder/missing.bin"), static_cast<HRESULT>(0x80070003u));
  EXPECT_EQ(Open(""), static_cast<HRESULT>(0x80070005u));  // a folder

  // A writer holding the lock keeps readers out, and the other way round.
  const auto path = temp_.path() / "shared.bin";
  testing::WriteFile(path, "shared");
  const int writer = open(path.c_str(), O_WRONLY);
  ASSERT_GE(writer, 0);
  ASSERT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(Open("shared.bin"), static_cast<HRESULT>(0x80070020u));
  flock(writer, LOCK_UN);
  ASSERT_EQ(Open("shared.bin"), kS_OK);
  EXPECT_NE(flock(writer, LOCK_EX | LOCK_NB), 0);
  stream_.reset();
  EXPECT_EQ(flock(writer, LOCK_EX | LOCK_NB), 0);
  close(writer);
}

}  // namespace
}  // namespace tessaline::platform::posix
