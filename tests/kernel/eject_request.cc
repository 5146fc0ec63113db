// A plain eject request from outside the library, as busybox's eject
// sends it: the kernel's CDROMEJECT on the device, nothing else (no unlock
// first). Usage: eject_request DEVICE. Exit status 0 when the kernel
// ejected, 1 when it refused.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: eject_request DEVICE\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY | O_NONBLOCK);
  errno = 0;
  const int result = fd < 0 ? -1 : ioctl(fd, CDROMEJECT, 0);
  if (result != 0) {
    std::printf("eject refused (%d): %s\n", result, std::strerror(errno));
    return 1;
  }
  close(fd);
  std::printf("ejected\n");
  return 0;
}
