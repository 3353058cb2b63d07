#include "pdb/database_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

#include "files/file_platform.h"
#include "pdb/file_output.h"
#include "pdb/install_messages.h"

namespace {

constexpr char scriptHeader[] = "#!/bin/bash\n\n. /tessel/lib/install/profile.sh\n\n";
constexpr std::size_t scriptChunk = 16384;
constexpr std::size_t listChunk = 65536;

void removeFile(int dir, const char* name) { filePlatform().removeAt(dir, name, 0); }

constexpr char stateTemporary[] = ".state.new";

// Makes content the whole of name in the entry dir: written into a temporary
// in the database directory (which the loader passes over), then renamed in.
// False when it could not be.
bool writeState(int database, int entry, const char* name, const std::string& content) {
  FilePlatform& files = filePlatform();
  if (writeWholeFile(database, stateTemporary, content) == WriteResult::Written &&
      files.renameAt(database, stateTemporary, entry, name) == 0)
    return true;
  removeFile(database, stateTemporary);
  return false;
}

// Removes name from the entry dir; false when it stays.
bool removeState(int entry, const char* name) {
  return filePlatform().removeAt(entry, name, 0) == 0 || errno == ENOENT;
}

// Whether the state file name in the entry dir holds the user's word.
bool holdsUser(int entry, const char* name) {
  const int fd = ::openat(entry, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  char text[sizeof "user\n"] = {};
  const ssize_t length = ::read(fd, text, sizeof text);
  ::close(fd);
  return length == 5 && std::string_view(text, 5) == "user\n";
}

// The entry of package, made when missing, beside its database directory.
struct StateDirs {
  FileHandle database, entry;
};
StateDirs stateDirs(const InstalledPackage& package) {
  StateDirs dirs;
  dirs.database = openDatabaseDir(true);
  if (dirs.database.valid()) dirs.entry = openPackageDir(dirs.database.get(), package.name, true);
  return dirs;
}

// The package's entry directory, resolved below /flash, when it stands.
FileHandle entryDir(const InstalledPackage& package) {
  const FileHandle database = openDatabaseDir(false);
  if (!database.valid()) return FileHandle();
  return openPackageDir(database.get(), package.name, false);
}

// The disabled/enabled files that say the package's state; a stale one goes.
// NotWritten (errno set, nothing reported) when the state's file cannot be
// written.
WriteResult writeStateFiles(const InstalledPackage& package, int dir) {
  const bool kept = package.disabled || package.userForced;  // else no file says the state
  const char* const state = package.disabled ? "disabled" : "enabled";
  if (kept && writeWholeFile(dir, state, package.userForced ? "user\n" : "auto\n") !=
                  WriteResult::Written)
    return WriteResult::NotWritten;
  if (!kept) removeFile(dir, "enabled");
  removeFile(dir, package.disabled ? "enabled" : "disabled");
  return WriteResult::Written;
}

}  // namespace

WriteResult writeDependencyList(int dir, const char* name, const std::vector<Dependency>& list,
                                bool withExtra) {
  std::string text;
  for (const Dependency& entry : list) {
    text += entry.name;
    text += ' ' + std::to_string(entry.min) + ' ' + std::to_string(entry.max);
    if (withExtra) text += ' ' + std::to_string(entry.extra);
    text += '\n';
  }
  return writeWholeFile(dir, name, text);
}

WriteResult writeFileList(int dir, const InstalledPackage& package) {
  if (package.isBundle) return WriteResult::Written;
  // One path per line: a path holding a line break would read back as two.
  for (const std::string& path : package.files) {
    if (path.find('\n') != std::string::npos) {
      errno = EINVAL;
      return WriteResult::NotWritten;
    }
  }
  // Written a chunk at a time: the list is not held twice.
  FileOutput out(dir, "files");
  std::string text;
  for (const std::string& path : package.files) {
    if (path.empty()) continue;
    text.append(path, path[0] == '/' ? 1 : 0);
    text += '\n';
    if (text.size() >= listChunk) out.write(text), text.clear();
  }
  out.write(text);
  return out.finish();
}

WriteResult writePackageRecord(Console& console, const InstalledPackage& package, int dir) {
  if (package.flags & imageMeta) {
    for (const char* name : {"version", "deps", "provides", "conflicts", "bundle"})
      removeFile(dir, name);
    if (writeFileList(dir, package) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/files");
      return WriteResult::NotWritten;
    }
  } else {
    const std::string version =
        std::to_string(package.version) + ' ' + std::to_string(package.buildTime) + '\n';
    if (writeWholeFile(dir, "version", version) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/version");
      return WriteResult::NotWritten;
    }
    if (writeDependencyList(dir, "deps", package.deps, false) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/deps");
      return WriteResult::NotWritten;
    }
    if (!package.provides.empty() &&
        writeDependencyList(dir, "provides", package.provides, true) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/provides");
      return WriteResult::NotWritten;
    }
    if (!package.conflicts.empty() &&
        writeDependencyList(dir, "conflicts", package.conflicts, false) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/conflicts");
      return WriteResult::NotWritten;
    }
    if (package.bundle.name.empty()) {
      removeFile(dir, "bundle");
    } else if (writeWholeFile(dir, "bundle", package.bundle.name + '\n') != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/bundle");
      return WriteResult::NotWritten;
    }
    if (writeFileList(dir, package) != WriteResult::Written) {
      reportCreateFailure(console, package, "meta/files");
      return WriteResult::NotWritten;
    }
  }
  if (writeStateFiles(package, dir) != WriteResult::Written) {
    reportCreateFailure(console, package, package.disabled ? "meta/disabled" : "meta/enabled");
    return WriteResult::NotWritten;
  }
  if (package.isImage) removeFile(dir, "oninstall");
  return WriteResult::Written;
}

WriteResult writeScript(Console& console, const InstalledPackage& package, std::istream& stream,
                        std::uint32_t length, const char* scriptName) {
  if (!isPlainName(package.name)) {
    errno = EINVAL;
    reportCreateFailure(console, package, scriptName);
    return WriteResult::NotWritten;
  }
  const FileHandle entry = entryDir(package);
  return writeScript(console, package, stream, length, scriptName, entry.get());
}

WriteResult writeScript(Console& console, const InstalledPackage& package, std::istream& stream,
                        std::uint32_t length, const char* scriptName, int dir) {
  FileOutput out(dir, scriptName);
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
    (void)out.finish();  // the file goes: the package is broken
    if (created) removeFile(dir, scriptName);
    reportBrokenPackage(console, package);
    return WriteResult::NotWritten;
  }
  out.changeMode(0755);
  if (out.finish() != WriteResult::Written) {
    reportCreateFailure(console, package, scriptName);
    return WriteResult::NotWritten;
  }
  return WriteResult::Written;
}

