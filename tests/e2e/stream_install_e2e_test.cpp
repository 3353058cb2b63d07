// "installer -r <root> -" with packages made by the writer, and the runs that
// only carry out actions (schedule files at start-up, --cleanup); outcomes in
// tests/data/e2e/stream-<case>.txt, the cases explained in the README there.
#include "e2e_helpers.h"

namespace {

using namespace e2e;

struct Root : DeviceRoot {
  explicit Root(const std::string& name = "base") { lay(*this, "stream-" + name + ".before"); }
  std::string runWith(const Lines& args, const std::string& input = "") const {
    ProcessOptions options;
    options.input = input;
    return outcome(run(args, options), *this);
  }
  std::string stream(const std::string& bytes, Lines args = {}) const {
    args.push_back("-");
    return runWith(args, bytes);
  }
};

const Scenarios scenarios = {
    {"plain", [] { return Root().stream(fileOf(package("tool"))); }},
    {"image",
     [] {
       pkgwriter::PackageLayout layout = package("kernel");
       layout.image = std::string(9000, 'k'), layout.flags = pkgwriter::bootImageFlag;
       const Root root;
       const std::string seen = root.stream(fileOf(layout));
       EXPECT_EQ(readFile(root.at("/flash/var/pdb/kernel/image")), fileOf(layout));
       return seen;
     }},
    {"release-rules",
     [] {
       std::string seen;  // installed, streamed release, options
       for (const Lines& c : {Lines{"tool-1.0", "2.0"},
                              {"tool-1.0", "1.0"},
                              {"tool-1.0", "1.0", "--reinstall"},
                              {"tool-2.0", "1.0"},
                              {"tool-2.0", "1.0", "-down"}})
         seen += Root(c[0]).stream(fileOf(package("tool", c[1] == "1.0" ? v1 : v2)),
                                   Lines(c.begin() + 2, c.end()));
       return seen;
     }},
    {"broken-streams",
     [] {
       pkgwriter::PackageLayout layout = package("tool", v2);
       layout.fileTree = pkgwriter::FileTreeBuilder()
                             .addFile("bin/tool", "2\n")
                             .addFile("bin/extra", "x\n")
                             .compressed();
       const std::string good = fileOf(layout);
       pkgwriter::PackageLayout forged = layout;
       forged.trailer = std::string(pkgwriter::trailerPayloadSize, '\x5a');
       const std::size_t tree = good.find(*layout.fileTree);
       std::string seen;
       for (const std::string& bytes :
            {std::string("not a package"), good.substr(0, pkgwriter::fileHeaderSize + 10),
             fileOf(forged), good.substr(0, tree + layout.fileTree->size() / 2),
             pkgwriter::wrapFile(pkgwriter::buildPackageBody(layout) +
                                 pkgwriter::encodePart(pkgwriter::Text2Part, "more"))})
         seen += Root("tool-1.0").stream(bytes);
       return seen;
     }},
    {"conflicting-installed-disabled",
     [] { return Root("conflicting-installed-disabled").stream(fileOf(package("chrony"))); }},
    // Beside the installed record, which stays as it is.
    {"alternate-magic",
     [] {
       return Root("tool-1.0").stream(fileOf(package("tool", v2), pkgwriter::alternateMagic));
     }},
    {"bundle-default-disabled",
     [] {
       std::string seen;
       for (const Lines& order : {Lines{"core", "extra"}, Lines{"extra", "core"}})
         seen += Root().stream(
             bundleFile("suite", v1, {package(order[0]), package(order[1])}, {"extra"}));
       return seen;
     }},
    {"bundle-drops-member",
     [] {
       return Root("bundle-drops-member").stream(bundleFile("suite", v2, {package("core", v2)}));
     }},
    {"user-states-through-upgrade",
     [] {
       const Root root("user-states-through-upgrade");
       writeFile(root.at("/flash/rw/pckg/suite.tpk"),
                 bundleFile("suite", v1, {package("core"), package("extra")}, {"extra"}));
       return root.runWith({});
     }},
    {"schedule-files", [] { return Root("schedule-files").runWith({}); }},
    {"cleanup", [] { return Root("cleanup").runWith({"--cleanup"}); }},
    {"members-survive-bundle-plans",
     [] {
       const Root root("members-survive-bundle-plans");
       pkgwriter::PackageLayout b = package("b", v2);
       b.deps = {{pkgwriter::ListEntry{"a", v1}}};
       return root.stream(bundleFile("suite", v2, {b, package("a", v2)}));
     }},
};

RECORDED_SCENARIOS(StreamInstall, "stream-", scenarios);

}  // namespace
