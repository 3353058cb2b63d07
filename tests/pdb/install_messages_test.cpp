#include "pdb/install_messages.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <sstream>

#include "pkgfile/part_stream.h"
#include "pkgwriter/package_builder.h"
#include "pkgwriter/part_encoding.h"

namespace {

struct CapturedConsole {
  std::FILE* file = std::tmpfile();
  Console console{file};
  ~CapturedConsole() { std::fclose(file); }
};

// The disk-full and "could not create" texts come with the writer's failures.
// Package text is never a format.
TEST(InstallMessages, DiskErrorAndTextsThatLookLikeFormats) {
  InstalledPackage record("dhcp");
  record.version = makeVersion(6, 41, Final, 0);
  CapturedConsole out;
  errno = EIO;
  reportCreateFailure(out.console, record, "/flash/bin/dhcp");
  record.bundle.name = "sys%s%n";
  errno = ENOENT;
  reportCreateFailure(out.console, record, "/flash/%s");
  reportBrokenPackage(out.console, record);
  EXPECT_EQ(out.console.messages, (std::vector<std::string>{
                                      "ERROR: installation of dhcp-6.41 failed: disk error",
                                      "ERROR: installation of sys%s%n failed: could not create /flash/%s: "
                                      "No such file or directory",
                                      "ERROR: installation of sys%s%n failed: broken package"}));
}

TEST(InstallMessages, ProgressShowsTheLabelAndThePositionInThePackage) {
  // File header (8 bytes), then a part: 6-byte header and a 100-byte payload.
  // The payload starts at 14 and the file is 114 bytes.
  std::istringstream input(pkgwriter::wrapFile(pkgwriter::encodePart(partFileTree, std::string(100, 'x'))));
  PartStream stream(input, false);
  stream.wanted.push_back(partFileTree);
  ASSERT_EQ(stream.next(), partFileTree);
  char payload[43];
  ASSERT_TRUE(stream.read(payload, sizeof payload));
  InstalledPackage record("ppp");
  record.version = makeVersion(6, 41, Final, 0);
  const struct {
    bool disabled;
    const char* bundle;
    const char* text;
  } cases[] = {{false, "", "installing ppp-6.41"},
               {true, "", "installing  (disabled) ppp-6.41"},
               {true, "suite", "installing suite"}};  // a bundle member shows no marker
  for (const auto& c : cases) {
    record.disabled = c.disabled;
    record.bundle.name = c.bundle;
    CapturedConsole shown, reference;
    showInstalling(shown.console, record, stream);
    reference.console.showProgress(c.text, 14 + 43, 114);
    EXPECT_EQ(shown.console.statusLine, reference.console.statusLine);
    EXPECT_EQ(shown.console.statusLine.rfind(std::string(c.text) + " [", 0), 0u) << shown.console.statusLine;
  }
}

}  // namespace
