// Writing a whole buffer through the file layer.
#pragma once

#include <cstddef>
#include <cstdint>

// What a write of bytes to a file came to, here and for the database writers
// above (each declaration says what it reported):
//   Written     every byte is written as the call describes
//   NotWritten  not every byte is; errno says why, and the call says what it
//               left and whether it reported the failure
enum class WriteResult : std::uint8_t { Written, NotWritten };

// Writes length bytes to fd through filePlatform(), again after a short write
// or EINTR. NotWritten with errno set at the first failure (reported nowhere);
// a write that makes no progress is EIO rather than a loop without end.
[[nodiscard]] WriteResult writeAll(int fd, const char* bytes, std::size_t length);
