// Runs every case file of tests/plan/cases (format in the README there): an
// installed set, one operation and every section it must produce, console bytes included.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "files/device_root.h"
#include "plan/candidate_order.h"
#include "plan/install_check.h"
#include "plan/relations.h"
#include "plan/scheduled_actions.h"
#include "plan/transaction.h"
#include "support/captured_console.h"
#include "support/fake_flash.h"
#include "support/scratch_dir.h"
#include "tpk/relation_text.h"
#include "tpk/version_text.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;
using Sections = std::map<std::string, std::string>;
const char* const actionNames[] = {"none", "uninstall", "enable", "disable"};

// Each section as text: its header words on a first line, empty if none, then its lines.
Sections readCase(const fs::path& path) {
  Sections file;
  std::string name;  // lines before the first section land in "", an unknown section
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    const std::size_t space = std::min(line.find(' '), line.size());
    if (line.starts_with('@'))
      file[name = line.substr(1, space - 1)] = line.substr(space + (space < line.size())) + "\n";
    else if (!line.empty() && line[0] != '#')
      file[name] += line + "\n";
  }
  return file;
}

Words headerOf(const std::string& section) {
  return testing_support::wordsOf(section.substr(0, section.find('\n')));
}

// name release[@buildTime] word...; release "placeholder" is the all-ones one.
template <class Record>
std::unique_ptr<Record> parseRecord(const std::string& line) {
  std::istringstream in(line);
  std::string release, word;
  auto record = std::make_unique<Record>();
  in >> record->name >> release;
  InstalledPackage* installed = dynamic_cast<InstalledPackage*>(record.get());
  const std::size_t at = release.find('@');
  if (at != release.npos) record->buildTime = std::stoul(release.substr(at + 1));
  if (release == "placeholder")
    record->version = record->buildTime = placeholderRelease;
  else
    EXPECT_TRUE(tpk::parseVersionText(release.substr(0, at), record->version)) << line;
  while (in >> word) {
    const std::size_t eq = word.find('=');
    const std::string key = word.substr(0, eq), value = eq == word.npos ? "" : word.substr(eq + 1);
    const std::string keys =
        installed ? "deps provides conflicts arch isbundle bundle disabled files action"
                  : "deps provides conflicts arch isbundle";
    EXPECT_TRUE(std::ranges::count(testing_support::wordsOf(keys), key)) << "unknown word " << word;
    for (auto [name, list] : {std::pair{"deps", &record->deps},
                              {"provides", &record->provides},
                              {"conflicts", &record->conflicts}}) {
      pkgwriter::ListEntry entry;
      std::string error;
      if (key != name) continue;
      EXPECT_TRUE(tpk::parseRelation(value, key == "provides", entry, error))
          << value << ": " << error;
      list->push_back({entry.name, entry.min, entry.max, entry.extra});
    }
    if (key == "arch") record->architecture = value;
    if (key == "isbundle") record->isBundle = true;
    if (!installed) continue;
    if (key == "bundle") installed->bundle.name = value;
    if (key == "disabled") installed->disabled = true;
    if (key == "files") installed->files.insert(value);
    if (key == "action")
      installed->action = ScheduledAction(std::ranges::find(actionNames, value) - actionNames);
  }
  return record;
}

// Records, each followed by its members on lines beginning with "+ ".
template <class Record>
std::vector<std::unique_ptr<Record>> parseRecords(const std::string& section) {
  std::vector<std::unique_ptr<Record>> records;
  std::istringstream lines(section.substr(section.find('\n') + 1));  // after the header line
  for (std::string line; std::getline(lines, line);) {
    if (!line.starts_with("+ "))
      records.push_back(parseRecord<Record>(line));
    else if (!records.empty())
      records.back()->members.push_back(parseRecord<Package>(line.substr(2)));
  }
  return records;
}

// The console's bytes as case lines: ESC as \e, CR as \r, a backslash doubled.
std::string caseText(const std::string& bytes) {
  std::string out;
  for (char c : bytes)
    out += c == '\x1b' ? "\\e" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
  return out;
}

// The "name-version" of each record ("none" for a null one) on one line, no line for none.
std::string labels(const auto& records) {
  std::string line;
  for (const auto& record : records)
    line += (line.empty() ? "" : " ") + (record ? nameVersionText(*record) : "none");
  return line.empty() ? "" : line + "\n";
}

class PlanCase : public testing::TestWithParam<std::string> {};

