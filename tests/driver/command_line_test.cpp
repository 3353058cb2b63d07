#include "driver/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/captured_console.h"
#include "support/scratch_dir.h"

namespace {

// What a parse of args gives, as one line (see command-lines.txt).
std::string parse(std::vector<const char*> args) {
  args.insert(args.begin(), "installer");
  testing_support::CapturedConsole out;
  Options o;
  const ParseResult result = parseOptions(static_cast<int>(args.size()), args.data(), o, out.file);
  std::string output = out.written();
  for (const auto& [text, name] :
       {std::pair<std::string, std::string>{"\nResuming upgrade...\n", "<resuming>"},
        {"usage: installer [-q] [-r <root>] [-]\n", "<usage>"}})
    if (const auto at = output.find(text); at != std::string::npos)
      output.replace(at, text.size(), name);
  return std::string(result == ParseResult::Run ? "run" : "usage") + (o.cleanup ? " cleanup" : "") +
         (o.streamMode ? " stream" : "") + (o.quiet ? " quiet" : "") + (o.show ? " show" : "") +
         " root=" + o.root + " flags=" + std::to_string(o.runFlags) + " out=" + output;
}

TEST(CommandLine, CasesOfTheCaseFile) {
  const std::vector<std::string> lines = testing_support::dataLines("driver/command-lines.txt");
  ASSERT_FALSE(lines.empty());
  for (const std::string& line : lines) {
    std::vector<std::string> args = testing_support::wordsOf(line.substr(0, line.find(" | ")));
    std::vector<const char*> argv;
    for (std::string& arg : args) argv.push_back(arg == "<empty>" ? "" : arg.c_str());
    EXPECT_EQ(line.substr(line.find(" | ") + 3), parse(argv)) << line;
  }
}

}  // namespace
