// Moving a staged package file between flash and the RAM disk.
#pragma once

#include <cstdint>

// What moving a file came to (nothing is reported: the caller does):
//   Moved     the file lies at destination only
//   NotMoved  source stays in place, and no partial copy is left
enum class FileMove : std::uint8_t { Moved, NotMoved };

// Copies source to destination in bounded chunks, makes the copy durable and
// only then deletes source. NotMoved on any failure (source unreadable,
// destination not creatable, a short write on a full disk, a failed flush or
// close). Neither name is written or removed through a link; what stands at
// destination and is not a regular file of one link is replaced.
[[nodiscard]] FileMove moveFile(const char* source, const char* destination);

// The same for a file open as descriptor, which is copied from its start and
// never opened again by its name: when Moved, descriptor is closed and then
// holds the copy, open for reading; when NotMoved, both stay as they were.
[[nodiscard]] FileMove moveOpenFile(int& descriptor, const char* source, const char* destination);
