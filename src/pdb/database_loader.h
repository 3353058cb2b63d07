// Loading the package database, the package images and the schedule files.
#pragma once

#include <string>
#include <vector>

#include "console/console.h"
#include "model/package.h"
#include "pdb/package_dir.h"
#include "pkgfile/read_result.h"

// The schedule files a load read and left in place: the run removes them once
// the actions they asked for are durable, so that a run killed before that
// leaves them for the next run.
using KeptSchedules = std::vector<std::string>;

// Stores quiet and arch in the console and fills its PackageDb. Each schedule
// file read is removed at once, or, with kept given, left in place and its
// path appended to kept.
void loadDatabase(Console& console, bool quiet, const std::string& arch,
                  KeptSchedules* kept = nullptr);

// Removes the kept schedule files when remove, and empties kept either way;
// the caller has made their actions durable first, and passes false when one
// of them could not be recorded.
void consumeScheduleFiles(KeptSchedules& kept, bool remove);

// Appends the records read from images: imageDir + name, or, with imageDir
// null, each package directory's "image". NotRead only when /flash/var/pdb/
// cannot be opened (nothing appended). Reports nothing.
[[nodiscard]] ReadResult loadImages(Console& console, const char* imageDir);

// Completes a record from its database directory and its schedule file (kept
// as loadDatabase keeps it).
void readPackageRecord(InstalledPackage& package, KeptSchedules* kept);

// Appends the entries of a deps/provides/conflicts file (none when there is no
// such file); NotRead on a malformed entry (the entries before it stay).
[[nodiscard]] ReadResult readDependencyList(const std::string& path, std::vector<Dependency>& list,
                                            bool withExtra);
