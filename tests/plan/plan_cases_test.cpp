// Runs every case file of tests/plan/cases (format in the README there): an
// installed set, one operation (planning, applying, the install check,
// candidate ordering, the active lookup) and everything it must produce,
// console bytes included.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <type_traits>

#include "install/flash_platform.h"
#include "support/chroot_runner.h"
#include "plan/candidate_order.h"
#include "plan/install_check.h"
#include "plan/relations.h"
#include "plan/scheduled_actions.h"
#include "plan/transaction.h"
#include "support/scratch_dir.h"
#include "tpk/relation_text.h"
#include "tpk/version_text.h"

namespace {

namespace fs = std::filesystem;
using Words = std::vector<std::string>;
struct Section {
  std::string args;
  Words lines;
};
using CaseFile = std::map<std::string, Section>;

const char* const actionNames[] = {"none", "uninstall", "enable", "disable"};

Words split(const std::string& text) {
  std::istringstream in(text);
  Words words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

// Header words and body words of a section together: "@RESULT a b" or a body.
Words wordsOf(const Section& section) {
  Words words = split(section.args);
  for (const std::string& line : section.lines)
    for (const std::string& word : split(line)) words.push_back(word);
  return words;
}

const char* const sectionNames[] = {"ARCH",    "DEVICE", "INSTALLED", "PLAN",    "APPLY",
                                    "CHECK",   "ORDER",  "ACTIVE",    "ACTIONS", "REMOVALS",
                                    "ENABLES", "RESULT", "AFTER",     "FILES",   "OUTPUT"};

CaseFile readCase(const fs::path& path) {
  CaseFile file;
  Section* section = nullptr;
  std::ifstream in(path);
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '@') {
      const std::size_t space = line.find(' ');
      const std::string name = line.substr(1, space - 1);
      EXPECT_NE(std::find(std::begin(sectionNames), std::end(sectionNames), name),
                std::end(sectionNames))
          << "unknown section " << line;
      section = &file[name];
      section->args = space == std::string::npos ? "" : line.substr(space + 1);
    } else if (section) {
      section->lines.push_back(line);
    }
  }
  return file;
}

Dependency relation(const std::string& text, bool withExtra) {
  pkgwriter::ListEntry entry;
  std::string error;
  EXPECT_TRUE(tpk::parseRelation(text, withExtra, entry, error)) << text << ": " << error;
  return {entry.name, entry.min, entry.max, entry.extra};
}

// name release[@buildTime] word...; release "placeholder" is the all-ones one.
template <class Record>
std::unique_ptr<Record> parseRecord(const std::string& line) {
  std::istringstream in(line);
  std::string name, release, word;
  in >> name >> release;
  auto record = std::make_unique<Record>();
  record->name = name;
  if (release == "placeholder") {
    record->version = record->buildTime = placeholderRelease;
  } else {
    const std::size_t at = release.find('@');
    EXPECT_TRUE(tpk::parseVersionText(release.substr(0, at), record->version)) << line;
    if (at != std::string::npos) record->buildTime = std::stoul(release.substr(at + 1));
  }
  while (in >> word) {
    const std::size_t eq = word.find('=');
    const std::string key = word.substr(0, eq), value = eq == word.npos ? "" : word.substr(eq + 1);
    if (key == "deps")
      record->deps.push_back(relation(value, false));
    else if (key == "provides")
      record->provides.push_back(relation(value, true));
    else if (key == "conflicts")
      record->conflicts.push_back(relation(value, false));
    else if (key == "arch")
      record->architecture = value;
    else if (key == "isbundle")
      record->isBundle = true;
    else if constexpr (std::is_same_v<Record, InstalledPackage>) {
      if (key == "bundle")
        record->bundle.name = value;
      else if (key == "disabled")
        record->disabled = true;
      else if (key == "files")
        record->files.insert(value);
      else if (key == "action")
        record->action =
            ScheduledAction(std::find(actionNames, actionNames + 4, value) - actionNames);
      else
        ADD_FAILURE() << "unknown word " << word;
    } else
      ADD_FAILURE() << "unknown word " << word;
  }
  return record;
}

// Records, each followed by its members on lines beginning with "+ ".
template <class Record>
std::vector<std::unique_ptr<Record>> parseRecords(const Words& lines) {
  std::vector<std::unique_ptr<Record>> records;
  for (const std::string& line : lines) {
    if (!line.starts_with("+ "))
      records.push_back(parseRecord<Record>(line));
    else if (!records.empty())
      records.back()->members.push_back(parseRecord<Package>(line.substr(2)));
  }
  return records;
}

// The console's bytes as case text: ESC as \e, CR as \r, a backslash doubled.
struct CapturedConsole {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* file = open_memstream(&buffer, &size);
  Console console{file};
  ~CapturedConsole() {
    std::fclose(file);
    std::free(buffer);
  }
  std::string text() {
    std::fflush(file);
    std::string out;
    for (char c : std::string(buffer, size))
      out += c == '\x1b' ? "\\e" : c == '\r' ? "\\r" : c == '\\' ? "\\\\" : std::string(1, c);
    return out;
  }
};

std::string outputOf(const Section& section) {
  std::string text;
  for (const std::string& line : section.lines) text += line + "\n";
  return text;
}

Words labels(const auto& records) {
  Words words;
  for (const auto& record : records) words.push_back(nameVersionText(*record));
  return words;
}

