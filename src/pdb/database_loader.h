// Loading the package database, the package images and the schedule files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "console/console.h"
#include "model/package.h"
#include "pdb/package_dir.h"

// What the load does with the schedule files it reads: removes them at once,
// or leaves them until consumeScheduleFiles, so that a run killed before it
// applied their actions leaves them for the next run.
enum class Schedules : std::uint8_t { ConsumeAtLoad, KeepForApply };

// Stores quiet and arch in the console and fills its PackageDb.
void loadDatabase(Console& console, bool quiet, const std::string& arch,
                  Schedules schedules = Schedules::ConsumeAtLoad);

// Removes the schedule files the last load kept (see Schedules) when remove,
// and forgets them either way; the caller has made their actions durable
// first, and passes false when one of them could not be recorded.
void consumeScheduleFiles(bool remove);

// Appends the records read from images: imageDir + name, or, with imageDir
// null, each package directory's "image". False only when /flash/var/pdb/
// cannot be opened.
bool loadImages(Console& console, const char* imageDir);

// Completes a record from its database directory and its schedule file.
void readPackageRecord(InstalledPackage& package);

// Appends the entries of a deps/provides/conflicts file; false on a malformed
// entry (the entries before it stay).
bool readDependencyList(const std::string& path, std::vector<Dependency>& list, bool withExtra);
