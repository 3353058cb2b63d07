// "installer --show" over package databases written by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "model/version.h"
#include "pkgwriter/pkgwriter.h"
#include "support/installer_process.h"

namespace {

using testing_support::DeviceRoot;
using testing_support::exists;
using testing_support::makeDirs;
using testing_support::writeFile;

const std::string header =
    "            Name          Version                Built                                    Note\n" +
    std::string(94, '-') + "\n";

void entry(const DeviceRoot& root, const std::string& name,
           const std::vector<std::pair<std::string, std::string>>& files) {
  makeDirs(root.at("/flash/var/pdb/" + name));
  for (const auto& [file, content] : files) writeFile(root.at("/flash/var/pdb/" + name + "/" + file), content);
}

TEST(InstallerShow, ListsTheDatabaseAsLoaded) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  DeviceRoot root;
  // A plain package, a disabled bundle member, a package whose meta files are
  // broken (listed all the same, with what could be read) and a bundle record.
  entry(root, "dhcp", {{"version", "104228355 1704067200\n"}, {"files", "bin/dhcp\n"}});
  entry(root, "wifi", {{"version", "104161797 1704153600\n"}, {"files", ""},
                       {"bundle", "suite\n"}, {"disabled", "auto\n"}});
  entry(root, "broken", {{"version", "not numbers\n"}});
  entry(root, "suite", {{"version", "104228352 1704240000\n"}, {"deps", ""}});

  // An image package: its record, note included, comes from its image.
  pkgwriter::PackageLayout image;
  image.name = "kernel";
  image.version = makeVersion(5, 1, Final, 0);
  image.buildTime = 1704078000;
  image.note = "boot image";
  image.image = std::string(64, 'k');
  makeDirs(root.at("/flash/var/pdb/kernel"));
  writeFile(root.at("/flash/var/pdb/kernel/image"), pkgwriter::buildPackageFile(image));
  // An image that cannot be read (here a directory) is ignored: the record
  // comes from the meta files, and the run goes on.
  entry(root, "unread", {{"version", "16803328 1704067200\n"}, {"files", ""}});
  makeDirs(root.at("/flash/var/pdb/unread/image"));
  // The listing does not consume schedules; the loader does.
  makeDirs(root.at("/ram/pdb/dhcp"));
  writeFile(root.at("/ram/pdb/dhcp/schedule"), "disable\n");

  const auto result = root.run({"--show"});
  EXPECT_EQ(result.status, 0);
  // Directory order is the file system's: compare the rows sorted.
  ASSERT_EQ(result.output.compare(0, header.size(), header), 0) << result.output;
  std::vector<std::string> rows;
  std::istringstream lines(result.output.substr(header.size()));
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  EXPECT_EQ(result.output.back(), '\n');
  std::sort(rows.begin(), rows.end());
  EXPECT_EQ(rows, (std::vector<std::string>{
      "            dhcp           6.54.3 Jan/01/2024 00:00:00                                         ",
      "            wifi XB     6.53beta5 Jan/02/2024 00:00:00                                         ",
      "           suite             6.54 Jan/03/2024 00:00:00                                         ",
      "          broken              0.0 Jan/01/1970 00:00:00                                         ",
      "          kernel              5.1 Jan/01/2024 03:00:00                               boot image",
      "          unread              1.0 Jan/01/2024 00:00:00                                         ",
  }));
  EXPECT_FALSE(exists(root.at("/ram/pdb/dhcp/schedule")));
  EXPECT_FALSE(exists(root.at("/flash/postlog")));
}

}  // namespace
