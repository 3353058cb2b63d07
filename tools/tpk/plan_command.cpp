// tpk plan: what an upgrade run would do to a copy of a device's root, planned
// on the installer's own path with steps that change nothing.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "files/device_root.h"
#include "pdb/database_loader.h"
#include "pdb/package_dir.h"
#include "pkgfile/regular_file.h"
#include "tpk/command_line.h"
#include "tpk/commands.h"
#include "tpk/dry_effects.h"
#include "tpk/json_object.h"
#include "tpk/shown_lines.h"
#include "upgrade/upgrade_run.h"

namespace tpk {

namespace {

// A package as the installer's listing shows it.
struct Listed {
  bool present = false;
  bool disabled = false;
  Version version = 0;
};

struct PackageChange {
  std::string name;
  Listed before, after;
};

struct Plan {
  std::vector<std::string> messages;
  std::vector<PackageChange> packages;  // every package listed before or after
  bool halted = false;
  int kept = 0;
};

// Notes each record as listed before or after the run.
void noteListed(const Console& console, std::vector<PackageChange>& packages, bool after) {
  for (const auto& record : console.packages) {
    // Transient records of the run (a bundle's disabling ones) have no entry.
    if (!isPlainName(record->name)) continue;
    PackageChange* change = nullptr;
    for (PackageChange& known : packages)
      if (known.name == record->name) change = &known;
    if (change == nullptr) change = &packages.emplace_back(PackageChange{record->name, {}, {}});
    (after ? change->after : change->before) = {true, record->disabled, record->version};
  }
}

// Runs the upgrade run's planning below the device root with standard output
// going to capture; its text is read back into plan.messages.
void planRun(const std::string& arch, const std::vector<GivenFile>* given, Plan& plan) {
  Console console(stdout);
  // The schedule files stay where they are: the plan changes nothing.
  KeptSchedules schedules;
  loadDatabase(console, false, arch, &schedules);
  noteListed(console, plan.packages, false);
  DryEffects effects;
  (void)applySchedules(console, effects);
  const RunFlags runFlags =
      allowUpgrade | (std::getenv("bootimage") != nullptr ? RunFlags{bootImageInPlace} : 0);
  (void)runUpgrade(console, runFlags, effects, given);
  noteListed(console, plan.packages, true);
  plan.halted = effects.halted;
  plan.kept = effects.kept;
}

// Everything written to file, which is closed.
std::string readBack(std::FILE* file) {
  std::string text;
  std::rewind(file);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// Plans the run below root for the files given (none: the staged ones), the
// run's standard output captured as it goes. False, reported, when root
// cannot be entered.
bool capturedPlan(const std::string& root, const std::string& arch,
                  const std::vector<std::string>& files, Plan& plan) {
  std::vector<GivenFile> given;
  for (const std::string& path : files) given.push_back({path, openRegularFile(path)});
  std::FILE* capture = std::tmpfile();
  if (capture == nullptr) return report(statusFailed, "plan: no temporary file") == 0;
  // The installer's device paths are looked up below root from here on; the
  // files given were opened where they were named.
  const ScopedDeviceRoot device(root);
  if (!device.opened()) {
    const std::string error = std::strerror(errno);
    std::fclose(capture);
    return report(statusFailed, "plan: cannot enter " + root + ": " + error) == 0;
  }
  std::fflush(stdout);
  const int shown = ::dup(STDOUT_FILENO);
  ::dup2(::fileno(capture), STDOUT_FILENO);
  planRun(arch, files.empty() ? nullptr : &given, plan);
  std::fflush(stdout);
  ::dup2(shown, STDOUT_FILENO);
  ::close(shown);
  plan.messages = shownLines(readBack(capture));
  return true;
}

const char* stateText(const Listed& listed) {
  return !listed.present ? "absent" : listed.disabled ? "disabled" : "enabled";
}

std::string listedJson(const Listed& listed) {
  JsonObject object;
  object.text("state", stateText(listed));
  if (listed.present)
    object.text("version", versionText(listed.version));
  else
    object.null("version");
  return object.str();
}

// What changes a package's listing, or "" when nothing does.
const char* actionText(const Listed& before, const Listed& after) {
  if (!before.present) return after.present ? "install" : "";
  if (!after.present) return "uninstall";
  if (after.version != before.version)
    return after.version > before.version ? "upgrade" : "downgrade";
  if (after.disabled != before.disabled) return after.disabled ? "disable" : "enable";
  return "";
}

std::string stateColumn(const Listed& listed) {
  return listed.present ? std::string(stateText(listed)) + " " + versionText(listed.version)
                        : "absent";
}

// An upgrade run that ends, ends with status 0: only stream mode and a root
// that cannot be entered end the installer otherwise.
constexpr int upgradeRunStatus = 0;

void printJson(const Plan& plan) {
  JsonArray messages, packages;
  for (const std::string& message : plan.messages) messages.add(jsonString(message));
  for (const PackageChange& change : plan.packages)
    packages.add(JsonObject()
                     .text("name", change.name)
                     .json("before", listedJson(change.before))
                     .json("after", listedJson(change.after))
                     .str());
  JsonObject object;
  object.json("messages", messages.str()).json("packages", packages.str());
  if (plan.halted)
    object.null("exit");
  else
    object.number("exit", upgradeRunStatus);
  std::printf("%s\n", object.str().c_str());
}

void printTable(const Plan& plan) {
  for (const std::string& message : plan.messages) std::printf("%s\n", message.c_str());
  std::printf("\n%-16s %-22s %-22s %s\n", "Name", "Before", "After", "Action");
  for (const PackageChange& change : plan.packages) {
    const char* action = actionText(change.before, change.after);
    if (*action == '\0') continue;
    std::printf("%-16s %-22s %-22s %s\n", change.name.c_str(), stateColumn(change.before).c_str(),
                stateColumn(change.after).c_str(), action);
  }
  if (plan.halted) std::printf("\nThe run would leave no package installed and halt.\n");
}

// Whether everything given goes in: no error, no omitted release, no file
// left in place.
bool installsEverything(const Plan& plan) {
  if (plan.kept > 0 || plan.halted) return false;
  for (const std::string& message : plan.messages)
    if (message.rfind("ERROR: ", 0) == 0 || message.rfind("WARNING: omitting ", 0) == 0)
      return false;
  return true;
}

}  // namespace

int runPlan(const std::vector<std::string>& argv) {
  Arguments args;
  std::string error;
  if (!args.parse(argv, {{"root", 0, true}, {"arch", 0, true}, {"json", 0, false}}, error))
    return report(statusUsage, error + " (see tpk plan --help)");
  if (args.has("help")) {
    std::printf(
        "usage: tpk plan --root DIR [--arch ARCH] [--json] [FILE...]\n"
        "\n"
        "Prints what an upgrade run would do below DIR, a copy of a device's root,\n"
        "without changing anything there: the messages it would print, then each\n"
        "package whose state changes, before and after. FILEs are installed in place\n"
        "of the package files staged below DIR. Every extraction and script is\n"
        "assumed to succeed. --json prints one JSON object instead. Exit status 0\n"
        "when everything given would be installed, 1 when not.\n");
    return statusOk;
  }
  if (!args.has("root")) return report(statusUsage, "plan: no --root DIR given");
  const char* archVariable = std::getenv("arch");
  const std::string arch = args.value("arch", archVariable ? archVariable : "i386");
  Plan plan;
  if (!capturedPlan(args.value("root"), arch, args.positional(), plan)) return statusFailed;
  if (args.has("json"))
    printJson(plan);
  else
    printTable(plan);
  return installsEverything(plan) ? statusOk : statusFailed;
}

}  // namespace tpk
