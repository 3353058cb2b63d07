#include "model/package.h"

#include <unistd.h>

Package::~Package() = default;
InstalledPackage::~InstalledPackage() = default;
PackageFile::~PackageFile() {
  if (descriptor >= 0) ::close(descriptor);
}

std::string nameVersionText(const Package& package) {
  return package.name + "-" + versionText(package.version);
}

std::string dependencyText(const Dependency& dependency) {
  if (dependency.min == 0) return dependency.name;
  return dependency.name + "-" + versionText(dependency.min);
}

bool satisfies(const Package& package, const Dependency& dependency) {
  if (!namesEqual(package.name, dependency.name)) return false;
  if (package.version < dependency.min) return false;
  return dependency.max == 0 || package.version <= dependency.max;
}

bool rangesOverlap(const Dependency& provided, const Dependency& required) {
  if (!namesEqual(provided.name, required.name)) return false;
  if (provided.min != 0 && required.max != 0 && provided.min > required.max) return false;
  if (provided.max == 0 || required.min == 0) return true;
  return provided.max >= required.min;
}

namespace {

int compareSameName(const Package& a, const Package& b) {
  if (a.version != b.version) return a.version > b.version ? 1 : -1;
  if (a.buildTime != b.buildTime) return a.buildTime > b.buildTime ? 1 : -1;
  return 0;
}

const Package* memberNamed(const Package& bundle, const std::string& name) {
  for (const auto& member : bundle.members)
    if (namesEqual(member->name, name)) return member.get();
  return nullptr;
}

}  // namespace

int compareRelease(const Package& a, const Package& b) {
  if (namesEqual(a.name, b.name)) return compareSameName(a, b);
  if (const Package* member = memberNamed(a, b.name)) return compareSameName(*member, b);
  if (const Package* member = memberNamed(b, a.name)) return -compareSameName(*member, a);
  return 0;
}

int PackageDb::findIndex(const std::string& name) const {
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (namesEqual(records_[i]->name, name)) return static_cast<int>(i);
  return -1;
}

InstalledPackage* PackageDb::find(const std::string& name) const {
  const int index = findIndex(name);
  return index < 0 ? nullptr : records_[static_cast<std::size_t>(index)].get();
}

std::unique_ptr<InstalledPackage> PackageDb::take(std::size_t index) {
  std::unique_ptr<InstalledPackage> record = std::move(records_[index]);
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
  return record;
}
