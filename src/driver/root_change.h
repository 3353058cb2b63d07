// Changing the root directory: the one place where the installer calls chroot.
#pragma once

#include <string>

// Changes the root directory to root when it is not empty, then the working
// directory to "/". False when the root could not be changed: the system error
// is printed with the prefix "chroot", and the caller must end the run before
// it reads or changes anything in the old root.
bool enterRoot(const std::string& root);
