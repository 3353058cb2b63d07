#include "driver/root_change.h"

#include <cstdio>
#include <unistd.h>

bool enterRoot(const std::string& root) {
  if (!root.empty() && chroot(root.c_str()) != 0) {
    std::perror("chroot");
    return false;
  }
  if (chdir("/") != 0) std::perror("chdir");
  return true;
}
