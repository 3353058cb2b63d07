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
  Parsed parsed;
  parsed.result = parseOptions(static_cast<int>(args.size()), args.data(), parsed.options, out);
  std::fclose(out);
  parsed.output.assign(buffer, size);
  std::free(buffer);
  return parsed;
}

const std::string usage = "usage: installer [-q] [-r <root>] [-]\n";

TEST(CommandLine, OptionsAndTheirEffects) {
  Parsed p = parse({});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_FALSE(p.options.cleanup || p.options.streamMode || p.options.quiet || p.options.show);
  EXPECT_EQ(p.options.runFlags, 0u);
  EXPECT_EQ(p.output, "");

  p = parse({"-q", "-down", "-b", "--force", "--noupgrade", "-i", "--month", "12", "--show",
             "-r", "/a", "-r", "/b"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.quiet);
  EXPECT_TRUE(p.options.show);
  EXPECT_EQ(p.options.root, "/b");  // a later -r replaces an earlier one
  EXPECT_EQ(p.options.runFlags, RunFlags(allowDowngrade));
  EXPECT_EQ(p.output, "");

  // The argument of --month or -r is taken even when it looks like an option.
  p = parse({"--month", "--bogus", "-r", "--show"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_EQ(p.options.root, "--show");
  EXPECT_FALSE(p.options.show);
}

TEST(CommandLine, CleanupAndStreamEndTheParsing) {
  Parsed p = parse({"--cleanup", "--show", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.cleanup);
  EXPECT_FALSE(p.options.show);

  p = parse({"--show", "--cleanup"});
  EXPECT_TRUE(p.options.show && p.options.cleanup);

  p = parse({"-", "--show", "-q", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_TRUE(p.options.streamMode);
  EXPECT_FALSE(p.options.show || p.options.quiet);
}

TEST(CommandLine, UsageLineForUnknownArgumentsAndMissingValues) {
  for (const std::vector<const char*>& args :
       std::vector<std::vector<const char*>>{{"--bogus"},
                                             {"-r"},
                                             {"--month"},
                                             {"-q", "-r"},
                                             {"--SHOW"},
                                             {""},
                                             {"-show"},
                                             {"--show", "--show=1"}}) {
    const Parsed p = parse(args);
    EXPECT_EQ(p.result, ParseResult::Usage) << args.back();
    EXPECT_EQ(p.output, usage) << args.back();
  }
}

TEST(CommandLine, ReinstallPrintsAtOnce) {
  Parsed p = parse({"--reinstall", "--bogus"});
  EXPECT_EQ(p.result, ParseResult::Usage);
  EXPECT_EQ(p.output, "\nResuming upgrade...\n" + usage);

  p = parse({"-down", "--reinstall"});
  EXPECT_EQ(p.result, ParseResult::Run);
  EXPECT_EQ(p.options.runFlags, RunFlags(allowDowngrade | reinstall));
  EXPECT_EQ(p.output, "\nResuming upgrade...\n");
}

}  // namespace
