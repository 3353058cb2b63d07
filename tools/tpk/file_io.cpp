#include "tpk/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "pkgfile/regular_file.h"

namespace tpk {

bool readWholeFile(const std::string& path, std::string& contents, std::string& error,
                   std::size_t maxSize) {
  // A named pipe would block the open until a writer came.
  const int fd = openRegularFile(path);
  if (fd < 0) {
    error = path + ": " + (errno == EINVAL ? "not a regular file" : std::strerror(errno));
    return false;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    error = path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  if (std::uint64_t(st.st_size) > maxSize) {
    error = path + ": file too large";
    ::close(fd);
    return false;
  }
  contents.clear();
  contents.reserve(std::size_t(st.st_size));
  char buffer[65536];
  while (true) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = path + ": " + std::strerror(errno);
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    if (contents.size() + std::size_t(n) > maxSize) {
      error = path + ": file too large";
      ::close(fd);
      return false;
    }
    contents.append(buffer, std::size_t(n));
  }
  ::close(fd);
  return true;
}

namespace {

// Writes data to a new "<path>.tmp-XXXXXX" with the mode writeFileAtomically
// describes; on failure nothing is left behind.
bool writeTemporary(const std::string& path, const std::string& data, mode_t mode,
                    bool keepExistingMode, std::string& temporary, std::string& error) {
  temporary = path + ".tmp-XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = path + ": cannot create a temporary file: " + std::strerror(errno);
    return false;
  }
  struct stat existing {};
  if (keepExistingMode && ::stat(path.c_str(), &existing) == 0) {
    mode = existing.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  bool ok = ::fchmod(fd, mode) == 0;
  std::size_t written = 0;
  while (ok && written < data.size()) {
    const ssize_t n = ::write(fd, data.data() + written, data.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    written += std::size_t(n);
  }
  if (!ok) error = path + ": write failed: " + std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    ok = false;
    error = path + ": write failed: " + std::strerror(errno);
  }
  if (!ok) ::unlink(temporary.c_str());
  return ok;
}

}  // namespace

OutputWrite writeFileAtomically(const std::string& path, const std::string& data,
                                std::string& error, mode_t mode, bool keepExistingMode) {
  std::string temporary;
  if (!writeTemporary(path, data, mode, keepExistingMode, temporary, error))
    return OutputWrite::NotWritten;
  if (::rename(temporary.c_str(), path.c_str()) != 0) {
    error = path + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return OutputWrite::NotWritten;
  }
  return OutputWrite::Written;
}

OutputWrite writeFilesTogether(const std::vector<OutputFile>& files, std::string& error) {
  std::vector<std::string> temporaries;
  auto discard = [&temporaries] {
    for (const std::string& t : temporaries) ::unlink(t.c_str());
  };
  for (const OutputFile& f : files) {
    struct stat st {};
    if (::lstat(f.path.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
      error = f.path + ": not a regular file";
      discard();
      return OutputWrite::NotWritten;
    }
    std::string temporary;
    if (!writeTemporary(f.path, f.data, f.mode, false, temporary, error)) {
      discard();
      return OutputWrite::NotWritten;
    }
    temporaries.push_back(temporary);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (::rename(temporaries[i].c_str(), files[i].path.c_str()) != 0) {
      error = files[i].path + ": " + std::strerror(errno);
      temporaries.erase(temporaries.begin(), temporaries.begin() + std::ptrdiff_t(i));
      discard();
      return OutputWrite::NotWritten;
    }
  }
  return OutputWrite::Written;
}

}  // namespace tpk
