#include "upgrade/staging.h"

#include <dirent.h>

#include <cstdio>
#include <fstream>

#include "pkgfile/header_parts.h"
#include "pkgfile/package_file_check.h"
#include "pkgfile/part_stream.h"

namespace {

bool endsWith(const std::string& text, const char* suffix) {
  const std::string tail(suffix);
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void printDirect(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace

bool verifyPackageFile(Console& console, const std::string& path, const std::string& name) {
  std::ifstream input(path, std::ios_base::in | std::ios_base::binary);
  PartStream stream(input, true);
  if (stream.totalLength() == 0) {
    console.error("broken package %s", name.c_str());
    return false;
  }
  const std::string label = "verifying " + name;
  auto progress = [&] {
    console.showProgress(label, static_cast<std::uint32_t>(stream.tellg()) + stream.partOffset(),
                         stream.totalLength());
  };
  progress();
  const bool verified = checkPackageFile(stream, configuredTrust(), progress);
  console.setStatus("");
  if (verified)
    console.info("verified %s", name.c_str());
  else
    console.error("broken package %s", name.c_str());
  return verified;
}

void scanStagingDir(Console& console, const char* dir, Candidates& candidates) {
  DIR* entries = ::opendir(dir);
  if (entries == nullptr) return;
  bool examined = false;
  while (const dirent* entry = ::readdir(entries)) {
    const std::string name = entry->d_name;
    if (name.empty() || name[0] == '.') continue;
    const std::string path = dir + name;
    if (!endsWith(path, ".tpk") && !endsWith(path, ".lpk")) continue;
    if (!examined) printDirect("\n");
    examined = true;
    if (!verifyPackageFile(console, path, name)) continue;
    auto file = std::make_unique<PackageFile>();
    if (!loadPackageFile(*file, path)) {
      console.error("broken package %s", name.c_str());
      continue;
    }
    candidates.push_back(std::move(file));
  }
  ::closedir(entries);
  if (examined) printDirect("\n");
}
