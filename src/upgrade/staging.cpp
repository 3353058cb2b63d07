#include "upgrade/staging.h"

#include <dirent.h>

#include <cstdio>

#include "files/device_root.h"
#include "pkgfile/header_parts.h"
#include "pkgfile/package_acceptance.h"
#include "pkgfile/part_stream.h"
#include "pkgfile/regular_file.h"

namespace {

bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void printDirect(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

struct Progress {
  Console& console;
  const std::string& label;
};

void showProgress(void* context, std::uint32_t position, std::uint32_t total) {
  const Progress& progress = *static_cast<const Progress*>(context);
  progress.console.showProgress(progress.label, position, total);
}

}  // namespace

FileVerification verifyPackageFile(Console& console, PackageFile& file, const std::string& name) {
  RegularFileStream input(file.descriptor);
  PartStream stream(input, true);
  if (stream.totalLength() == 0) {
    console.error("broken package %s", name.c_str());
    return FileVerification::Broken;
  }
  const std::string label = "verifying " + name;
  Progress progress{console, label};
  console.showProgress(label, stream.partOffset(), stream.totalLength());
  const bool verified =
      checkPackageFile(stream, configuredTrust(), CheckProgress{showProgress, &progress},
                       &file.bound) == PackageVerdict::Accepted;
  console.setStatus("");
  if (!verified) {
    console.error("broken package %s", name.c_str());
    return FileVerification::Broken;
  }
  console.info("verified %s", name.c_str());
  return FileVerification::Verified;
}

void examinePackageFile(Console& console, int descriptor, const std::string& path,
                        const std::string& name, Candidates& candidates) {
  auto file = std::make_unique<PackageFile>();
  file->descriptor = descriptor;
  if (verifyPackageFile(console, *file, name) == FileVerification::Broken) return;
  if (loadPackageFile(*file, path) != ReadResult::Read) {
    console.error("broken package %s", name.c_str());
    return;
  }
  candidates.push_back(std::move(file));
}

void scanStagingDir(Console& console, const char* dir, Candidates& candidates) {
  DIR* entries = openDeviceDir(dir);
  if (entries == nullptr) return;
  bool examined = false;
  while (const dirent* entry = ::readdir(entries)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string path = dir + name;
    if (!endsWith(path, ".tpk") && !endsWith(path, ".lpk")) continue;
    if (!examined) printDirect("\n");
    examined = true;
    examinePackageFile(console, openRegularFile(path), path, name, candidates);
  }
  ::closedir(entries);
  if (examined) printDirect("\n");
}

void examineGivenFiles(Console& console, const std::vector<GivenFile>& files,
                       Candidates& candidates) {
  if (files.empty()) return;
  printDirect("\n");
  for (const GivenFile& file : files) {
    const std::size_t slash = file.path.rfind('/');
    const std::string name = slash == std::string::npos ? file.path : file.path.substr(slash + 1);
    examinePackageFile(console, file.descriptor, file.path, name, candidates);
  }
  printDirect("\n");
}
