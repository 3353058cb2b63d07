// Carrying out disablings and enablings whose state cannot be recorded: each
// failure is reported once, in place of the state's message, silent run or not.
#include <gtest/gtest.h>

#include "plan/scheduled_actions.h"
#include "support/captured_console.h"

namespace {

// Records states with the result given; changes nothing else.
struct MarkingWith final : FlashEffects {
  explicit MarkingWith(MarkResult result) : result(result) {}
  InstallStep installPackage(Console&, InstalledPackage&, PartStream&, RunFlags,
                             const InstalledPackage*) override {
    return InstallStep::Done;
  }
  void removePackage(Console&, InstalledPackage&) override {}
  InstallStep registerBundle(Console&, InstalledPackage&, const InstalledPackage*,
                             const std::set<std::string>&) override {
    return InstallStep::Done;
  }
  MarkResult markDisabled(InstalledPackage& package) override {
    package.disabled = true;
    return result;
  }
  MarkResult markEnabled(InstalledPackage& package) override {
    package.disabled = false;
    return result;
  }
  MarkResult result;
};

TEST(StateMarks, AFailureIsReportedOnceInPlaceOfTheState) {
  using Messages = std::vector<std::string>;
  const struct {
    MarkResult result;
    int report;
    Messages messages;
  } rows[] = {
      {MarkResult::NotWritten,
       0,
       {"ERROR: could not record x-1.0 as disabled", "ERROR: could not record y-1.0 as enabled"}},
      {MarkResult::NoEntry,
       1,
       {"ERROR: could not record x-1.0 as disabled", "ERROR: could not record y-1.0 as enabled"}},
      {MarkResult::NotFiled, 1, {"disabled x-1.0", "enabled y-1.0"}},
      {MarkResult::Recorded, 0, {}},
  };
  for (const auto& row : rows) {
    testing_support::CapturedConsole out;
    InstalledPackage x("x"), y("y");
    x.version = y.version = 0x01006600;
    y.disabled = true;
    MarkingWith effects(row.result);
    executeRemovals(out.console, effects, {&x}, row.report);
    executeEnables(out.console, effects, {&y}, row.report);
    EXPECT_EQ(row.messages, out.console.messages) << static_cast<int>(row.result);
  }
}

}  // namespace
