// A listing consumes the schedule files it reads, as the runs that apply them
// do once their actions are on flash.
#include <filesystem>

#include "e2e_helpers.h"

namespace {

using namespace e2e;

TEST(ScheduleFiles, ConsumedByAListingAndByARun) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  for (const Lines& args : {Lines{"--show"}, Lines{}, Lines{"--cleanup"}}) {
    const DeviceRoot root;
    lay(root, "command-line-scheduled.before");
    root.run(args);
    EXPECT_FALSE(std::filesystem::exists(root.at("/ram/pdb/tool/schedule"))) << args.size();
  }
}

}  // namespace
