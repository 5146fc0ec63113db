// A child program for the tests of process starting:
//
//   record_args <record file> <exit code | "wait"> [arguments...]
//
// writes every argument it received, its own name first, each followed by a
// NUL byte, into the record file, then ends with the exit code, or with
// "wait" waits until it is killed (at most a minute, so that nothing is left
// behind when a test breaks off). On POSIX it also describes how it was
// started in <record file>.info: "group=leader" when it leads a process
// group of its own, "stdin=null" when its standard input is the null device,
// "inherited=<n>" with the count of open descriptors above 2.
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

int main(int argc, char** argv) {
  if (argc < 3) return 100;
  {
    std::ofstream record(argv[1], std::ios::binary | std::ios::trunc);
    if (!record) return 101;
    for (int i = 0; i < argc; ++i) {
      record.write(argv[i], static_cast<std::streamsize>(std::strlen(argv[i])));
      record.put('\0');
    }
    if (!record.flush()) return 102;
  }
#ifndef _WIN32
  {
    int inherited = 0;
    for (int fd = 3; fd < 256; ++fd) {
      if (fcntl(fd, F_GETFD) != -1) ++inherited;
    }
    struct stat input {};
    struct stat null_device {};
    const bool null_input =
        fstat(0, &input) == 0 && stat("/dev/null", &null_device) == 0 &&
        S_ISCHR(input.st_mode) && input.st_rdev == null_device.st_rdev;
    std::ofstream info(std::string(argv[1]) + ".info", std::ios::trunc);
    info << "group=" << (getpgrp() == getpid() ? "leader" : "member") << "\n"
         << "stdin=" << (null_input ? "null" : "other") << "\n"
         << "inherited=" << inherited << "\n";
  }
#endif
  const std::string mode = argv[2];
  if (mode == "wait") {
    std::this_thread::sleep_for(std::chrono::minutes(1));
    return 103;
  }
  return std::atoi(mode.c_str());
}
