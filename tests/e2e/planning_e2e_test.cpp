// What planning does around an installation, seen through "installer -r
// <root>": outcomes in tests/data/e2e/planning-<case>.txt, the cases explained
// in the README there.
#include "e2e_helpers.h"

namespace {

using namespace e2e;

struct Root : DeviceRoot {
  explicit Root(const std::string& name = "base") { lay(*this, "planning-" + name + ".before"); }
  std::string stream(const std::string& bytes) const {
    ProcessOptions options;
    options.input = bytes;
    return outcome(run({"-"}, options), *this);
  }
};

// The bundle suite of the one member extra, which it lists as disabled by
// default; with image set, an image bundle.
std::string disabledOnlyBundle(bool image) {
  pkgwriter::BundleLayout layout;
  layout.name = "suite";
  layout.version = v1;
  layout.buildTime = 1704067200;
  if (image) layout.image = "suite image";
  layout.defaultDisabled = {{{"extra"}}};
  layout.members = {pkgwriter::buildPackageBody(package("extra"))};
  return pkgwriter::buildBundleFile(layout);
}

const Scenarios scenarios = {
    {"bundle-of-disabled-members",
     [] {
       return Root().stream(disabledOnlyBundle(false)) + Root().stream(disabledOnlyBundle(true));
     }},
    {"new-record-disabled-by-plan",
     [] {
       pkgwriter::PackageLayout papp = package("papp");
       papp.deps = {{{"rlib"}}};
       papp.conflicts = {{{"qsrv"}}};
       return Root("chain").stream(fileOf(papp));
     }},
    // Only the release it replaces provides what it needs.
    {"new-record-needs-what-it-replaces",
     [] {
       pkgwriter::PackageLayout tool = package("tool", v2);
       tool.deps = {{{"tool-api"}}};
       return Root("tool").stream(fileOf(tool));
     }},
    {"lost-provider-conflicting",
     [] {
       const Root root("chain");
       pkgwriter::PackageLayout nsrv = package("nsrv");
       nsrv.conflicts = {{{"qsrv"}}};
       nsrv.provides = {{{"rlib"}}};
       writeFile(root.at("/flash/rw/pckg/nsrv.tpk"), fileOf(nsrv));
       return outcome(root.run({}), root);
     }},
    {"image-not-saved",
     [] {
       pkgwriter::PackageLayout kernel = package("kernel");
       kernel.image = "kernel image";
       const Root root;
       makeDirs(root.at("/flash/var/pdb/kernel/image"));
       return root.stream(fileOf(kernel));
     }},
};

RECORDED_SCENARIOS(Planning, "planning-", scenarios);

}  // namespace
