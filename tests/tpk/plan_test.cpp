// tpk plan against the installer. For each case two equal device roots are
// prepared by real runs; tpk plan --json predicts the next run on one, the
// installer makes it on the other. The predicted messages must equal the
// run's shown lines, the predicted states the listings before and after it,
// the predicted exit its status, and tpk plan must leave its root alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "pkgwriter/pkgwriter.h"
#include "support/device_tree.h"
#include "support/fingerprint.h"
#include "support/installer_process.h"
#include "tpk/shown_lines.h"
#include "tpk/version_text.h"

namespace {

using namespace testing_support;
using Lines = std::vector<std::string>;
constexpr Version v1 = makeVersion(1, 0, Final, 0), v2 = makeVersion(2, 0, Final, 0);

// A signed package holding the one file opt/<name>, "<name> <version>\n".
pkgwriter::PackageLayout package(const std::string& name, Version version) {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = 1704067200;
  layout.fileTree = pkgwriter::FileTreeBuilder()
                        .addFile("opt/" + name, name + " " + versionText(version) + "\n")
                        .compressed();
  layout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  return layout;
}

std::string fileOf(const pkgwriter::PackageLayout& layout) {
  return pkgwriter::buildPackageFile(layout, pkgwriter::standardMagic);
}

// A bundle of the members; defaultDisabled becomes its default-disabled list.
std::string bundleFile(const std::string& name, Version version,
                       const std::vector<pkgwriter::PackageLayout>& members,
                       const Lines& defaultDisabled = {}) {
  pkgwriter::BundleLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = 1704067200;
  if (!defaultDisabled.empty()) layout.defaultDisabled.emplace();
  for (const std::string& member : defaultDisabled) layout.defaultDisabled->push_back({member});
  for (const auto& member : members) layout.members.push_back(pkgwriter::buildPackageBody(member));
  return pkgwriter::buildBundleFile(layout);
}

using Files = std::vector<std::pair<std::string, std::string>>;  // device path, content

pkgwriter::PackageLayout pkg(const std::string& name, Version version = v1, const Lines& deps = {},
                             const Lines& conflicts = {}) {
  pkgwriter::PackageLayout layout = package(name, version);
  if (!deps.empty()) layout.deps.emplace();
  for (const std::string& d : deps) layout.deps->push_back({d});
  if (!conflicts.empty()) layout.conflicts.emplace();
  for (const std::string& c : conflicts) layout.conflicts->push_back({c});
  return layout;
}

std::string unsignedFile(const std::string& name) {
  pkgwriter::PackageLayout layout = pkg(name);
  layout.signer = {};
  return fileOf(layout);
}

std::string imageFile(const std::string& name) {
  pkgwriter::PackageLayout layout = pkg(name);
  layout.image = "image of " + name;
  return fileOf(layout);
}

std::string forArch(const std::string& name, const std::string& arch) {
  pkgwriter::PackageLayout layout = pkg(name);
  layout.architecture = arch;
  return fileOf(layout);
}

std::string staged(const std::string& name) { return "/flash/rw/pckg/" + name + ".tpk"; }

// Runs of the installer that prepare the root, each with the files it finds;
// the files the predicted run finds (named to tpk plan instead when given);
// tpk plan's own status; the device's architecture when not the default;
// links (device path, target) made with the files the predicted run finds.
struct Case {
  std::vector<Files> setup;
  Files next;
  int status = 0;
  bool given = false;
  std::string arch = "";
  Files links = {};
};

const std::map<std::string, Case> cases = {
    {"plain", {{}, {{staged("a"), fileOf(pkg("a"))}}}},
    {"given", {{}, {{staged("a"), fileOf(pkg("a"))}}, 0, true}},
    {"upgrade", {{{{staged("a"), fileOf(pkg("a"))}}}, {{staged("a"), fileOf(pkg("a", v2))}}}},
    {"downgrade", {{{{staged("a"), fileOf(pkg("a", v2))}}}, {{staged("a"), fileOf(pkg("a"))}}, 1}},
    {"downgrade-marker",
     {{{{staged("a"), fileOf(pkg("a", v2))}}},
      {{staged("a"), fileOf(pkg("a"))}, {"/rw/DOWNGRADE", ""}}}},
    // old is dropped from the bundle, m2 comes disabled by default.
    {"bundle",
     {{{{staged("b"), bundleFile("bnd", v1, {pkg("m1"), pkg("old")})}}},
      {{staged("b"), bundleFile("bnd", v2, {pkg("m1", v2), pkg("m2", v2)}, {"m2"})}}}},
    {"conflicts",
     {{{{staged("b"), fileOf(pkg("b"))}}}, {{staged("a"), fileOf(pkg("a", v1, {}, {"b"}))}}}},
    {"dependencies",
     {{},
      {{staged("q"), fileOf(pkg("q", v1, {"p"}))},
       {staged("p"), fileOf(pkg("p"))},
       {staged("r"), fileOf(pkg("r", v1, {"missing"}))}},
      1}},
    // w needs z, which therefore stays enabled; v was disabled by a schedule.
    {"scheduled",
     {{{{staged("x"), fileOf(pkg("x"))}},
       {{staged("y"), fileOf(pkg("y"))}},
       {{staged("z"), fileOf(pkg("z"))}},
       {{staged("w"), fileOf(pkg("w", v1, {"z"}))}},
       {{staged("v"), fileOf(pkg("v"))}},
       {{"/ram/pdb/v/schedule", "disable\n"}}},
      {{"/ram/pdb/v/schedule", "enable\n"},
       {"/ram/pdb/x/schedule", "disable\n"},
       {"/ram/pdb/y/schedule", "uninstall\n"},
       {"/ram/pdb/z/schedule", "disable\n"}}}},
    {"broken", {{}, {{staged("x"), unsignedFile("x")}}, 1}},
    {"image", {{}, {{staged("img"), imageFile("img")}}}},
    {"arch", {{}, {{staged("a"), forArch("a", "powerpc")}}, 0, false, "powerpc"}},
    // Staged links lead where they lead on the device, never off the root.
    {"links",
     {{},
      {{"/store/a.tpk", fileOf(pkg("a"))}, {"/store/b.tpk", fileOf(pkg("b"))}},
      0,
      false,
      "",
      {{staged("a"), "/store/a.tpk"}, {staged("b"), "../../../../../store/b.tpk"}}}},
};

void place(const std::string& root, const Files& files) {
  for (const auto& [path, content] : files) {
    makeDirs(std::filesystem::path(root + path).parent_path());
    writeFile(root + path, content);
  }
}

// The root before the predicted run. Two roots made alike list their staged
// files in the same order.
void prepare(const DeviceRoot& root, const Case& c, bool withNext) {
  // A device with nothing installed would not run at all.
  layOut(root.path(), "/flash/var/pdb/base/files = \n/flash/var/pdb/base/version = 16803328 0|\n");
  for (const Files& files : c.setup) {
    place(root.path(), files);
    ASSERT_EQ(0, root.run({"-q"}).status);
  }
  if (!withNext) return;
  place(root.path(), c.next);
  for (const auto& [path, target] : c.links) {
    makeDirs(std::filesystem::path(root.path() + path).parent_path());
    std::filesystem::create_symlink(target, root.path() + path);
  }
}

ProcessResult plan(const DeviceRoot& root, const Case& c, const ScratchDir& outside,
                   const Lines& options) {
  Lines args = {TPK_BINARY, "plan", "--root", root.path()};
  if (!c.arch.empty()) args.insert(args.end(), {"--arch", c.arch});
  args.insert(args.end(), options.begin(), options.end());
  if (c.given) {
    place(outside.path(), c.next);
    for (const auto& [path, content] : c.next) args.push_back(outside.path() + path);
  }
  return runBuiltProgram(TPK_BINARY, args);
}

// Python's JSON parser reads tpk plan's object: "m <message>" each,
// "p <name> <state> <version> -> <state> <version>" each, "exit <n>".
std::string parsedPlan(const ScratchDir& scratch, const std::string& json) {
  const std::string file = scratch.path() + "/plan.json";
  writeFile(file, json);
  const std::string command =
      "python3 -c 'import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for m in d[\"messages\"]: print(\"m\", m)\n"
      "for p in sorted(d[\"packages\"], key=lambda p: p[\"name\"]):\n"
      "  b, a = p[\"before\"], p[\"after\"]\n"
      "  print(\"p\", p[\"name\"], b[\"state\"], b[\"version\"], \"->\", a[\"state\"], "
      "a[\"version\"])\n"
      "print(\"exit\", d[\"exit\"])' " +
      file;
  std::string text;
  if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
      text.append(buffer, n);
    ::pclose(pipe);
  }
  return text;
}

