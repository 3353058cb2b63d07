// Reading input files whole, and writing output files so that a failure never
// leaves a partial file: the bytes go to a temporary file beside the target,
// which is renamed over it only when everything was written.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace tpk {

// Reads a regular file of at most maxSize bytes, never waiting on a named pipe.
// False with a message in error.
bool readWholeFile(const std::string& path, std::string& contents, std::string& error,
                   std::size_t maxSize = 0xFFFFFFFFu);

// What writing output files came to (nothing is printed: the caller reports):
//   Written     every file is in place, whole
//   NotWritten  error holds the message; what stood at the paths stays (no
//               temporary is left)
enum class OutputWrite : std::uint8_t { Written, NotWritten };

// Writes data to path through "<path>.tmp-XXXXXX" and rename. The file gets
// mode (less the umask), or with keepExistingMode the mode of the file it
// replaces when there is one.
[[nodiscard]] OutputWrite writeFileAtomically(const std::string& path, const std::string& data,
                                              std::string& error, mode_t mode = 0644,
                                              bool keepExistingMode = false);

struct OutputFile {
  std::string path;
  std::string data;
  mode_t mode = 0644;
};
// Writes files that belong together (a key pair): every one goes to its
// temporary first, and only when all are written are they renamed over their
// targets, so a failure leaves the old set in place. A target that exists but
// is not a regular file fails before anything is written.
[[nodiscard]] OutputWrite writeFilesTogether(const std::vector<OutputFile>& files,
                                             std::string& error);

}  // namespace tpk
