// tpk info and tpk contents: what a package file holds, as the installer reads it.
#include <cstdio>

#include "model/version.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/inspection_text.h"
#include "tpk/json_object.h"
#include "tpk/package_inspection.h"
#include "tpk/relation_text.h"

namespace tpk {

namespace {

void printList(const char* label, const std::vector<Dependency>& list) {
  if (list.empty()) std::printf("  %s: none\n", label);
  for (const Dependency& d : list)
    std::printf("  %s: %s\n", label,
                printable(relationText(d.name, d.min, d.max, d.extra)).c_str());
}

void printText(const char* label, const std::string& text) {
  std::printf("  %s:%s%s\n", label, text.empty() ? "" : " ", printable(text).c_str());
}

std::string flagsText(const InspectedPackage& p) {
  if (!hasFlagWord(p)) return "none (no flag word)";
  std::string text = std::to_string(p.record.flags);
  if (p.record.flags & bootImage) text += " bootImage";
  if (p.record.flags & imageMeta) text += " imageMeta";
  return text;
}

void printPackage(const InspectedPackage& p) {
  const Package& r = p.record;
  std::printf("%s %s %s\n", p.isBundleHeader ? "bundle" : "package", printable(r.name).c_str(),
              versionText(r.version).c_str());
  std::printf("  version: %s (0x%08x)\n", versionText(r.version).c_str(), unsigned(r.version));
  std::printf("  build time: %u (%s UTC)\n", unsigned(r.buildTime), utcText(r.buildTime).c_str());
  std::printf("  flags: %s\n", flagsText(p).c_str());
  printText("architecture", r.architecture);
  printText("note", r.note);
  printText("text24", r.text24);
  printText("text2", r.text2);
  printList("depends", r.deps);
  printList("provides", r.provides);
  printList("conflicts", r.conflicts);
  if (p.isBundleHeader && p.hasDefaultDisabled) printList("default-disabled", p.defaultDisabled);
  std::string image = "no";
  for (const LayoutPart& part : p.parts)
    if (part.type == partImage) image = "yes (" + std::to_string(part.length) + " bytes)";
  std::printf("  image: %s\n", image.c_str());
  if (p.isBundleHeader) {
    std::printf("  parts: %s\n", layoutText(p.parts).c_str());
    return;
  }
  std::string scripts;
  for (const std::string& s : p.scripts) scripts += (scripts.empty() ? "" : ", ") + s;
  std::printf("  scripts: %s\n", scripts.empty() ? "none" : scripts.c_str());
  if (p.hasTree)
    std::printf("  file tree: %zu %s%s\n", p.tree.size(), p.tree.size() == 1 ? "entry" : "entries",
                p.treeBroken ? " (broken)" : "");
  else
    std::printf("  file tree: none\n");
  std::printf("  parts: %s\n", layoutText(p.parts).c_str());
  std::printf("  digest: %s\n", pkgwriter::hexDigest(p.digest).c_str());
  std::printf("  signature: %s\n", p.hasTrailer ? "trailer" : "none");
  std::printf("  verification: %s\n", verdictText(p.verdict));
}

// A version bound of a relation: null when the relation has none.
void versionBound(JsonObject& object, const char* key, Version bound) {
  if (bound == 0)
    object.null(key);
  else
    object.text(key, versionText(bound));
}

std::string relationsJson(const std::vector<Dependency>& list) {
  JsonArray array;
  for (const Dependency& d : list) {
    JsonObject relation;
    relation.text("name", d.name);
    versionBound(relation, "min", d.min);
    versionBound(relation, "max", d.max);
    relation.number("extra", d.extra);
    array.add(relation.str());
  }
  return array.str();
}

// The image, the scripts and the parts, from the package's own part layout.
void layoutJson(JsonObject& object, const InspectedPackage& p) {
  JsonArray parts;
  JsonObject scripts;
  const LayoutPart* image = nullptr;
  for (const LayoutPart& part : p.parts) {
    parts.add(JsonObject()
                  .number("type", part.type)
                  .number("offset", part.offset)
                  .number("length", part.length)
                  .str());
    if (part.type == partImage) image = &part;
    if (part.type == partInstallScript) scripts.number("oninstall", part.length);
    if (part.type == partUninstallScript) scripts.number("onuninstall", part.length);
  }
  if (image != nullptr)
    object.number("image", image->length);
  else
    object.null("image");
  if (!p.isBundleHeader) object.json("scripts", scripts.str());
  object.json("parts", parts.str());
}

// One line of tpk info --json: kind "package", "bundle" or "member" (of bundle).
std::string packageJson(const std::string& path, const InspectedPackage& p,
                        const std::string& bundle) {
  const Package& r = p.record;
  JsonObject object;
  object.text("file", path)
      .text("kind", p.isBundleHeader ? "bundle"
                    : bundle.empty() ? "package"
                                     : "member");
  if (!p.isBundleHeader && !bundle.empty()) object.text("bundle", bundle);
  object.text("name", r.name)
      .text("version", versionText(r.version))
      .number("versionCode", r.version)
      .number("buildTime", r.buildTime);
  if (hasFlagWord(p))
    object.number("flags", r.flags);
  else
    object.null("flags");
  object.boolean("bootImage", (r.flags & bootImage) != 0)
      .boolean("imageMeta", (r.flags & imageMeta) != 0)
      .text("architecture", r.architecture)
      .text("note", r.note)
      .text("text24", r.text24)
      .text("text2", r.text2)
      .json("depends", relationsJson(r.deps))
      .json("provides", relationsJson(r.provides))
      .json("conflicts", relationsJson(r.conflicts));
  if (p.isBundleHeader) object.json("defaultDisabled", relationsJson(p.defaultDisabled));
  layoutJson(object, p);
  if (p.isBundleHeader) return object.str();
  if (p.hasTree)
    object.json("fileTree", JsonObject()
                                .number("entries", std::int64_t(p.tree.size()))
                                .boolean("broken", p.treeBroken)
                                .str());
  else
    object.null("fileTree");
  return object.text("digest", pkgwriter::hexDigest(p.digest))
      .boolean("signed", p.hasTrailer)
      .text("verification", verdictText(p.verdict))
      .str();
}

int inspectCommand(const std::vector<std::string>& argv, bool contents) {
  const char* name = contents ? "contents" : "info";
  Arguments args;
  std::string error;
  const std::vector<OptionInfo> options =
      contents ? std::vector<OptionInfo>{} : std::vector<OptionInfo>{{"json", 0, false}};
  if (!args.parse(argv, options, error))
    return report(statusUsage, error + " (see tpk " + name + " --help)");
  if (args.has("help")) {
    if (contents)
      std::printf(
          "usage: tpk contents FILE...\n"
          "\n"
          "Lists the file tree of every package (each bundle member): mode, uid/gid,\n"
          "size (device number for devices), time (UTC; \"-\" for a link without one),\n"
          "path below /flash, link target and device variant.\n");
    else
      std::printf(
          "usage: tpk info [--json] FILE...\n"
          "\n"
          "Shows the file header, the part layout (type@offset (payload length)), and\n"
          "for the bundle and each package: header fields, flags, texts, relations,\n"
          "image, scripts, file tree size, digest and signature verdict.\n"
          "\n"
          "      --json   one JSON object per line for the bundle and each package\n"
          "               instead; bytes outside printable ASCII in texts are\n"
          "               written as \\u0000 to \\u00ff, one per byte\n");
    return statusOk;
  }
  if (args.positional().empty()) return report(statusUsage, std::string(name) + ": no FILE given");
  int status = statusOk;
  bool first = true;
  for (const std::string& path : args.positional()) {
    InspectedFile file;
    if (!inspectFile(path, nullptr, file, error)) {
      status = report(statusFailed, std::string(name) + ": " + error);
      continue;
    }
    if (!file.problem.empty()) {
      status = report(statusFailed,
                      std::string(name) + ": " + path + ": malformed file: " + file.problem);
      continue;
    }
    if (args.has("json")) {
      std::string bundle;
      for (const InspectedPackage& p : file.packages) {
        if (p.isBundleHeader) bundle = p.record.name;
        std::printf("%s\n", packageJson(path, p, bundle).c_str());
      }
      continue;
    }
    if (!first) std::printf("\n");
    first = false;
    if (args.positional().size() > 1 || !contents) std::printf("file: %s\n", path.c_str());
    if (!contents) {
      std::printf("magic: 0x%08x%s\n", unsigned(file.magic),
                  file.magic == alternatePackageMagic ? " (alternate)" : "");
      std::printf("length: %zu\n", file.size);
      if (file.binding != BindingState::None)
        std::printf("binding: %s\n", file.binding == BindingState::Matches ? "matches" : "differs");
      std::printf("parts: %s\n", layoutText(file.parts).c_str());
    }
    const bool bundle = !file.packages.empty() && file.packages.front().isBundleHeader;
    for (const InspectedPackage& p : file.packages) {
      if (!contents) {
        std::printf("\n");
        printPackage(p);
        continue;
      }
      if (p.isBundleHeader) continue;
      if (bundle)
        std::printf("member %s %s:\n", printable(p.record.name).c_str(),
                    versionText(p.record.version).c_str());
      for (const InspectedEntry& e : p.tree) std::printf("%s\n", entryLine(e).c_str());
      if (p.treeBroken)
        status = report(statusFailed, "contents: " + path + ": the file tree of " +
                                          printable(p.record.name) + " is broken");
    }
  }
  return status;
}

}  // namespace

int runInfo(const std::vector<std::string>& args) { return inspectCommand(args, false); }
int runContents(const std::vector<std::string>& args) { return inspectCommand(args, true); }

}  // namespace tpk
