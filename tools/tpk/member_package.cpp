#include "tpk/member_package.h"

#include <sstream>

#include "pkgfile/header_parts.h"
#include "pkgfile/package_names.h"
#include "pkgfile/part_stream.h"
#include "tpk/command_line.h"
#include "tpk/file_io.h"

namespace tpk {

namespace {

// The member's header through the installer's own reader, which refuses a
// name it cannot store and cuts a text part longer than it keeps. Empty when
// the reader takes the header whole, else why not.
std::string readerRefusal(const std::string& file, const std::string& name) {
  if (const char* refusal = nameRefusal(name, NameUse::Package)) return refusal;
  std::istringstream input(file);
  PartStream header(input, false);
  header.wanted = {partPackage,      partText24,   partArchitecture, partText2,
                   partNote,         partDependencies, partProvides, partConflicts};
  header.next();
  Package record;
  if (readHeaderParts(record, header) != ReadResult::Read)
    return "a relation name is refused, or a relation list is cut short";
  std::istringstream again(file);
  PartStream texts(again, false);
  texts.wanted = {partText24, partArchitecture, partText2, partNote};
  while (texts.next() != -1) {
    if (texts.partLength() > maxTextPartLength)
      return "a text part is longer than the installer keeps (" +
             std::to_string(maxTextPartLength) + " bytes)";
  }
  return {};
}

}  // namespace

int readMemberPackage(const std::string& path, MemberPackage& member, std::string& error) {
  std::string file;
  if (!readWholeFile(path, file, error)) return statusFailed;
  std::istringstream input(file);
  PartStream stream(input, false);
  if (stream.fail()) {
    error = path + ": not a package file";
    return statusFailed;
  }
  if (stream.totalLength() != file.size()) {
    error = path + ": the file header's length does not match the file size";
    return statusFailed;
  }
  stream.wanted = {partPackage, partBundle};
  const int type = stream.next();
  if (type == partBundle) {
    error = path + ": a bundle cannot be a member of a bundle";
    return statusFailed;
  }
  if (type != partPackage || stream.partOffset() != 8 + 6) {
    error = path + ": the file does not start with a package header";
    return statusFailed;
  }
  char name[16] = {};
  if (stream.partLength() < 32 || !stream.read(name, sizeof name)) {
    error = path + ": the package header is too short";
    return statusFailed;
  }
  std::size_t nameLength = 0;
  while (nameLength < sizeof name && name[nameLength] != '\0') ++nameLength;
  member.name.assign(name, nameLength);
  const int following = stream.next();
  if (following != -1) {
    error = path + ": the file holds more than one package";
    return statusFailed;
  }
  const std::string refusal = readerRefusal(file, member.name);
  if (!refusal.empty()) {
    error = path + ": the installer would refuse this member: " + refusal;
    return statusUsage;
  }
  member.path = path;
  member.body = file.substr(8);
  return statusOk;
}

}  // namespace tpk
