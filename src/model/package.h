// The package records shared by every subsystem, and the installed set.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "model/version.h"

// A requirement, provision, conflict or bundle membership. min or max 0 means
// that side is unbounded.
struct Dependency {
  std::string name;
  Version min = 0;
  Version max = 0;
  std::int32_t extra = 0;
};

// Bits of the header flag word.
enum PackageFlags : std::uint32_t {
  bootImage = 1,  // the package carries the device's boot image
  imageMeta = 2,  // metadata lives in the package's image, not in meta files
};

enum class ScheduledAction : std::uint32_t {
  None = 0,       // ""
  Uninstall = 1,  // "uninstall"
  Enable = 2,     // "enable"
  Disable = 3,    // "disable"
};

// The header information a package file carries.
struct Package {
  explicit Package(std::string packageName = {}) : name(std::move(packageName)) {}
  virtual ~Package();
  Package(const Package&) = delete;
  Package& operator=(const Package&) = delete;

  std::string name;
  Version version = 0;
  std::uint32_t buildTime = 0;
  std::uint32_t flags = 0;
  std::string text24;
  std::string architecture;
  std::string text2;
  std::string note;
  bool isImage = false;
  std::vector<Dependency> deps;
  std::vector<Dependency> provides;
  std::vector<Dependency> conflicts;
  bool isBundle = false;
  std::vector<std::unique_ptr<Package>> members;  // bundle members, file order
};

// An installed package as the database records it.
struct InstalledPackage : Package {
  using Package::Package;
  ~InstalledPackage() override;

  std::set<std::string> files;  // "/"-prefixed, relative to /flash
  Dependency bundle;            // the bundle that delivered it; empty name if none
  bool disabled = false;
  bool userForced = false;
  ScheduledAction action = ScheduledAction::None;
};

// A package file found in a staging directory.
struct PackageFile : Package {
  PackageFile() : Package(std::string()) {}
  ~PackageFile() override;

  std::string path;
  std::string foundPath;
  std::uint32_t length = 0;
  bool alternateMagic = false;
  // The file as opened for its check, -1 when not open; closed with the
  // record. It is read, moved and installed through this descriptor only, so
  // a file put in its place by name afterwards is never read.
  int descriptor = -1;
  // The file check found its file header and a bundle's own parts bound to
  // the signature of its first package.
  bool bound = false;
};

// Text forms in which messages name records.
// name "-" versionText(version).
std::string nameVersionText(const Package& package);
// The name, then "-" and versionText(min) only when min is not 0.
std::string dependencyText(const Dependency& dependency);

// Relations between records.
// Is this package an acceptable answer to the dependency (name and bounds)?
bool satisfies(const Package& package, const Dependency& dependency);
// Does a provided entry answer a required dependency?
bool rangesOverlap(const Dependency& provided, const Dependency& required);
// +1, 0 or -1 for two releases of the same package: version first, then build
// time, both unsigned. A bundle stands for its members: when only one side
// is named like the other's member, that member is compared instead; 0 when
// the two are unrelated.
int compareRelease(const Package& a, const Package& b);

// The installed set, in load order followed by installation order.
class PackageDb {
public:
  using Records = std::vector<std::unique_ptr<InstalledPackage>>;

  // Index of the first record whose name equals name, or -1.
  int findIndex(const std::string& name) const;
  // The first record whose name equals name, or nullptr.
  InstalledPackage* find(const std::string& name) const;

  void append(std::unique_ptr<InstalledPackage> record) { records_.push_back(std::move(record)); }
  std::unique_ptr<InstalledPackage> take(std::size_t index);

  std::size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  InstalledPackage& operator[](std::size_t index) const { return *records_[index]; }
  Records::const_iterator begin() const { return records_.begin(); }
  Records::const_iterator end() const { return records_.end(); }
  void clear() { records_.clear(); }

private:
  Records records_;
};
