#include "driver/root_change.h"

#include <cstdio>
#include <unistd.h>

void enterRoot(const std::string& root) {
  if (!root.empty() && chroot(root.c_str()) != 0) std::perror("chroot");
  if (chdir("/") != 0) std::perror("chdir");
}