namespace {

// Writes the state files of a package whose state was just set. The new
// state's file is renamed in before the other goes: the loader takes
// "disabled" over "enabled", so a run cut in between finds the old state or
// the new one, never a third.
MarkResult writeMark(const InstalledPackage& package) {
  if (!isPlainName(package.name)) return MarkResult::NotFiled;
  const StateDirs dirs = stateDirs(package);
  if (!dirs.entry.valid()) return MarkResult::NoEntry;
  const int database = dirs.database.get(), entry = dirs.entry.get();
  // A user's state turned over is one rename, so that not even a power cut
  // leaves both files.
  const char* from = package.disabled ? "enabled" : "disabled";
  const char* to = package.disabled ? "disabled" : "enabled";
  if (package.userForced && holdsUser(entry, from) &&
      filePlatform().renameAt(entry, from, entry, to) == 0)
    return MarkResult::Recorded;
  bool written;
  if (package.disabled) {
    written = writeState(database, entry, "disabled", package.userForced ? "user\n" : "auto\n");
    written = removeState(entry, "enabled") && written;
  } else {
    written = !package.userForced || writeState(database, entry, "enabled", "user\n");
    written = removeState(entry, "disabled") && written;
    if (!package.userForced) written = removeState(entry, "enabled") && written;
  }
  return written ? MarkResult::Recorded : MarkResult::NotWritten;
}

}  // namespace

MarkResult markDisabled(InstalledPackage& package) {
  package.disabled = true;
  package.action = ScheduledAction::None;
  return writeMark(package);
}

MarkResult markEnabled(InstalledPackage& package) {
  package.disabled = false;
  package.action = ScheduledAction::None;
  return writeMark(package);
}

void removeStateTemporary(int database) { removeFile(database, stateTemporary); }
