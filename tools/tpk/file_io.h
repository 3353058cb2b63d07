// Reading input files whole, and writing output files so that a failure never
// leaves a partial file: the bytes go to a temporary file beside the target,
// which is renamed over it only when everything was written.
#pragma once

#include <sys/types.h>
#include <string>

namespace tpk {

// Reads a regular file of at most maxSize bytes. False with a message in error.
bool readWholeFile(const std::string& path, std::string& contents, std::string& error,
                   std::size_t maxSize = 0xFFFFFFFFu);

// Writes data to path through "<path>.tmp-XXXXXX" and rename. The file gets
// mode (less the umask), or with keepExistingMode the mode of the file it
// replaces when there is one.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string& error,
                         mode_t mode = 0644, bool keepExistingMode = false);

}  // namespace tpk