TEST_P(PlanCase, Produces) {
  Sections c = readCase(PLAN_CASES_DIR "/" + GetParam() + ".case");
  std::map<std::string, std::string> got;  // the text of each section produced
  testing_support::CapturedConsole out;
  out.console.arch = c.count("ARCH") ? headerOf(c["ARCH"])[0] : "i386";
  for (auto& record : parseRecords<InstalledPackage>(c["INSTALLED"]))
    out.console.packages.append(std::move(record));
  testing_support::FakeFlash device;
  ScopedFlashPlatform useDevice(device);
  for (const std::string& word : headerOf(c["DEVICE"])) {
    if (word == "erase=256k")
      device.eraseSize = 0x40000;
    else
      EXPECT_TRUE(word.starts_with("min=") &&
                  tpk::parseVersionText(word.substr(4), device.minimum));
  }
  std::string op;
  for (const char* name : {"PLAN", "APPLY", "CHECK", "ORDER", "ACTIVE"})
    if (c.count(name)) op = name;
  ASSERT_FALSE(op.empty()) << "no operation";
  const Words args = headerOf(c[op]);
  const auto has = [&](const char* word) { return std::count(args.begin(), args.end(), word) > 0; };
  // What was produced must equal its section; every other section must be an input.
  const auto compare = [&] {
    got["OUTPUT"] = caseText(out.written());
    for (const auto& [name, text] : got)
      EXPECT_EQ(text, c[name].substr(c[name].starts_with('\n'))) << "@" << name;
    for (const auto& [name, section] : c)
      EXPECT_TRUE(got.count(name) || name == op || name == "ARCH" || name == "DEVICE" ||
                  name == "INSTALLED")
          << "unknown section @" << name;
  };

  if (op == "PLAN") {
    RecordList removals, enables;
    planActions(out.console, removals, enables, has("silent") ? 0 : 1);
    for (const auto& record : out.console.packages)
      got["ACTIONS"] += nameVersionText(*record) + " " + actionNames[int(record->action)] + "\n";
    got["REMOVALS"] = labels(removals);
    got["ENABLES"] = labels(enables);
  } else if (op == "CHECK") {
    const char* const flagNames[] = {"allowUpgrade", "allowDowngrade", "reinstall", "quietRefusals",
                                     "quietConflicts"};
    RunFlags flags = 0;
    for (int bit = 0; bit < 5; ++bit) flags |= has(flagNames[bit]) ? 1u << bit : 0;
    const char* const bitNames[] = {"Upgrade", "Older",       "Same",
                                    "Refused", "Conflicting", "BundleChange"};
    for (const auto& record : parseRecords<InstalledPackage>(c["CHECK"])) {
      const CheckResult result = checkInstall(out.console, *record, has("inBundle"), flags);
      std::string line;
      for (int bit = 0; bit < 6; ++bit)
        if (result & (1u << bit)) line += (line.empty() ? "" : " ") + std::string(bitNames[bit]);
      got["RESULT"] += (line.empty() ? "none" : line) + "\n";
    }
  } else if (op == "ACTIVE") {
    std::vector<const InstalledPackage*> found;
    for (const std::string& name : args) found.push_back(findActive(out.console, name));
    got["RESULT"] = labels(found);
  } else if (op == "ORDER") {
    auto candidates = parseRecords<PackageFile>(c["ORDER"]);
    orderCandidates(out.console, candidates, has("olderWins"), has("report"));
    got["RESULT"] = labels(candidates);
  } else {
    using namespace testing_support;
    ScratchDir root;
    for (const auto& record : out.console.packages) {
      const std::string entry = root / "flash/var/pdb/" + record->name;
      makeDirs(entry);
      writeFile(entry + "/version", "");
      if (record->disabled) writeFile(entry + "/disabled", "auto\n");
      for (const std::string& file : record->files) {
        makeDirs(fs::path(root / "flash" + file).parent_path());
        writeFile(root / "flash" + file, "");
      }
    }
    const ScopedDeviceRoot device(root.path());
    ASSERT_TRUE(device.opened());
    DeviceFlashEffects flash;
    const PlanRun changed = applyScheduledActions(out.console, flash, has("silent") ? 0 : 1);
    got["RESULT"] = changed == PlanRun::Executed ? "changed\n" : "unchanged\n";
    for (const auto& record : out.console.packages)
      got["AFTER"] += nameVersionText(*record) + (record->disabled ? " disabled " : " enabled ") +
                      actionNames[int(record->action)] + "\n";
    std::set<std::string> files;  // sorted, as device paths
    for (const auto& entry : fs::recursive_directory_iterator(root / "flash"))
      if (entry.is_regular_file()) files.insert(entry.path().string().substr(root.path().size()));
    for (const std::string& file : files) got["FILES"] += file + "\n";
  }
  compare();
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanCase,
                         testing::ValuesIn(testing_support::namesEndingIn(PLAN_CASES_DIR, ".case")),
                         [](const auto& info) { return testing_support::testName(info.param); });

}  // namespace
