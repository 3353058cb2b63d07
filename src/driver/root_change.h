// Changing the root directory: the one place where the installer calls chroot.
#pragma once

#include <string>

// Changes the root directory to root when it is not empty (on failure the
// system error is printed with the prefix "chroot" and the old root stays),
// then always changes the working directory to "/".
void enterRoot(const std::string& root);