Words filesBelow(const std::string& dir) {
  Words files;
  for (const auto& entry : fs::recursive_directory_iterator(dir))
    if (entry.is_regular_file()) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

struct FakeDevice : FlashPlatform {
  Version minimum = 0;
  std::optional<std::uint32_t> eraseSize;
  std::optional<std::uint32_t> mtdEraseSize() override { return eraseSize; }
  std::uint32_t minimumVersionValue() override { return minimum; }
  std::optional<int> featureWord() override { return std::nullopt; }
  std::uint32_t processorVersion() override { return 0; }
};

class PlanCase : public testing::TestWithParam<fs::path> {
protected:
  void load(Console& console) {
    console.arch = c_.count("ARCH") ? c_["ARCH"].args : "i386";
    for (auto& record : parseRecords<InstalledPackage>(c_["INSTALLED"].lines))
      console.packages.append(std::move(record));
  }
  CaseFile c_ = readCase(GetParam());
};

TEST_P(PlanCase, Produces) {
  CapturedConsole out;
  load(out.console);
  FakeDevice device;
  ScopedFlashPlatform useDevice(device);
  for (const std::string& word : split(c_["DEVICE"].args)) {
    if (word == "erase=256k")
      device.eraseSize = 0x40000;
    else
      EXPECT_TRUE(word.starts_with("min=") &&
                  tpk::parseVersionText(word.substr(4), device.minimum));
  }
  std::string op;
  for (const char* name : {"PLAN", "APPLY", "CHECK", "ORDER", "ACTIVE"})
    if (c_.count(name)) op = name;
  ASSERT_FALSE(op.empty()) << "no operation";
  const Words args = split(c_[op].args);
  const auto has = [&](const char* word) { return std::count(args.begin(), args.end(), word) > 0; };

  if (op == "PLAN") {
    RecordList removals, enables;
    planActions(out.console, removals, enables, has("silent") ? 0 : 1);
    Words actions;
    for (const auto& record : out.console.packages)
      actions.push_back(nameVersionText(*record) + " " + actionNames[int(record->action)]);
    EXPECT_EQ(actions, c_["ACTIONS"].lines);
    EXPECT_EQ(labels(removals), wordsOf(c_["REMOVALS"]));
    EXPECT_EQ(labels(enables), wordsOf(c_["ENABLES"]));
  } else if (op == "CHECK") {
    RunFlags flags = 0;
    const std::pair<const char*, RunFlags> flagNames[] = {{"allowUpgrade", allowUpgrade},
                                                          {"allowDowngrade", allowDowngrade},
                                                          {"reinstall", reinstall},
                                                          {"quietRefusals", quietRefusals},
                                                          {"quietConflicts", quietConflicts}};
    for (const auto& [name, bit] : flagNames)
      if (has(name)) flags |= bit;
    const char* const bitNames[] = {"Upgrade", "Older",       "Same",
                                    "Refused", "Conflicting", "BundleChange"};
    Words results;  // one line per checked record
    for (const auto& record : parseRecords<InstalledPackage>(c_["CHECK"].lines)) {
      const CheckResult result = checkInstall(out.console, *record, has("inBundle"), flags);
      std::string line;
      for (int bit = 0; bit < 6; ++bit)
        if (result & (1u << bit)) line += (line.empty() ? "" : " ") + std::string(bitNames[bit]);
      results.push_back(line.empty() ? "none" : line);
    }
    EXPECT_EQ(results, c_["RESULT"].lines);
  } else if (op == "ACTIVE") {
    Words found;
    for (const std::string& name : split(c_["ACTIVE"].args)) {
      const InstalledPackage* record = findActive(out.console, name);
      found.push_back(record ? nameVersionText(*record) : "none");
    }
    EXPECT_EQ(found, wordsOf(c_["RESULT"]));
  } else if (op == "ORDER") {
    auto candidates = parseRecords<PackageFile>(c_["ORDER"].lines);
    orderCandidates(out.console, candidates, has("olderWins"), has("report"));
    EXPECT_EQ(labels(candidates), wordsOf(c_["RESULT"]));
  } else {
    testing_support::ScratchDir root;
    for (const auto& record : parseRecords<InstalledPackage>(c_["INSTALLED"].lines)) {
      const std::string entry = root / "flash/var/pdb/" + record->name;
      testing_support::makeDirs(entry);
      testing_support::writeFile(entry + "/version", "");
      if (record->disabled) testing_support::writeFile(entry + "/disabled", "auto\n");
      for (const std::string& file : record->files) {
        testing_support::makeDirs(fs::path(root / "flash" + file).parent_path());
        testing_support::writeFile(root / "flash" + file, "");
      }
    }
    RUN_CHROOTED(root.path(), [&] {
      const bool changed = applyScheduledActions(out.console, has("silent") ? 0 : 1);
      Words after;
      for (const auto& record : out.console.packages)
        after.push_back(nameVersionText(*record) + (record->disabled ? " disabled " : " enabled ") +
                        actionNames[int(record->action)]);
      EXPECT_EQ(Words{changed ? "changed" : "unchanged"}, wordsOf(c_["RESULT"]));
      EXPECT_EQ(after, c_["AFTER"].lines);
      EXPECT_EQ(filesBelow("/flash"), c_["FILES"].lines);
      EXPECT_EQ(out.text(), outputOf(c_["OUTPUT"]));
    });
    return;
  }
  EXPECT_EQ(out.text(), outputOf(c_["OUTPUT"]));
}

std::vector<fs::path> caseFiles() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(PLAN_CASES_DIR))
    if (entry.path().extension() == ".case") files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

INSTANTIATE_TEST_SUITE_P(Cases, PlanCase, testing::ValuesIn(caseFiles()),
                         [](const testing::TestParamInfo<fs::path>& info) {
                           std::string name = info.param.stem().string();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

}  // namespace
