#include "pdb/install_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "pkgfile/part_stream.h"

namespace {

struct CapturedConsole {
  CapturedConsole() : file(std::tmpfile()), console(file) {}
  ~CapturedConsole() { std::fclose(file); }
  std::FILE* file;
  Console console;
};

std::unique_ptr<InstalledPackage> package(const std::string& name, Version version) {
  auto record = std::make_unique<InstalledPackage>(name);
  record->version = version;
  return record;
}

void putLittleEndian(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

TEST(InstallMessages, LabelNamesTheBundleWhenThereIsOne) {
  auto plain = package("wireless", makeVersion(6, 41, Final, 3));
  EXPECT_EQ(installLabel(*plain), "wireless-6.41.3");

  plain->bundle.name = "suite";
  plain->bundle.min = makeVersion(6, 42, Beta, 5);
  EXPECT_EQ(installLabel(*plain), "suite-6.42beta5");
  plain->bundle.min = 0;  // no minimum: the bundle's name alone
  EXPECT_EQ(installLabel(*plain), "suite");
}

TEST(InstallMessages, CreateFailureTextDependsOnTheErrorNumber) {
  auto record = package("dhcp", makeVersion(6, 41, Final, 0));
  CapturedConsole out;

  errno = ENOSPC;
  reportCreateFailure(out.console, *record, "/flash/bin/dhcp");
  errno = EIO;
  reportCreateFailure(out.console, *record, "/flash/bin/dhcp");
  errno = EACCES;
  reportCreateFailure(out.console, *record, "/flash/bin/dhcp");
  record->bundle.name = "system";
  errno = ENOENT;
  reportCreateFailure(out.console, *record, "/flash/var/pdb/dhcp/files");

  ASSERT_EQ(out.console.messages.size(), 4u);
  EXPECT_EQ(out.console.messages[0], "ERROR: installation of dhcp-6.41 failed: disk is too small");
  EXPECT_EQ(out.console.messages[1], "ERROR: installation of dhcp-6.41 failed: disk error");
  EXPECT_EQ(out.console.messages[2], std::string("ERROR: installation of dhcp-6.41 failed: could not create "
                                                 "/flash/bin/dhcp: ") + std::strerror(EACCES));
  EXPECT_EQ(out.console.messages[3], std::string("ERROR: installation of system failed: could not create "
                                                 "/flash/var/pdb/dhcp/files: ") + std::strerror(ENOENT));
}

TEST(InstallMessages, PackageTextIsNeverAFormat) {
  auto record = package("odd%s%n", makeVersion(1, 0, Final, 0));
  CapturedConsole out;
  reportBrokenPackage(out.console, *record);
  errno = EPERM;
  reportCreateFailure(out.console, *record, "/flash/%s");
  ASSERT_EQ(out.console.messages.size(), 2u);
  EXPECT_EQ(out.console.messages[0], "ERROR: installation of odd%s%n-1.0 failed: broken package");
  EXPECT_EQ(out.console.messages[1], std::string("ERROR: installation of odd%s%n-1.0 failed: could not create "
                                                 "/flash/%s: ") + std::strerror(EPERM));
}

TEST(InstallMessages, ProgressShowsTheLabelAndThePositionInThePackage) {
  // File header (8 bytes), then a compressed-tree part: 6-byte header and a
  // 100-byte payload. The payload starts at 14 and the file is 114 bytes.
  std::string file;
  putLittleEndian(file, packageMagic, 4);
  putLittleEndian(file, 106, 4);
  putLittleEndian(file, partFileTree, 2);
  putLittleEndian(file, 100, 4);
  file += std::string(100, 'x');

  std::istringstream input(file);
  PartStream stream(input, false);
  stream.wanted.push_back(partFileTree);
  ASSERT_EQ(stream.next(), partFileTree);
  char payload[43];
  ASSERT_TRUE(stream.read(payload, sizeof payload));

  auto record = package("ppp", makeVersion(6, 41, Final, 0));
  struct Case {
    bool disabled;
    const char* bundle;
    const char* text;
  } cases[] = {
      {false, "", "installing ppp-6.41"},
      {true, "", "installing  (disabled) ppp-6.41"},
      {true, "suite", "installing suite"},  // a bundle member shows no marker
  };
  for (const Case& c : cases) {
    record->disabled = c.disabled;
    record->bundle.name = c.bundle;
    CapturedConsole shown, reference;
    showInstalling(shown.console, *record, stream);
    reference.console.showProgress(c.text, 14 + 43, 114);
    EXPECT_EQ(shown.console.statusLine, reference.console.statusLine);
    EXPECT_EQ(shown.console.statusLine.rfind(std::string(c.text) + " [", 0), 0u) << shown.console.statusLine;
  }
}

}  // namespace