// "<state> <version>" by name, as the listing shows each package.
std::map<std::string, std::string> listed(const DeviceRoot& root) {
  std::map<std::string, std::string> states;
  const Lines lines = tpk::shownLines(root.run({"--show"}).output);
  const auto trimmed = [](std::string text) {
    text.erase(0, text.find_first_not_of(' '));
    return text;
  };
  for (std::size_t i = 2; i < lines.size(); ++i)
    states[trimmed(lines[i].substr(0, 16))] =
        std::string(lines[i].at(17) == 'X' ? "disabled " : "enabled ") +
        trimmed(lines[i].substr(20, 13));
  return states;
}

// The outcome in the parsed plan's form.
std::string outcome(const std::string& output, const std::map<std::string, std::string>& before,
                    const std::map<std::string, std::string>& after, int status) {
  std::string text;
  for (const std::string& line : tpk::shownLines(output)) text += "m " + line + "\n";
  std::set<std::string> names;
  for (const auto* states : {&before, &after})
    for (const auto& [name, state] : *states) names.insert(name);
  const auto stateOf = [](const auto& states, const std::string& name) {
    const auto found = states.find(name);
    return found == states.end() ? std::string("absent None") : found->second;
  };
  for (const std::string& name : names)
    text += "p " + name + " " + stateOf(before, name) + " -> " + stateOf(after, name) + "\n";
  return text + "exit " + std::to_string(status) + "\n";
}

