// The shared library's own translation unit. The modules are linked in
// whole; this file only anchors the target.
#include "tessaline/tessaline.h"
