#include "model/version.h"

#include <cstdio>

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

bool namesEqual(const std::string& a, const std::string& b) {
  return a.size() == b.size() && a.compare(b) == 0;
}