class TpkPlan : public testing::TestWithParam<std::string> {};

TEST_P(TpkPlan, PredictsTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Case& c = cases.at(GetParam());
  const DeviceRoot root, copy;
  const ScratchDir outside;
  prepare(root, c, !c.given);
  prepare(copy, c, true);
  const std::string untouched = fingerprint(root.path());
  const ProcessResult planned = plan(root, c, outside, {"--json"});
  EXPECT_EQ(c.status, planned.status) << planned.errors;
  EXPECT_EQ(untouched, fingerprint(root.path())) << "tpk plan changed its root";

  if (c.given) place(root.path(), c.next);
  const auto before = listed(root);
  ProcessOptions environment;
  if (!c.arch.empty()) environment.environment["arch"] = c.arch;
  const ProcessResult run = copy.run({}, environment);
  const std::string predicted = parsedPlan(outside, planned.output);
  ASSERT_FALSE(predicted.empty()) << "python3 could not read: " << planned.output;
  EXPECT_EQ(outcome(run.output, before, listed(copy), run.status), predicted);
}

INSTANTIATE_TEST_SUITE_P(Cases, TpkPlan, testing::ValuesIn([] {
                           Lines names;
                           for (const auto& [name, c] : cases) names.push_back(name);
                           return names;
                         }()),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Without --json: the messages, an empty line, and a row for each package
// whose state changes.
TEST(TpkPlan, TableAfterTheMessages) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Case& c = cases.at("conflicts");
  const DeviceRoot root;
  const ScratchDir outside;
  prepare(root, c, true);
  const ProcessResult planned = plan(root, c, outside, {});
  const Lines lines = tpk::shownLines(planned.output);
  ASSERT_GE(lines.size(), 5u) << planned.output;
  EXPECT_EQ((Lines{"installed a-1.0", "",
                   "Name             Before                 After                  Action",
                   "b                enabled 1.0            disabled 1.0           disable",
                   "a                absent                 enabled 1.0            install"}),
            Lines(lines.end() - 5, lines.end()));
}

}  // namespace
