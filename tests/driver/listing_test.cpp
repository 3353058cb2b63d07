#include <gtest/gtest.h>

#include <sstream>

#include "driver/listing.h"
#include "support/scratch_dir.h"

namespace {

void add(Console& console, const std::string& name, Version version, std::uint32_t buildTime,
         const std::string& note, bool disabled = false, const std::string& bundle = "") {
  auto pkg = std::make_unique<InstalledPackage>(name);
  pkg->version = version;
  pkg->buildTime = buildTime;
  pkg->note = note;
  pkg->disabled = disabled;
  pkg->bundle.name = bundle;
  console.packages.append(std::move(pkg));
}

std::string listing(const Console& console) {
  std::ostringstream out;
  printListing(console, out);
  return out.str();
}

// The header and then one row for each record: cells right-aligned, a long
// cell written whole.
TEST(Listing, RightAlignedCellsAndLongCellsWrittenWhole) {
  const std::string expected =
      testing_support::readFile(std::string(TEST_DATA_DIR) + "/driver/listing.txt");
  Console console(stdout);
  EXPECT_EQ(listing(console), expected.substr(0, expected.find('\n', expected.find('\n') + 1) + 1));
  add(console, "system", makeVersion(6, 41, Final, 3), 0, "base");
  add(console, "wireless", makeVersion(6, 42, Beta, 5), 1704067200, "", true, "bundle");
  add(console, "dhcp", 0x03146301, 951782461, "", false, "b");
  add(console, "x", makeVersion(1, 0, Final, 0), 1735689599, "", true);
  add(console, "y", makeVersion(1, 0, Final, 0), 4107542400u, "");  // 2100 has no leap day
  add(console, "a-very-long-package-name", makeVersion(2, 0, Final, 0), 4294967295u,
      std::string(45, 'n'));
  EXPECT_EQ(listing(console), expected);
}

}  // namespace
