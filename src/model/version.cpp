#include "model/version.h"

#include <cstdio>

#include "model/package.h"

std::string versionText(Version version) {
  const unsigned major = versionMajor(version);
  const unsigned minor = versionMinor(version);
  const unsigned kind = versionKind(version);
  const unsigned build = versionBuild(version);
  char text[80];
  if (kind == Final) {
    if (build == 0)
      std::snprintf(text, sizeof text, "%u.%u", major, minor);
    else
      std::snprintf(text, sizeof text, "%u.%u.%u", major, minor, build);
    return text;
  }
  const char* kindText = kind == Alpha              ? "alpha"
                         : kind == Beta             ? "beta"
                         : kind == ReleaseCandidate ? "rc"
                                                    : "";
  if (build == 0)
    std::snprintf(text, sizeof text, "%u.%u%s", major, minor, kindText);
  else
    std::snprintf(text, sizeof text, "%u.%u%s%u", major, minor, kindText, build);
  return text;
}

std::string nameVersionText(const Package& package) {
  return package.name + "-" + versionText(package.version);
}

std::string dependencyText(const Dependency& dependency) {
  if (dependency.min == 0) return dependency.name;
  return dependency.name + "-" + versionText(dependency.min);
}

bool namesEqual(const std::string& a, const std::string& b) {
  return a.size() == b.size() && a.compare(b) == 0;
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

int compareRelease(const Package& a, const Package& b) {
  if (a.version != b.version) return a.version > b.version ? 1 : -1;
  if (a.buildTime != b.buildTime) return a.buildTime > b.buildTime ? 1 : -1;
  return 0;
}
