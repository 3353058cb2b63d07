// The devices the crash harness starts from, one row each.
#include "crash/crash_harness.h"
#include "model/version.h"
#include "pkgwriter/pkgwriter.h"

namespace crash {
namespace {

using pkgwriter::PackageLayout;
constexpr Version v1 = makeVersion(1, 0, Final, 0), v2 = makeVersion(2, 0, Final, 0);

// A signed package of bin/<name> ("<name> <version>\n"), and what change makes of it.
PackageLayout package(const std::string& name, Version version,
                      void (*change)(PackageLayout&) = nullptr) {
  PackageLayout layout;
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

// The file of such a package, staged under its name.
Placed staged(const std::string& name, Version version, void (*change)(PackageLayout&) = nullptr) {
  return {"/flash/rw/pckg/" + name + ".tpk",
          pkgwriter::buildPackageFile(package(name, version, change))};
}

// The bundle "suite" of such packages, all of its version, staged.
Placed suite(Version version, const std::vector<std::string>& members) {
  pkgwriter::BundleLayout layout;
  layout.name = "suite";
  layout.version = version;
  layout.buildTime = 1704067200;
  for (const std::string& member : members)
    layout.members.push_back(pkgwriter::buildPackageBody(package(member, version)));
  return {"/flash/rw/pckg/suite.tpk", pkgwriter::buildBundleFile(layout)};
}

Placed schedule(const std::string& name, const std::string& action) {
  return {"/ram/pdb/" + name + "/schedule", action + "\n"};
}

void needsLib2(PackageLayout& p) { p.deps = {{{"lib", v2}}}; }
void needsLib(PackageLayout& p) { p.deps = {{{"lib"}}}; }
void withScript(PackageLayout& p) {
  p.onInstall = "#!/bin/bash\necho configured > /var/tool.conf\n";
}
void withBootImage(PackageLayout& p) {
  p.image = "boot image " + versionText(p.version), p.flags = pkgwriter::bootImageFlag;
}
void unsigned_(PackageLayout& p) { p.signer = {}; }
// 120 KiB that do not compress: more than is left on a 192 KiB flash.
void large(PackageLayout& p) {
  std::string bytes(120 * 1024, '\0');
  std::uint32_t x = 1;
  for (char& c : bytes) x = x * 1103515245u + 12345u, c = static_cast<char>(x >> 24);
  p.fileTree = pkgwriter::FileTreeBuilder().addFile("bin/tool", bytes).compressed();
}

}  // namespace

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = [] {
    const Placed base = staged("base", v1);
    const std::vector<Placed> related1 = {base, staged("lib", v1), staged("app", v1, needsLib),
                                          suite(v1, {"m1", "m2"})};
    const std::vector<Placed> related2 = {staged("lib", v2), staged("app", v2, needsLib2),
                                          suite(v2, {"m1", "m2"})};
    std::vector<Placed> related2InRam = related2;  // with room in RAM for every staged file
    related2InRam.push_back(
        {"/proc/meminfo", "MemTotal: 1 kB\nMemFree: 65536 kB\nBuffers: 0 kB\nCached: 0 kB\n"});
    const std::vector<Placed> tool1 = {base, staged("tool", v1)};
    const std::vector<Placed> ab = {base, staged("a", v1), staged("b", v1)};
    return std::vector<Scenario>{
        {"fresh-install", {{base}, {staged("tool", v1)}}},
        {"upgrade", {tool1, {staged("tool", v2)}}},
        {"dependent-and-bundle", {related1, related2}},
        {"bundle-replaces-member",
         {{base, suite(v1, {"core", "old"})}, {suite(v2, {"core", "fresh"})}}},
        {"install-script", {tool1, {staged("tool", v2, withScript)}}, 0, true},
        {"ram-moves", {related1, related2InRam}},
        {"schedule-removal", {ab, {schedule("a", "uninstall")}}},
        {"enable-disable",
         {ab, {schedule("b", "disable")}, {schedule("a", "disable"), schedule("b", "enable")}}},
        {"boot-image",
         {{base, staged("kernel", v1, withBootImage)}, {staged("kernel", v2, withBootImage)}}},
        {"failing-signature", {tool1, {staged("tool", v2, unsigned_), staged("other", v1)}}},
        {"full-disk", {tool1, {staged("tool", v2, large)}}, 192 * 1024},
    };
  }();
  return all;
}

}  // namespace crash
