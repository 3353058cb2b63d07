// The journal a run finds on flash is input like any database path: applying
// its commit record again never reaches out of /flash, into the database or
// the installer's own files, nor removes a file outside the staging places.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "install/journal.h"
#include "support/chroot_runner.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

namespace {

using testing_support::DeviceRoot;
using testing_support::readFile;

void writeFile(const std::string& path, const std::string& content) {
  testing_support::makeDirs(std::filesystem::path(path).parent_path());
  testing_support::writeFile(path, content);
}

TEST(JournalRecovery, AHostileCommitRecordActsOnlyBelowFlash) {
  const DeviceRoot root;
  writeFile(root.at("/outside/victim"), "victim\n");
  writeFile(root.at("/flash/var/pdb/base/version"), "16803328 0\n");
  writeFile(root.at("/flash/postlog"), "log\n");
  writeFile(root.at("/flash/bin/kept"), "kept\n");
  ASSERT_EQ(0, ::symlink("/outside", root.at("/flash/esc").c_str()));
  // Objects 0 to 4 aim out of /flash, into the database and at the log; 5 is
  // an ordinary place.
  const char* const objects[] = {"/../outside/new", "/esc/new", "/var/pdb/base/version",
                                 "/postlog",        "/var/pdb", "/bin/tool"};
  for (int n = 0; n < 6; ++n)
    writeFile(root.at("/flash/var/pdb/.work/objects/" + std::to_string(n)), "object\n");
  std::string record = "name tool\nversion 1\nflags 0000000\nstaged /flash/var/pdb/base/version\n";
  for (const char* path : objects) record += std::string("object ") + path + "\n";
  for (const char* path : {"/../outside/victim", "/esc/victim", "/bin/kept/../../outside/victim"})
    record += std::string("remove ") + path + "\n";
  writeFile(root.at("/flash/var/pdb/.work/commit"), record);

  RUN_CHROOTED(root.path(), [] { recoverJournal(testing_support::childConsole()); });

  EXPECT_EQ("victim\n", readFile(root.at("/outside/victim")));
  EXPECT_FALSE(std::filesystem::exists(root.at("/outside/new")));
  EXPECT_EQ("16803328 0\n", readFile(root.at("/flash/var/pdb/base/version")));
  EXPECT_EQ("log\n", readFile(root.at("/flash/postlog")));
  EXPECT_EQ("kept\n", readFile(root.at("/flash/bin/kept")));
  EXPECT_EQ("object\n", readFile(root.at("/flash/bin/tool")));
  EXPECT_FALSE(std::filesystem::exists(root.at("/flash/var/pdb/.work")));
}

}  // namespace
