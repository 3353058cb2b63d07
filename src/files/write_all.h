// Writing a whole buffer through the file layer.
#pragma once

#include <cstddef>

// Writes length bytes to fd through filePlatform(), again after a short write
// or EINTR. False with errno set at the first failure; a write that makes no
// progress is EIO rather than a loop without end.
bool writeAll(int fd, const char* bytes, std::size_t length);
