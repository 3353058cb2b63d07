// The devices the crash harness starts from, one row each.
#include "crash/crash_harness.h"
#include "model/version.h"
#include "pkgwriter/pkgwriter.h"

namespace crash {
namespace {

constexpr Version v1 = makeVersion(1, 0, Final, 0), v2 = makeVersion(2, 0, Final, 0);

// A signed package holding bin/<name>, "<name> <version>\n", and what more
// changes.
pkgwriter::PackageLayout package(const std::string& name, Version version,
                                 void (*change)(pkgwriter::PackageLayout&) = nullptr) {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = 1704067200;
  layout.fileTree = pkgwriter::FileTreeBuilder()
                        .addFile("bin/" + name, name + " " + versionText(version) + "\n")
                        .compressed();
  layout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  if (change) change(layout);
  return layout;
}

Placed staged(const std::string& file, const pkgwriter::PackageLayout& layout) {
  return {"/flash/rw/pckg/" + file + ".tpk", pkgwriter::buildPackageFile(layout)};
}

Placed stagedBundle(const std::string& file, Version version,
                    const std::vector<pkgwriter::PackageLayout>& members) {
  pkgwriter::BundleLayout layout;
  layout.name = "suite";
  layout.version = version;
  layout.buildTime = 1704067200;
  for (const auto& member : members) layout.members.push_back(pkgwriter::buildPackageBody(member));
  return {"/flash/rw/pckg/" + file + ".tpk", pkgwriter::buildBundleFile(layout)};
}

Placed schedule(const std::string& name, const std::string& action) {
  return {"/ram/pdb/" + name + "/schedule", action + "\n"};
}

void needsLib2(pkgwriter::PackageLayout& p) { p.deps = {{{"lib", v2}}}; }
void needsLib(pkgwriter::PackageLayout& p) { p.deps = {{{"lib"}}}; }
void withScript(pkgwriter::PackageLayout& p) {
  p.onInstall = "#!/bin/bash\necho configured > /var/tool.conf\n";
}
void withBootImage(pkgwriter::PackageLayout& p) {
  p.image = "boot image " + versionText(p.version), p.flags = pkgwriter::bootImageFlag;
}
void unsigned_(pkgwriter::PackageLayout& p) { p.signer = {}; }
// 120 KiB that do not compress: more than is left on a 192 KiB flash.
void large(pkgwriter::PackageLayout& p) {
  std::string bytes(120 * 1024, '\0');
  std::uint32_t x = 1;
  for (char& c : bytes) x = x * 1103515245u + 12345u, c = static_cast<char>(x >> 24);
  p.fileTree = pkgwriter::FileTreeBuilder().addFile("bin/tool", bytes).compressed();
}

std::vector<Scenario> table() {
  const Placed base = staged("base", package("base", v1));
  const std::vector<Placed> related1 = {
      base, staged("lib", package("lib", v1)), staged("app", package("app", v1, needsLib)),
      stagedBundle("suite", v1, {package("m1", v1), package("m2", v1)})};
  const std::vector<Placed> related2 = {
      staged("lib", package("lib", v2)), staged("app", package("app", v2, needsLib2)),
      stagedBundle("suite", v2, {package("m1", v2), package("m2", v2)})};
  std::vector<Placed> related2InRam = related2;  // with room in RAM for every staged file
  related2InRam.push_back(
      {"/proc/meminfo", "MemTotal: 1 kB\nMemFree: 65536 kB\nBuffers: 0 kB\nCached: 0 kB\n"});
  const std::vector<Placed> tool1 = {base, staged("tool", package("tool", v1))};
  const std::vector<Placed> ab = {base, staged("a", package("a", v1)),
                                  staged("b", package("b", v1))};
  return {
      {"fresh-install", {{base}, {staged("tool", package("tool", v1))}}},
      {"upgrade", {tool1, {staged("tool", package("tool", v2))}}},
      {"dependent-and-bundle", {related1, related2}},
      {"bundle-replaces-member",
       {{base, stagedBundle("suite", v1, {package("core", v1), package("old", v1)})},
        {stagedBundle("suite", v2, {package("core", v2), package("fresh", v2)})}}},
      {"install-script", {tool1, {staged("tool", package("tool", v2, withScript))}}, 0, true},
      {"ram-moves", {related1, related2InRam}},
      {"schedule-removal", {ab, {schedule("a", "uninstall")}}},
      {"enable-disable",
       {ab, {schedule("b", "disable")}, {schedule("a", "disable"), schedule("b", "enable")}}},
      {"boot-image",
       {{base, staged("kernel", package("kernel", v1, withBootImage))},
        {staged("kernel", package("kernel", v2, withBootImage))}}},
      {"failing-signature",
       {tool1,
        {staged("tool", package("tool", v2, unsigned_)), staged("other", package("other", v1))}}},
      {"full-disk", {tool1, {staged("tool", package("tool", v2, large))}}, 192 * 1024},
  };
}

}  // namespace

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = table();
  return all;
}

}  // namespace crash
