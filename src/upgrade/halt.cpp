#include "upgrade/halt.h"

#include <unistd.h>

#include <cstdio>

void haltForGood() {
  std::fputs("\nERROR: router installation failed!!!\nPlease, reinstall.\n", stdout);
  std::fflush(stdout);
  for (;;) ::pause();
}
