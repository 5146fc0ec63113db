// The mastering tool that the library starts to turn disc 1's folder into a
// bootable ISO image on POSIX systems.
#include <iostream>
#include <string>
#include <vector>

#include "mastering.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return oscdimg::RunOscdimg(arguments, "xorriso", std::cout, std::cerr);
}
