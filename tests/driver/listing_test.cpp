#include <gtest/gtest.h>

#include <sstream>

#include "driver/listing.h"

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

const std::string header =
    "            Name          Version                Built                                    Note\n" +
    std::string(94, '-') + "\n";

TEST(Listing, RightAlignedCellsAndLongCellsWrittenWhole) {
  Console console(stdout);
  EXPECT_EQ(listing(console), header);
  add(console, "system", makeVersion(6, 41, Final, 3), 0, "base");
  add(console, "wireless", makeVersion(6, 42, Beta, 5), 1704067200, "", true, "bundle");
  add(console, "dhcp", 0x03146301, 951782461, "", false, "b");
  add(console, "x", makeVersion(1, 0, Final, 0), 1735689599, "", true);
  add(console, "y", makeVersion(1, 0, Final, 0), 4107542400u, "");  // 2100 has no leap day
  const std::string name = "a-very-long-package-name", note(45, 'n');
  add(console, name, makeVersion(2, 0, Final, 0), 4294967295u, note);
  EXPECT_EQ(listing(console),
            header +
                "          system           6.41.3 Jan/01/1970 00:00:00                                     base\n"
                "        wireless XB     6.42beta5 Jan/01/2024 00:00:00                                         \n"
                "            dhcp  B       3.20rc1 Feb/29/2000 00:01:01                                         \n"
                "               x X            1.0 Dec/31/2024 23:59:59                                         \n"
                "               y              1.0 Mar/01/2100 00:00:00                                         \n" +
                name + "              2.0 Feb/07/2106 06:28:15 " + note + "\n");
}

}  // namespace
