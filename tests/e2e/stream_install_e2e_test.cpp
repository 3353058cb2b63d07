// "installer -r <root> -" with packages made by the writer, and the runs that
// only carry out actions (schedule files at start-up, --cleanup). Each case's
// status, output and resulting device root are recorded in
// tests/data/e2e/stream-<case>.txt.
#include <functional>

#include "e2e_helpers.h"

namespace {

using namespace e2e;
using Files = std::map<std::string, std::string>;

struct Root : DeviceRoot {
  Root() { installRecord(*this, "base", {{"files", ""}}); }
  // An installed package with its one file bin/<name> on disk.
  const Root& installed(const std::string& name, Version version, Files extra = {}) const {
    extra.emplace("version", versionLine(version));
    extra.emplace("files", "bin/" + name + "\n");
    installRecord(*this, name, extra);
    makeDirs(at("/flash/bin"));
    writeFile(at("/flash/bin/" + name), contentOf(name, version));
    return *this;
  }
  std::string stream(const std::string& bytes, std::vector<std::string> args = {}) const {
    ProcessOptions options;
    options.input = bytes;
    args.push_back("-");
    return outcome(run(args, options), *this);
  }
};

const Files inSuite = {{"bundle", "suite\n"}};

const std::map<std::string, std::function<std::string()>> scenarios = {
    {"plain", [] { return Root().stream(fileOf(package("tool"))); }},
    {"image",
     [] {
       pkgwriter::PackageLayout layout = package("kernel");
       layout.image = std::string(9000, 'k');
       layout.flags = pkgwriter::bootImageFlag;
       const Root root;
       const std::string seen = root.stream(fileOf(layout));
       EXPECT_EQ(readFile(root.at("/flash/var/pdb/kernel/image")), fileOf(layout));
       return seen;
     }},
    // The installed release of tool against the streamed one, with the options;
    // the old release also held a file the new one has not.
    {"release-rules",
     [] {
       const struct {
         Version installed, streamed;
         Lines args;
       } cases[] = {{v1, v2, {}}, {v1, v1, {}}, {v1, v1, {"--reinstall"}}, {v2, v1, {}}, {v2, v1, {"-down"}}};
       std::string seen;
       for (const auto& c : cases) {
         const Root root;
         root.installed("tool", c.installed, {{"files", "bin/tool\nbin/tool-old\n"}});
         writeFile(root.at("/flash/bin/tool-old"), "old\n");
         seen += root.stream(fileOf(package("tool", c.streamed)), c.args);
       }
       return seen;
     }},
    {"broken-streams",
     [] {
       pkgwriter::PackageLayout layout = package("tool", v2);
       layout.fileTree =
           pkgwriter::FileTreeBuilder().addFile("bin/tool", "2\n").addFile("bin/extra", "x\n").compressed();
       const std::string good = fileOf(layout);
       pkgwriter::PackageLayout forged = layout;
       forged.trailer = std::string(pkgwriter::trailerPayloadSize, '\x5a');
       const std::size_t tree = good.find(*layout.fileTree);
       std::string seen;
       for (const std::string& bytes :
            {std::string("not a package"), good.substr(0, pkgwriter::fileHeaderSize + 10), fileOf(forged),
             good.substr(0, tree + layout.fileTree->size() / 2),
             pkgwriter::wrapFile(pkgwriter::buildPackageBody(layout) +
                                 pkgwriter::encodePart(pkgwriter::Text2Part, "more"))})
         seen += Root().installed("tool", v1).stream(bytes);
       return seen;
     }},
    {"conflicting-installed-disabled",
     [] {
       return Root().installed("ntp", v1, {{"conflicts", dependencyLine("chrony", 0)}}).stream(
           fileOf(package("chrony")));
     }},
    // Beside the installed record, which stays as it is.
    {"alternate-magic",
     [] {
       const Root root;
       root.installed("tool", v1, {{"files", "bin/tool\nbin/tool-old\n"}});
       writeFile(root.at("/flash/bin/tool-old"), "old\n");
       return root.stream(fileOf(package("tool", v2), pkgwriter::alternateMagic));
     }},
    {"bundle-default-disabled",
     [] {
       std::string seen;
       for (const Lines& order : {Lines{"core", "extra"}, Lines{"extra", "core"}})
         seen += Root().stream(bundleFile("suite", v1, {package(order[0]), package(order[1])}, {"extra"}));
       return seen;
     }},
    {"bundle-drops-member",
     [] {
       const Root root;
       installRecord(root, "suite", {{"deps", ""}});
       root.installed("core", v1, inSuite).installed("old", v1, inSuite);
       return root.stream(bundleFile("suite", v2, {package("core", v2)}));
     }},
    // Stream mode knows no user states; the upgrade run hands over those forced
    // on the installed release: they win over the bundle's list.
    {"user-states-through-upgrade",
     [] {
       const Root root;
       installRecord(root, "suite", {{"version", versionLine(v09)}, {"deps", ""}});
       root.installed("core", v09, {{"bundle", "suite\n"}, {"disabled", "user\n"}});
       root.installed("extra", v09, {{"bundle", "suite\n"}, {"enabled", "user\n"}});
       makeDirs(root.at("/flash/rw/pckg"));
       writeFile(root.at("/flash/rw/pckg/suite.tpk"),
                 bundleFile("suite", v1, {package("core"), package("extra")}, {"extra"}));
       return outcome(root.run({}), root);
     }},
    {"schedule-files",
     [] {
       const Root root;
       root.installed("a", v1).installed("b", v1, {{"disabled", "auto\n"}}).installed("c", v1);
       installRecord(root, "suite", {{"deps", ""}});
       root.installed("m1", v1, inSuite).installed("m2", v1, inSuite);
       for (const auto& [name, action] :
            Files{{"a", "disable"}, {"b", "enable"}, {"c", "uninstall"}, {"suite", "uninstall"}}) {
         makeDirs(root.at("/ram/pdb/" + name));
         writeFile(root.at("/ram/pdb/" + name + "/schedule"), action + "\n");
       }
       writeFile(root.at("/flash/postlog"), "an earlier run\n");
       return outcome(root.run({}), root);
     }},
    {"cleanup",
     [] {
       const Version v321 = makeVersion(3, 21, Final, 0), v322 = makeVersion(3, 22, Final, 0);
       const std::string newSystem = dependencyLine("system", v322);
       const Root root;
       root.installed("system", v322);
       for (const char* name : {"lumex", "disk-drivers", "lib"}) root.installed(name, v1);
       root.installed("old", v1, {{"deps", dependencyLine("system", v321)}});
       root.installed("new", v1, {{"deps", newSystem}});
       installRecord(root, "suite", {{"deps", ""}});
       root.installed("member", v1, {{"bundle", "suite\n"}, {"deps", newSystem}});
       root.installed("app", v1, {{"deps", newSystem + dependencyLine("lib", 0)}});
       return outcome(root.run({"--cleanup"}), root);
     }},
    // The old member a pins b to release 1: the plan for b 2.0 uninstalls a and
    // would then uninstall b too until a 2.0 follows. Neither b nor the bundle
    // may be lost on the way.
    {"members-survive-bundle-plans",
     [] {
       const Root root;
       installRecord(root, "suite", {{"deps", ""}});
       root.installed("a", v1, {{"bundle", "suite\n"}, {"deps", dependencyLine("b", 0, v1)}});
       root.installed("b", v1, inSuite);
       pkgwriter::PackageLayout b = package("b", v2);
       b.deps = {{pkgwriter::ListEntry{"a", v1}}};
       return root.stream(bundleFile("suite", v2, {b, package("a", v2)}));
     }},
};

TEST(StreamInstall, RecordedScenarios) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const auto& [name, scenario] : scenarios) expectRecorded("stream-" + name, scenario());
}

}  // namespace
