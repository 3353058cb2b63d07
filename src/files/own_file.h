// The installer's own files: the message log, the markers (/flash/PCKGS_CHANGED,
// /flash/UPGRADED, /rw/DOWNGRADE, /ram/bootimage), the stream copy, the images
// and their links, the RAM copies of staged files and the schedule files.
//
// Each is named by an absolute device path. The top directory (/flash, /ram,
// /rw) is taken as the device made it; every directory below it is entered
// without following a link, and the call then acts on the last name relative
// to the directory it holds, through filePlatform(). Nothing here writes,
// truncates or removes through a link, opens a named pipe or a device for
// writing, or blocks. The installer owns these names: what stands there and is
// not what the installer keeps there (a link, a hard-linked file, a named pipe,
// a device node, a directory) is removed and replaced, a directory with
// everything in it (never following a link inside).
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

// How openOwnFile treats a regular file of one link that stands at the name.
enum class OwnOpen : std::uint8_t { Append, Truncate };

// Opens path for writing (appending for Append): a regular file with one link
// there is opened (and emptied for Truncate); anything else there is removed
// and a new file made with mode. The descriptor is blocking and close-on-exec.
// -1 with errno set when a directory on the way cannot be entered (ELOOP or
// ENOTDIR for a link or a non-directory, EINVAL for an empty, "." or ".."
// component or a relative path) or the file cannot be opened or made.
int openOwnFile(const std::string& path, OwnOpen how, mode_t mode);

// What writing, linking or making an owned name came to (nothing is reported:
// the caller reports):
//   Placed  what the call makes stands at the name
//   Failed  it does not; errno says why, and the call says what was left
enum class OwnPlacement : std::uint8_t { Placed, Failed };

// Makes content the whole of path: written into a dot-named temporary beside
// it, made durable, then renamed over whatever stands at path (a directory
// there is removed first). Failed with errno set on failure; the temporary is
// then gone and path is as it was (unless a directory stood there).
[[nodiscard]] OwnPlacement writeOwnFile(const std::string& path, const std::string& content,
                                        mode_t mode);

enum class OwnRemoval : std::uint8_t { Removed, Absent, Directory, Failed };

// Removes the name path itself (a file, a link, a named pipe, a device node).
// A directory there stays (Directory, errno EISDIR). Failed, errno set, when
// the directory holding it cannot be entered or the removal fails.
OwnRemoval removeOwnFile(const std::string& path);

// Hard-links the file at from (a link there is linked itself, never followed)
// as to. A link, named pipe or device node standing at to is removed first; a
// regular file or a directory there stays, and the link fails with EEXIST.
// Failed with errno set on failure.
[[nodiscard]] OwnPlacement linkOwnFile(const std::string& from, const std::string& to);

// Makes the directory path with mode when no directory stands there; anything
// else there is removed first. Placed when a directory (not a link to one)
// stands at path, one that stood there already included; Failed, errno set,
// otherwise.
[[nodiscard]] OwnPlacement makeOwnDir(const std::string& path, mode_t mode);

// What stands at path, a link not followed. False with errno set when nothing
// does or a directory on the way cannot be entered.
bool statOwnFile(const std::string& path, struct stat& status);
