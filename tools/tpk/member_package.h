// A package file taken into a bundle: checked to hold exactly one package (not
// a bundle) whose header the installer's reader takes whole, and cut to its
// body so that its parts, signature included, are copied unchanged.
#pragma once

#include <string>

namespace tpk {

struct MemberPackage {
  std::string path;
  std::string name;  // from its header
  std::string body;  // the file from its type-1 part on
};

// Returns the command status with a message in error: statusFailed when the
// file is unreadable, not a package file, a bundle, or holds more than one
// package; statusUsage when the installer's header reader would refuse the
// member (its name or a relation name) or cut one of its texts.
int readMemberPackage(const std::string& path, MemberPackage& member, std::string& error);

}  // namespace tpk
