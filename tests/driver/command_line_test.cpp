#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "driver/command_line.h"

namespace {

// What a parse of args gives, as one line (see command-lines.txt).
std::string parse(std::vector<const char*> args) {
  args.insert(args.begin(), "installer");
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  Options o;
  const ParseResult result = parseOptions(static_cast<int>(args.size()), args.data(), o, out);
  std::fclose(out);
  std::string output(buffer, size);
  std::free(buffer);
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
  std::ifstream file(std::string(TEST_DATA_DIR) + "/driver/command-lines.txt");
  ASSERT_TRUE(file.is_open());
  for (std::string line; std::getline(file, line);) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream words(line.substr(0, line.find(" | ")));
    std::vector<std::string> args;
    for (std::string word; words >> word;) args.push_back(word == "<empty>" ? "" : word);
    std::vector<const char*> argv;
    for (const std::string& arg : args) argv.push_back(arg.c_str());
    EXPECT_EQ(line.substr(line.find(" | ") + 3), parse(argv)) << line;
  }
}

}  // namespace
