// Changing the root directory: the one place where the installer calls chroot.
#pragma once

#include <cstdint>
#include <string>

// Changes the root directory to root when it is not empty, then the working
// directory to "/" (a failure there is printed with the prefix "chdir").
//   Entered     the root is root (or stayed, when root is empty)
//   NotEntered  the root could not be changed: the system error was printed
//               with the prefix "chroot", and the caller must end the run
//               before it reads or changes anything in the old root
enum class RootChange : std::uint8_t { Entered, NotEntered };
[[nodiscard]] RootChange enterRoot(const std::string& root);
