#include "pdb/install_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>

#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "pkgwriter/part_encoding.h"

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

// The text depends on the error number; package text is never a format.
TEST(InstallMessages, CreateFailureText) {
  auto record = package("dhcp", makeVersion(6, 41, Final, 0));
  CapturedConsole out;
  for (int error : {ENOSPC, EIO, EACCES}) {
    errno = error;
    reportCreateFailure(out.console, *record, "/flash/bin/dhcp");
  }
  record->bundle.name = "sys%s%n";
  errno = ENOENT;
  reportCreateFailure(out.console, *record, "/flash/%s");
  reportBrokenPackage(out.console, *record);

  const std::string prefix = "ERROR: installation of dhcp-6.41 failed: ";
  const std::string bundled = "ERROR: installation of sys%s%n failed: ";
  ASSERT_EQ(out.console.messages.size(), 5u);
  EXPECT_EQ(out.console.messages[0], prefix + "disk is too small");
  EXPECT_EQ(out.console.messages[1], prefix + "disk error");
  EXPECT_EQ(out.console.messages[2],
            prefix + "could not create /flash/bin/dhcp: " + std::strerror(EACCES));
  EXPECT_EQ(out.console.messages[3], bundled + "could not create /flash/%s: " + std::strerror(ENOENT));
  EXPECT_EQ(out.console.messages[4], bundled + "broken package");
}

TEST(InstallMessages, ProgressShowsTheLabelAndThePositionInThePackage) {
  // File header (8 bytes), then a compressed-tree part: 6-byte header and a
  // 100-byte payload. The payload starts at 14 and the file is 114 bytes.
  std::istringstream input(pkgwriter::wrapFile(pkgwriter::encodePart(partFileTree, std::string(100, 'x'))));
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
