// tpk plan against the installer: for each case a device root is prepared by
// real runs, then tpk plan --json predicts the next run, which runs on a copy.
// The predicted messages must equal the run's shown lines, the predicted
// states the listings before and after it, and the root must be left alone.
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "e2e/e2e_helpers.h"
#include "support/fingerprint.h"
#include "tpk/shown_lines.h"

namespace {

using namespace e2e;
using Files = std::vector<std::pair<std::string, std::string>>;  // device path, content

constexpr char staged[] = "/flash/rw/pckg/";

pkgwriter::PackageLayout pkg(const std::string& name, Version version = v1,
                             const std::vector<std::string>& deps = {},
                             const std::vector<std::string>& conflicts = {}) {
  pkgwriter::PackageLayout layout = package(name, version, "opt/");
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

// A case: runs of the installer that prepare the root, each with the files
// it finds, then the files the predicted run finds.
struct Case {
  std::vector<Files> setup;
  Files next;
};

const std::map<std::string, Case> cases = {
    {"plain", {{}, {{staged + std::string("a.tpk"), fileOf(pkg("a"))}}}},
    {"upgrade",
     {{{{"/flash/rw/pckg/a.tpk", fileOf(pkg("a"))}}},
      {{"/flash/rw/pckg/a.tpk", fileOf(pkg("a", v2))}}}},
    {"downgrade",
     {{{{"/flash/rw/pckg/a.tpk", fileOf(pkg("a", v2))}}},
      {{"/flash/rw/pckg/a.tpk", fileOf(pkg("a"))}}}},
    {"downgrade-marker",
     {{{{"/flash/rw/pckg/a.tpk", fileOf(pkg("a", v2))}}},
      {{"/flash/rw/pckg/a.tpk", fileOf(pkg("a"))}, {"/rw/DOWNGRADE", ""}}}},
    {"bundle",
     {{{{"/flash/rw/pckg/b.tpk", bundleFile("bnd", v1, {pkg("m1"), pkg("old")})}}},
      {{"/flash/rw/pckg/b.tpk", bundleFile("bnd", v2, {pkg("m1", v2), pkg("m2", v2)}, {"m2"})}}}},
    {"conflicts",
     {{{{"/flash/rw/pckg/b.tpk", fileOf(pkg("b"))}}},
      {{"/flash/rw/pckg/a.tpk", fileOf(pkg("a", v1, {}, {"b"}))}}}},
    {"dependencies",
     {{},
      {{"/flash/rw/pckg/q.tpk", fileOf(pkg("q", v1, {"p"}))},
       {"/flash/rw/pckg/r.tpk", fileOf(pkg("r", v1, {"missing"}))}}}},
    {"scheduled",
     {{{{"/flash/rw/pckg/x.tpk", fileOf(pkg("x"))}},
       {{"/flash/rw/pckg/y.tpk", fileOf(pkg("y"))}},
       {{"/flash/rw/pckg/z.tpk", fileOf(pkg("z", v1, {}, {}))}},
       {{"/flash/rw/pckg/w.tpk", fileOf(pkg("w", v1, {"z"}))}}},
      {{"/ram/pdb/x/schedule", "disable\n"},
       {"/ram/pdb/y/schedule", "uninstall\n"},
       {"/ram/pdb/z/schedule", "disable\n"}}}},
    {"broken", {{}, {{"/flash/rw/pckg/x.tpk", unsignedFile("x")}}}},
    {"image", {{}, {{"/flash/rw/pckg/img.tpk", imageFile("img")}}}},
};

void place(const DeviceRoot& root, const Files& files) {
  for (const auto& [path, content] : files) {
    makeDirs(std::filesystem::path(root.at(path)).parent_path());
    writeFile(root.at(path), content);
  }
}

// The lines Python's JSON parser reads out of tpk plan's object: "m <message>"
// each, "p <name> <state> <version> <state> <version>" each, "exit <n>".
std::string parsedPlan(const ScratchDir& scratch, const std::string& json) {
  const std::string file = scratch.path() + "/plan.json";
  writeFile(file, json);
  const std::string command =
      "python3 -c 'import json,sys\n"
      "d=json.load(open(sys.argv[1]))\n"
      "for m in d[\"messages\"]: print(\"m\", m)\n"
      "for p in d[\"packages\"]:\n"
      "  print(\"p\", p[\"name\"], *(p[s][k] for s in (\"before\",\"after\") for k in "
      "(\"state\",\"version\")))\n"
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

// "<name> <state> <version>" for each package the listing shows.
std::map<std::string, std::string> listed(const DeviceRoot& root) {
  std::map<std::string, std::string> states;
  const Lines lines = shownLines(root.run({"--show"}).output);
  for (std::size_t i = 2; i < lines.size(); ++i) {
    const std::string& line = lines[i];
    if (line.size() < 33) continue;
    const auto trimmed = [](std::string text) {
      text.erase(0, text.find_first_not_of(' '));
      return text;
    };
    states[trimmed(line.substr(0, 16))] =
        std::string(line[17] == 'X' ? "disabled " : "enabled ") + trimmed(line.substr(20, 13));
  }
  return states;
}

std::string stateOf(const std::map<std::string, std::string>& states, const std::string& name) {
  const auto found = states.find(name);
  return found == states.end() ? "absent None" : found->second;
}

class TpkPlan : public testing::TestWithParam<std::string> {};

TEST_P(TpkPlan, PredictsTheRun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const Case& c = cases.at(GetParam());
  const DeviceRoot root, copy;
  // A device with nothing installed would not run at all.
  layOut(root.path(), "/flash/var/pdb/base/files = \n/flash/var/pdb/base/version = 16803328 0|\n");
  for (const Files& files : c.setup) {
    place(root, files);
    ASSERT_EQ(0, root.run({"-q"}).status);
  }
  place(root, c.next);
  const std::string untouched = fingerprint(root.path());
  const ProcessResult planned =
      runBuiltProgram(TPK_BINARY, {"tpk", "plan", "--root", root.path(), "--json"});
  ASSERT_NE(planned.status, -1) << planned.errors;
  EXPECT_EQ(untouched, fingerprint(root.path())) << "tpk plan changed the root";
  std::filesystem::copy(
      root.path(), copy.path(),
      std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  const auto before = listed(root);  // a listing consumes the schedule files
  const ProcessResult run = copy.run({});
  const auto after = listed(copy);

  std::string expected;
  for (const std::string& line : tpk::shownLines(run.output)) expected += "m " + line + "\n";
  std::set<std::string> names;
  for (const auto& states : {before, after})
    for (const auto& [name, state] : states) names.insert(name);
  std::string predicted;
  std::istringstream lines(parsedPlan(root, planned.output));
  std::map<std::string, std::string> predictedStates;
  std::string exitLine;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("m ", 0) == 0) predicted += line + "\n";
    if (line.rfind("p ", 0) == 0) {
      std::istringstream words(line.substr(2));
      std::string name, bs, bv, as, av;
      words >> name >> bs >> bv >> as >> av;
      predictedStates[name] = bs + " " + bv + " -> " + as + " " + av;
    }
    if (line.rfind("exit ", 0) == 0) exitLine = line;
  }
  EXPECT_EQ(expected, predicted);
  std::map<std::string, std::string> actualStates;
  for (const std::string& name : names)
    actualStates[name] = stateOf(before, name) + " -> " + stateOf(after, name);
  EXPECT_EQ(actualStates, predictedStates);
  EXPECT_EQ("exit " + std::to_string(run.status), exitLine);
}

INSTANTIATE_TEST_SUITE_P(Cases, TpkPlan, testing::ValuesIn([] {
                           std::vector<std::string> names;
                           for (const auto& [name, c] : cases) names.push_back(name);
                           return names;
                         }()),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
