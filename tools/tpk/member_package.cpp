#include "tpk/member_package.h"

#include <sstream>

#include "pkgfile/part_stream.h"
#include "tpk/file_io.h"

namespace tpk {

bool readMemberPackage(const std::string& path, MemberPackage& member, std::string& error) {
  std::string file;
  if (!readWholeFile(path, file, error)) return false;
  std::istringstream input(file);
  PartStream stream(input, false);
  if (stream.fail()) {
    error = path + ": not a package file";
    return false;
  }
  if (stream.totalLength() != file.size()) {
    error = path + ": the file header's length does not match the file size";
    return false;
  }
  stream.wanted = {partPackage, partBundle};
  const int type = stream.next();
  if (type == partBundle) {
    error = path + ": a bundle cannot be a member of a bundle";
    return false;
  }
  if (type != partPackage || stream.partOffset() != 8 + 6) {
    error = path + ": the file does not start with a package header";
    return false;
  }
  char name[16] = {};
  if (stream.partLength() < 32 || !stream.read(name, sizeof name)) {
    error = path + ": the package header is too short";
    return false;
  }
  std::size_t nameLength = 0;
  while (nameLength < sizeof name && name[nameLength] != '\0') ++nameLength;
  member.name.assign(name, nameLength);
  const int following = stream.next();
  if (following != -1) {
    error = path + ": the file holds more than one package";
    return false;
  }
  member.path = path;
  member.body = file.substr(8);
  return true;
}

}  // namespace tpk
