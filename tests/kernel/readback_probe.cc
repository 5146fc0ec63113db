// Reads the boot disc in a recorder back against its image, as the writer
// job does after writing it, on the system platform: for a run on a real
// drive where nothing can be written. Usage: readback_probe WORK_FOLDER
// INDEX, with the image as WORK_FOLDER/boot.iso. Prints "read-back passed"
// or the failure's message, chunk and code.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "copy_compare/read_back.h"
#include "platform/platform.h"
#include "platform/text.h"
#include "tessaline/tessaline.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: readback_probe WORK_FOLDER INDEX\n");
    return 2;
  }
  const std::shared_ptr<tessaline::platform::Platform> platform =
      tessaline::platform::SystemPlatform();
  try {
    tessaline::CompareDiscWithImage(*platform, tessaline::StatusReporter(),
                                    tessaline::platform::FromUtf8(argv[1]),
                                    std::atoi(argv[2]), nullptr);
  } catch (const MediaVerifyException& e) {
    std::printf("read-back failed: %s (chunk %d, code %d)\n",
                tessaline::platform::ToUtf8(e.message).c_str(), e.chunk,
                e.code);
    return 1;
  }
  std::printf("read-back passed\n");
  return 0;
}
