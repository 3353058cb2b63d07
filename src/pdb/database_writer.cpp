#include "pdb/database_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "pdb/file_output.h"
#include "pdb/install_messages.h"

namespace {

constexpr char scriptHeader[] = "#!/bin/bash\n\n. /tessel/lib/install/profile.sh\n\n";
constexpr std::size_t scriptChunk = 16384;

void removeFile(const std::string& path) { ::unlink(path.c_str()); }

// The one directory level of the entry, for the flag writers; 0770 like every
// other directory of the database, so that it can be searched.
void ensureEntryDir(const std::string& dir) {
  ::mkdir(dir.substr(0, dir.size() - 1).c_str(), 0770);
}

void writeStateFiles(const InstalledPackage& package, const std::string& dir) {
  if (package.disabled) {
    writeWholeFile(dir + "disabled", package.userForced ? "user\n" : "auto\n");
  } else {
    removeFile(dir + "disabled");
  }
  if (!package.disabled && package.userForced) {
    writeWholeFile(dir + "enabled", "user\n");
  } else {
    removeFile(dir + "enabled");
  }
}

}  // namespace

bool createPackageDir(const InstalledPackage& package) {
  if (!isPlainName(package.name)) {
    errno = EINVAL;
    return false;
  }
  return makeDirectories(packageDir(package), false);
}

bool writeDependencyList(const std::string& path, const std::vector<Dependency>& list,
                         bool withExtra) {
  std::string text;
  for (const Dependency& entry : list) {
    text += entry.name;
    text += ' ' + std::to_string(entry.min) + ' ' + std::to_string(entry.max);
    if (withExtra) text += ' ' + std::to_string(entry.extra);
    text += '\n';
  }
  return writeWholeFile(path, text);
}

bool writeFileList(const InstalledPackage& package) {
  if (package.isBundle) return true;
  std::string text;
  for (const std::string& path : package.files) {
    if (path.empty()) continue;
    // One path per line: a path holding a line break would read back as two.
    if (path.find('\n') != std::string::npos) {
      errno = EINVAL;
      return false;
    }
    text.append(path, path[0] == '/' ? 1 : 0);
    text += '\n';
  }
  return writeWholeFile(packageDir(package) + "files", text);
}

bool writePackageRecord(Console& console, const InstalledPackage& package) {
  if (!isPlainName(package.name)) {
    errno = EINVAL;
    reportCreateFailure(console, package, "meta/version");
    return false;
  }
  const std::string dir = packageDir(package);
  if (package.flags & imageMeta) {
    for (const char* name : {"version", "deps", "provides", "conflicts", "bundle"})
      removeFile(dir + name);
    if (!writeFileList(package)) {
      reportCreateFailure(console, package, "meta/files");
      return false;
    }
  } else {
    const std::string version =
        std::to_string(package.version) + ' ' + std::to_string(package.buildTime) + '\n';
    if (!writeWholeFile(dir + "version", version)) {
      reportCreateFailure(console, package, "meta/version");
      return false;
    }
    if (!writeDependencyList(dir + "deps", package.deps, false)) {
      reportCreateFailure(console, package, "meta/deps");
      return false;
    }
    if (!package.provides.empty() && !writeDependencyList(dir + "provides", package.provides, true)) {
      reportCreateFailure(console, package, "meta/provides");
      return false;
    }
    if (!package.conflicts.empty() &&
        !writeDependencyList(dir + "conflicts", package.conflicts, false)) {
      reportCreateFailure(console, package, "meta/conflicts");
      return false;
    }
    if (package.bundle.name.empty()) {
      removeFile(dir + "bundle");
    } else if (!writeWholeFile(dir + "bundle", package.bundle.name + '\n')) {
      reportCreateFailure(console, package, "meta/bundle");
      return false;
    }
    if (!writeFileList(package)) {
      reportCreateFailure(console, package, "meta/files");
      return false;
    }
  }
  writeStateFiles(package, dir);
  if (package.isImage) removeFile(dir + "oninstall");
  return true;
}

bool writeScript(Console& console, const InstalledPackage& package, std::istream& stream,
                 std::uint32_t length, const char* scriptName) {
  if (!isPlainName(package.name)) {
    errno = EINVAL;
    reportCreateFailure(console, package, scriptName);
    return false;
  }
  const std::string path = packageDir(package) + scriptName;
  FileOutput out(path);
  out.write(scriptHeader, sizeof scriptHeader - 1);

  // The payload goes to the file chunk by chunk. Even when the file cannot be
  // written the rest is read, since a short payload is reported first.
  char chunk[scriptChunk];
  std::uint32_t remaining = length;
  while (remaining > 0) {
    const std::size_t want = std::min<std::size_t>(remaining, sizeof chunk);
    stream.read(chunk, static_cast<std::streamsize>(want));
    out.write(chunk, static_cast<std::size_t>(stream.gcount()));
    if (!stream) break;
    remaining -= static_cast<std::uint32_t>(want);
  }
  if (!stream) {
    const bool created = out.opened();
    out.finish();
    if (created) removeFile(path);
    reportBrokenPackage(console, package);
    return false;
  }
  if (!out.finish()) {
    reportCreateFailure(console, package, scriptName);
    return false;
  }
  if (::chmod(path.c_str(), 0755) != 0) {
    reportCreateFailure(console, package, scriptName);
    return false;
  }
  return true;
}

void markDisabled(InstalledPackage& package) {
  if (isPlainName(package.name)) {
    const std::string dir = packageDir(package);
    ensureEntryDir(dir);
    removeFile(dir + "enabled");
    writeWholeFile(dir + "disabled", package.userForced ? "user\n" : "auto\n");
  }
  package.disabled = true;
  package.action = ScheduledAction::None;
}

void markEnabled(InstalledPackage& package) {
  if (isPlainName(package.name)) {
    const std::string dir = packageDir(package);
    ensureEntryDir(dir);
    removeFile(dir + "disabled");
    if (package.userForced) {
      writeWholeFile(dir + "enabled", "user\n");
    } else {
      removeFile(dir + "enabled");
    }
  }
  package.disabled = false;
  package.action = ScheduledAction::None;
}
