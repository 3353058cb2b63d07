#include "model/package.h"

Package::~Package() = default;
InstalledPackage::~InstalledPackage() = default;
PackageFile::~PackageFile() = default;

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
