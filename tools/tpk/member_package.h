// A package file taken into a bundle: checked to hold exactly one package (not
// a bundle), and cut to its body so that its parts, signature included, are
// copied unchanged.
#pragma once

#include <string>

namespace tpk {

struct MemberPackage {
  std::string path;
  std::string name;  // from its header
  std::string body;  // the file from its type-1 part on
};

// False with a message in error when the file is unreadable, not a package
// file, a bundle, or holds more than one package.
bool readMemberPackage(const std::string& path, MemberPackage& member, std::string& error);

}  // namespace tpk
