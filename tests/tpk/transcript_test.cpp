// tpk replayed from tests/data/tpk/*.transcript (format in the README there).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>

#include "../pkgfile/record_text.h"
#include "pkgfile/byte_order.h"
#include "pkgfile/header_parts.h"
#include "support/installer_process.h"

namespace {

using namespace testing_support;

// tpk with args (argv[0] left out).
ProcessResult runTpk(std::vector<std::string> args, const ProcessOptions& options = {}) {
  args.insert(args.begin(), TPK_BINARY);
  return runBuiltProgram(TPK_BINARY, args, options);
}

std::uint32_t le32(const std::string& bytes, std::size_t offset) {
  return load32le(reinterpret_cast<const unsigned char*>(bytes.data()) + offset);
}

// The installer's reading of a package file: its header fields, then its members' names.
std::string readBack(const std::string& path) {
  PackageFile file;
  if (loadPackageFile(file, path) != ReadResult::Read) return "refused\n";
  std::string text = headerText(file) + "\n";
  for (const auto& member : file.members) text += "member " + member->name + "\n";
  return text;
}

// The transcripts' file commands (see the README there).
ProcessResult fileCommand(const std::vector<std::string>& w) {
  ProcessResult r;
  r.status = 0;
  std::string text = w.size() > 2 ? w[2] : "";
  std::replace(text.begin(), text.end(), '|', '\n');
  if (w[0] == "write")
    writeFile(w[1], text);
  else if (w[0] == "mkdir")
    std::filesystem::create_directories(w[1]);
  else if (w[0] == "mkfifo")
    r.status = ::mkfifo(w[1].c_str(), 0600);
  else if (w[0] == "chmod")
    r.status = ::chmod(w[2].c_str(), std::stoi(w[1], nullptr, 8));
  else if (w[0] == "same")
    r.output = readFile(w[1]) == readFile(w[2]) ? "same\n" : "differ\n";
  else if (w[0] == "symlink")
    r.status = ::symlink(w[1].c_str(), w[2].c_str());
  else if (w[0] == "mknod")
    r.status = ::mknod(w[1].c_str(), S_IFCHR | 0600, makedev(std::stoi(w[2]), std::stoi(w[3])));
  else if (w[0] == "read")
    r.output = readBack(w[1]);
  else if (w[0] == "parts") {  // a compressed tree's size depends on the zlib at hand
    const std::string file = readFile(w[1]);
    r.output = "magic " + toHex(file.data(), 4) +
               (le32(file, 4) == file.size() - 8 ? ", length right\n" : ", length wrong\n");
    // Parts after the 8-byte file header, split naively; stops at a cut part.
    for (std::size_t at = 8, length;
         at + 6 <= file.size() && (length = le32(file, at + 2)) <= file.size() - at - 6;
         at += 6 + length) {
      r.output += std::to_string(std::uint8_t(file[at]) | std::uint8_t(file[at + 1]) << 8);
      std::string shown = " " + toHex(file.data() + at + 6, length);
      if (length > 40) shown = " " + std::to_string(length) + " bytes";
      if (file[at] == 4 && file[at + 1] == 0) shown = " compressed tree";
      // A binding digests the file's length, and so the tree's size.
      if (file[at] == 25 && file[at + 1] == 0) shown = " binding " + toHex(file.data() + at + 6, 4);
      r.output += shown;
      r.output += "\n";
    }
  } else if (w[0] == "ends") {
    std::string members;
    for (std::size_t i = 2; i < w.size(); ++i) members += readFile(w[i]).substr(8);
    const std::string file = readFile(w[1]);
    r.output = file.size() >= members.size() && file.substr(file.size() - members.size()) == members
                   ? "ends with them\n"
                   : "does not end with them\n";
  } else if (w[0] == "size")
    r.output = std::to_string(readFile(w[1]).size()) + "\n";
  else if (w[0] == "cut") {
    const std::string whole = readFile(w[1]);
    const long n = std::stol(w[2]);
    writeFile(w[3], whole.substr(0, n < 0 ? whole.size() + n : n));
  } else if (w[0] == "poke")
    writeFile(w[1], readFile(w[1]).replace(std::stoul(w[2]), w[3].size(), w[3]));
  else if (w[0] == "ls") {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(w[1]))
      names.insert(entry.path().filename());
    for (const std::string& name : names) r.output += name + "\n";
  } else if (w[0] == "mode") {
    struct stat st {};
    r.status = ::stat(w[1].c_str(), &st);
    r.output = (std::ostringstream() << std::oct << (st.st_mode & 07777) << "\n").str();
  } else {
    r.status = -1;
    r.errors = "unknown command " + w[0] + "\n";
  }
  return r;
}

std::string replay(const std::string& script, const std::string& tmp) {
  // Shown by name in the transcript; $SPACE, $TAB and $NL only stand in commands.
  const std::vector<std::pair<std::string, std::string>> names = {
      {"$TMP", tmp}, {"$DATA", TEST_DATA_DIR}, {"$LONG", std::string(65537, 'n')}};
  std::istringstream lines(script);
  std::string transcript;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("$ ", 0) != 0) {
      if (line.empty() || line[0] == '#') transcript += line + "\n";
      continue;
    }
    transcript += line + "\n";
    std::vector<std::string> words;
    std::istringstream split(line.substr(2));
    for (std::string word; split >> word;) {
      for (const auto& [name, value] : names) replaceAll(word, name, value);
      for (const auto& [from, to] : {std::pair{"$SPACE", " "}, {"$TAB", "\t"}, {"$NL", "\n"}})
        replaceAll(word, from, to);
      words.push_back(word == "''" ? "" : word);
    }
    ProcessOptions options;  // NAME=VALUE words before tpk
    for (std::size_t eq; (eq = words[0].find('=')) != std::string::npos; words.erase(words.begin()))
      options.environment.emplace(words[0].substr(0, eq), words[0].substr(eq + 1));
    ProcessResult r =
        words[0] == "tpk" ? runTpk({words.begin() + 1, words.end()}, options) : fileCommand(words);
    for (auto& [text, mark] : {std::pair{&r.output, "> "}, std::pair{&r.errors, "! "}}) {
      for (const auto& [name, value] : names) replaceAll(*text, value, name);
      std::istringstream printed(*text);
      for (std::string out; std::getline(printed, out);) transcript += mark + out + "\n";
    }
    transcript += "= " + std::to_string(r.status) + "\n";
  }
  return transcript;
}

class TpkTranscript : public testing::TestWithParam<std::string> {};

TEST_P(TpkTranscript, ReplaysAsRecorded) {
  const ScratchDir dir;
  const std::string script = readFile(TEST_DATA_DIR "/tpk/" + GetParam() + ".transcript");
  EXPECT_EQ(replay(script, dir.path()), script);
}

INSTANTIATE_TEST_SUITE_P(Tpk, TpkTranscript,
                         testing::ValuesIn(namesEndingIn(TEST_DATA_DIR "/tpk", ".transcript")),
                         [](const auto& info) { return testName(info.param); });

}  // namespace
