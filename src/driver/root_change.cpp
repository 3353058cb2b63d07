#include "driver/root_change.h"

#include <unistd.h>
#include <cstdio>

RootChange enterRoot(const std::string& root) {
  if (!root.empty() && chroot(root.c_str()) != 0) {
    std::perror("chroot");
    return RootChange::NotEntered;
  }
  if (chdir("/") != 0) std::perror("chdir");
  return RootChange::Entered;
}
