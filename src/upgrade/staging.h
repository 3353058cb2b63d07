// Finding, checking and reading the package files staged for installation.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "console/console.h"
#include "model/package.h"

using Candidates = std::vector<std::unique_ptr<PackageFile>>;

// Appends the verified and readable package files (".tpk", ".lpk"; names
// beginning with "." are passed over) of dir, a path ending in "/", to
// candidates in directory order, each checked and read through one descriptor,
// which its record keeps open. An empty line goes to standard output before
// the first package file of the directory and after its last. A broken file
// gives "broken package %s" and stays where it is. An unreadable directory is
// passed over silently.
void scanStagingDir(Console& console, const char* dir, Candidates& candidates);

// Checks and reads the package file open as descriptor (found at path, named
// name in messages) as the scan does, appending it to candidates when it
// passes; its record takes the descriptor over either way.
void examinePackageFile(Console& console, int descriptor, const std::string& path,
                        const std::string& name, Candidates& candidates);

// A package file named on a command line, opened before the run.
struct GivenFile {
  std::string path;
  int descriptor = -1;
};

// Examines the given files, in order, as scanStagingDir examines a directory
// holding them (its empty lines included). The records take the descriptors.
void examineGivenFiles(Console& console, const std::vector<GivenFile>& files,
                       Candidates& candidates);

// Walks the file open as file.descriptor once with hashing on, showing
// "verifying <name>" with a progress bar: every package in it (each member of
// a bundle) must end in a signature that verifies or have a known digest, a
// bundle must end right after its last member, and a binding must match
// (file.bound receives whether one did). Either way the result was reported
// with name:
//   Verified  "verified %s"
//   Broken    "broken package %s"
enum class FileVerification : std::uint8_t { Verified, Broken };
[[nodiscard]] FileVerification verifyPackageFile(Console& console, PackageFile& file,
                                                 const std::string& name);
