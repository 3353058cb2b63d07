#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

struct Parsed {
  ParseResult result;
  Options options;
  std::string output;
};

Parsed parse(std::vector<const char*> args) {
  args.insert(args.begin(), "installer");
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  Parsed p;
  p.result = parseOptions(static_cast<int>(args.size()), args.data(), p.options, out);
  std::fclose(out);
  p.output.assign(buffer, size);
  std::free(buffer);
  return p;
}

const std::string usage = "usage: installer [-q] [-r <root>] [-]\n";
const std::string resuming = "\nResuming upgrade...\n";

TEST(CommandLine, OptionsAndTheirEffects) {
  Parsed p = parse({"-q", "-down", "-b", "--force", "--noupgrade", "-i", "--month", "12", "--show",
                    "-r", "/a", "-r", "/b"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.quiet && p.options.show);
  EXPECT_FALSE(p.options.cleanup || p.options.streamMode);
  EXPECT_EQ(p.options.root, "/b");  // a later -r replaces an earlier one
  EXPECT_EQ(p.options.runFlags, RunFlags(allowDowngrade));
  EXPECT_EQ(p.output, "");

  // The argument of --month or -r is taken even when it looks like an option.
  p = parse({"--month", "--bogus", "-r", "--show"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_EQ(p.options.root, "--show");
  EXPECT_FALSE(p.options.show);

  // --cleanup and "-" end the parsing; what follows is not looked at.
  p = parse({"--show", "--cleanup", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.show && p.options.cleanup);
  p = parse({"-", "--show", "-q", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.streamMode);
  EXPECT_FALSE(p.options.show || p.options.quiet);
}

TEST(CommandLine, UsageLineAndResumingUpgrade) {
  for (const std::vector<const char*>& args : std::vector<std::vector<const char*>>{
           {"--bogus"}, {"-r"}, {"--month"}, {"-q", "-r"}, {"--SHOW"}, {""}, {"--show", "--show=1"}}) {
    const Parsed p = parse(args);
    EXPECT_EQ(p.result, ParseResult::Usage) << args.back();
    EXPECT_EQ(p.output, usage) << args.back();
  }
  // --reinstall prints at once, before a later bad argument.
  Parsed p = parse({"--reinstall", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Usage);
  EXPECT_EQ(p.output, resuming + usage);
  p = parse({"-down", "--reinstall"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_EQ(p.options.runFlags, RunFlags(allowDowngrade | reinstall));
  EXPECT_EQ(p.output, resuming);
}

}  // namespace
