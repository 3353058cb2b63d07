// Writing a whole buffer to a descriptor through the file layer.
#pragma once

#include <cstddef>

// Writes all count bytes at bytes to fd through filePlatform().write,
// retrying after interruptions and short writes. False with errno set when a
// write fails; a write that takes no byte fails with errno EIO.
bool writeAll(int fd, const char* bytes, std::size_t count);
