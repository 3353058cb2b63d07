#include "tpk/header_options.h"

#include <cstdlib>
#include <ctime>

#include "pkgfile/header_parts.h"
#include "pkgfile/package_names.h"
#include "tpk/commands.h"
#include "tpk/file_io.h"
#include "tpk/relation_text.h"
#include "tpk/version_text.h"

namespace tpk {

std::vector<OptionInfo> headerOptions() {
  return {{"name", 'n', true},    {"version", 'V', true},   {"build-time", 0, true},
          {"arch", 0, true},      {"note", 0, true},        {"text24", 0, true},
          {"text2", 0, true},     {"depends", 'd', true},   {"provides", 0, true},
          {"conflicts", 0, true}, {"boot-image", 0, false}, {"image-meta", 0, false},
          {"image", 0, true}};
}

const char* const headerOptionsHelp =
    "  -n, --name NAME          package name: 1 to 16 bytes, no \"/\", white space or\n"
    "                           control characters, not beginning with \".\"\n"
    "  -V, --version VERSION    6.41, 6.41.3, 6.42alpha1, 6.42beta5, 6.42rc, 3.20rc1 ...\n"
    "      --build-time SECONDS build time (default: $SOURCE_DATE_EPOCH, else now)\n"
    "      --arch NAME          architecture (the installer assumes i386 when absent)\n"
    "      --note TEXT          note shown in the installer's package listing\n"
    "      --text24 TEXT        stored text (part 24)\n"
    "      --text2 TEXT         stored text (part 2)\n"
    "                           (--arch and the texts: up to 65536 bytes each)\n"
    "  -d, --depends REL        dependency; repeatable (see RELATIONS)\n"
    "      --provides REL[:N]   provided name with optional signed extra value; repeatable\n"
    "      --conflicts REL      conflict; repeatable\n"
    "      --boot-image         set the boot-image flag (adds the header flag word)\n"
    "      --image-meta         set the image-metadata flag (adds the header flag word)\n"
    "      --image FILE         image part from FILE (makes an image package)\n";

const char* const relationsHelp =
    "\n"
    "RELATIONS: name | name>=V | name<=V | name=V | name>=V,<=V  (V as for --version)\n";

namespace {

bool readRelations(const Arguments& args, const std::string& option, bool allowExtra,
                   std::optional<std::vector<pkgwriter::ListEntry>>& list, std::string& error) {
  const std::vector<std::string> texts = args.values(option);
  if (texts.empty()) return true;
  if (texts.size() > 0xFFFF) {
    error = "too many --" + option + " entries";
    return false;
  }
  list.emplace();
  for (const std::string& text : texts) {
    pkgwriter::ListEntry entry;
    std::string problem;
    if (!parseRelation(text, allowExtra, entry, problem)) {
      error = "--" + option + " " + text + ": " + problem;
      return false;
    }
    list->push_back(entry);
  }
  return true;
}

// The installer's header reader keeps at most maxTextPartLength bytes of a
// text part; a longer one would be cut without a word.
bool readText(const Arguments& args, const std::string& option, std::optional<std::string>& field,
              std::string& error) {
  if (!args.has(option)) return true;
  field = args.value(option);
  if (field->size() <= maxTextPartLength) return true;
  error = "--" + option + ": " + std::to_string(field->size()) +
          " bytes, more than the installer keeps (" + std::to_string(maxTextPartLength) + ")";
  return false;
}

}  // namespace

bool readHeaderOptions(const Arguments& args, pkgwriter::HeaderLayout& header, std::string& error) {
  if (!args.has("name")) {
    error = "--name is required";
    return false;
  }
  header.name = args.value("name");
  if (const char* refusal = nameRefusal(header.name, NameUse::Package)) {
    error = "--name \"" + header.name + "\": " + refusal;
    return false;
  }
  if (!args.has("version")) {
    error = "--version is required";
    return false;
  }
  if (!parseVersionText(args.value("version"), header.version)) {
    error = "--version \"" + args.value("version") +
            "\": malformed version (expected e.g. 6.41, 6.41.3, 6.42beta5, 6.42rc1)";
    return false;
  }
  if (args.has("build-time")) {
    if (!parseU32(args.value("build-time"), header.buildTime)) {
      error = "--build-time \"" + args.value("build-time") + "\": expected seconds since 1970";
      return false;
    }
  } else if (const char* epoch = std::getenv("SOURCE_DATE_EPOCH"); epoch != nullptr) {
    if (!parseU32(epoch, header.buildTime)) {
      error = std::string("SOURCE_DATE_EPOCH \"") + epoch + "\": expected seconds since 1970";
      return false;
    }
  } else {
    header.buildTime = std::uint32_t(std::time(nullptr));
  }
  if (!readText(args, "arch", header.architecture, error) ||
      !readText(args, "note", header.note, error) ||
      !readText(args, "text24", header.text24, error) ||
      !readText(args, "text2", header.text2, error))
    return false;
  if (!readRelations(args, "depends", false, header.deps, error) ||
      !readRelations(args, "provides", true, header.provides, error) ||
      !readRelations(args, "conflicts", false, header.conflicts, error))
    return false;
  if (args.has("boot-image") || args.has("image-meta")) {
    header.flags = (args.has("boot-image") ? pkgwriter::bootImageFlag : 0u) |
                   (args.has("image-meta") ? pkgwriter::imageMetaFlag : 0u);
  }
  if (args.has("image")) {
    std::string image;
    if (!readWholeFile(args.value("image"), image, error)) return false;
    header.image = std::move(image);
  }
  return true;
}

int writePackageOutput(const Arguments& args,
                       const std::function<std::string(std::uint32_t magic)>& makeFile,
                       const char* command) {
  const std::string prefix = std::string(command) + ": ";
  const std::uint32_t magic =
      args.has("alternate-magic") ? pkgwriter::alternateMagic : pkgwriter::standardMagic;
  const std::string file = makeFile(magic);
  if (file.empty()) return report(statusFailed, prefix + "signing failed");
  if (file.size() > 0xFFFFFFFFu)
    return report(statusFailed, prefix + "the file would be larger than 4 GiB");
  std::string error;
  if (writeFileAtomically(args.value("output"), file, error) == OutputWrite::NotWritten)
    return report(statusFailed, prefix + error);
  return statusOk;
}

}  // namespace tpk
