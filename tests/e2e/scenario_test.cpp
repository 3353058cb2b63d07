// Runs every scenario script tests/data/e2e/<case>.run (commands in the README
// there) as a case of its own; what its runs record is compared against
// tests/data/e2e/<case>.txt. And a flash that runs out of room for one more
// file or directory, whatever that number.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <sstream>

#include "pkgwriter/pkgwriter.h"
#include "support/chroot_runner.h"
#include "support/device_tree.h"
#include "support/fingerprint.h"
#include "support/installer_process.h"
#include "tpk/relation_text.h"
#include "tpk/shown_lines.h"
#include "tpk/version_text.h"

namespace {

namespace fs = std::filesystem;
using namespace testing_support;
using Lines = std::vector<std::string>;

constexpr Version v1 = makeVersion(1, 0, Final, 0);

// A signed package holding the one file <dir><name>, "<name> <version>\n".
inline pkgwriter::PackageLayout package(const std::string& name, Version version = v1,
                                        const std::string& dir = "bin/") {
  pkgwriter::PackageLayout layout;
  layout.name = name;
  layout.version = version;
  layout.buildTime = 1704067200;
  layout.fileTree = pkgwriter::FileTreeBuilder()
                        .addFile(dir + name, name + " " + versionText(version) + "\n")
                        .compressed();
  layout.signer = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
  return layout;
}

// The run's status, output and root as recorded (see the README).
inline std::string outcome(const ProcessResult& result, const DeviceRoot& root) {
  std::string text = "status " + std::to_string(result.status) + "\n", output = result.output;
  for (const auto& [from, to] :
       {std::pair{"\x1b[?25l", "<hide>"}, {"\x1b[?25h", "<show>"}, {"\r", "<cr>"}})
    replaceAll(output, from, to);
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) text += "| " + line + "\n";
  if (!output.empty() && output.back() != '\n') text += "(no final newline)\n";
  return text + treeText(root.path());
}

// Lays out tests/data/e2e/<name>.txt below the root.
inline void lay(const DeviceRoot& root, const std::string& name) {
  layOut(root.path(), readFile(TEST_DATA_DIR "/e2e/" + name + ".txt"));
}

// The blank-separated words of line; "..." keeps blanks, '|' stands for a line end.
Lines tokens(const std::string& line) {
  Lines words;
  bool quoted = false, inWord = false;
  for (const char c : line) {
    if (c == '"') quoted = !quoted;
    if (c == ' ' && !quoted) inWord = false;
    if (c == '"' || (c == ' ' && !quoted)) continue;
    if (!inWord) words.emplace_back(), inWord = true;
    words.back() += c == '|' ? '\n' : c;
  }
  return words;
}

// A value "%<n><c>" is n times the character c.
std::string valueText(const std::string& value) {
  if (!value.starts_with('%')) return value;
  return std::string(std::stoul(value.substr(1)), value.back());
}

const Lines commands = wordsOf(
    "package bundle bytes cut magic graft prepend append root lay flash fill mkdir write stage rm "
    "symlink shell plant mark run run-sorted run-shown exec try halt kill say "
    "expect-unchanged expect-status expect-file expect-text expect-absent expect-regular "
    "expect-line expect-tail unnest plan plan-table");

struct Script {
  std::map<std::string, pkgwriter::PackageLayout> packages;
  std::map<std::string, std::string> files;  // package ids and bytes ids to file bytes
  std::unique_ptr<DeviceRoot> root;
  std::unique_ptr<ScratchDir> canary;
  Lines skipped;  // by the fingerprints, besides /flash
  std::string marked;
  bool skipping = false;  // until the next root: what the case needs cannot be made here
  ProcessResult last;
  std::string seen;
  Lines staged;  // device paths staged since the last run

  Version version(const std::string& text) {
    Version v = 0;
    EXPECT_TRUE(tpk::parseVersionText(text, v)) << text;
    return v;
  }

  // package <id> <name> <version> [key=value...]; bundle <id> <name> <version> [key=value...]
  void define(const Lines& w) {
    pkgwriter::PackageLayout p;
    pkgwriter::BundleLayout b;
    const bool bundle = w[0] == "bundle";
    pkgwriter::HeaderLayout& h = bundle ? static_cast<pkgwriter::HeaderLayout&>(b) : p;
    std::string dir = "bin/";
    for (const std::string& word : w)
      if (word.starts_with("dir=")) dir = word.substr(4);
    if (!bundle) p = package(w[2], version(w[3]), dir);
    h.name = w[2], h.version = version(w[3]), h.buildTime = 1704067200;
    std::uint32_t magic = pkgwriter::standardMagic;
    std::optional<pkgwriter::FileTreeBuilder> tree, first;  // first: its first entry alone
    bool cut = false;
    for (std::size_t i = 4; i < w.size(); ++i) {
      const std::size_t eq = std::min(w[i].find('='), w[i].size());
      const std::string key = w[i].substr(0, eq),
                        value = valueText(w[i].substr(eq + (eq < w[i].size())));
      pkgwriter::ListEntry entry;
      std::string error;
      const auto relation = [&](auto& list) {
        EXPECT_TRUE(tpk::parseRelation(value, key == "provides", entry, error)) << value << error;
        if (!list) list.emplace();
        list->push_back(entry);
      };
      const std::size_t colon = value.find(':');
      const std::string path = value.substr(0, colon), text = value.substr(colon + 1);
      if (key == "file" && !tree) first.emplace().addFile(path, text);
      if (!tree && std::ranges::count(wordsOf("file link dirs long-names socket"), key))
        tree.emplace();
      if (key == "file") tree->addFile(path, text);
      cut = cut || key == "cut";
      if (key == "link") tree->addSymlink(path, text);
      if (key == "dirs") {  // "d", "d/d", ... that many levels deep
        std::string name = "d";
        for (int level = 0; level < std::stoi(value); ++level, name += "/d")
          tree->addDirectory(name);
      }
      if (key == "long-names") {  // links whose names take about 4,000 bytes each
        std::string dir;
        for (int level = 0; level < 19; ++level) dir += std::string(200, 'n') + '/';
        for (int i = 0; i < std::stoi(value); ++i) tree->addSymlink(dir + std::to_string(i), "x");
      }
      if (key == "socket") tree->addRaw(0140755, value, "");  // no package may deliver one
      if (key == "image") h.image = value;
      if (key == "flags") h.flags = std::stoul(value, nullptr, 0);
      if (key == "deps") relation(h.deps);
      if (key == "provides") relation(h.provides);
      if (key == "conflicts") relation(h.conflicts);
      if (key == "disabled") relation(b.defaultDisabled);
      if (key == "install") p.onInstall = value;
      if (key == "trailer") p.trailer = value;
      if (key == "arch") p.architecture = value;
      if (key == "unsigned") p.signer = {};
      if (key == "bound")
        p.bound = true, b.binder = pkgwriter::keyFileSigner(TEST_DATA_DIR "/dev-signer.secret");
      if (key == "built") h.buildTime = std::stoul(value);
      if (key == "magic") magic = pkgwriter::alternateMagic;
      if (key == "member") b.members.push_back(pkgwriter::buildPackageBody(packages.at(value)));
    }
    if (tree) p.fileTree = tree->compressed();
    if (cut) {  // stored, the entries stand as they are after the zlib header and the block's own
      const std::string stored = pkgwriter::zlibCompress(tree->raw(), 0);
      EXPECT_EQ(stored.substr(7, tree->raw().size()), tree->raw());
      p.fileTree = stored.substr(0, 7 + first->raw().size());
    }
    if (!bundle) packages[w[1]] = p;
    files[w[1]] =
        bundle ? pkgwriter::buildBundleFile(b, magic) : pkgwriter::buildPackageFile(p, magic);
  }

  // run [args...] [< id]: the outcome recorded; run-shown with the output's
  // lines as shown; run-sorted with them and the message log's lines sorted;
  // exec: status 0 and nothing recorded.
  void run(const Lines& w) {
    Lines args(w.begin() + 1, w.end());
    ProcessOptions options;
    if (args.size() >= 2 && args.end()[-2] == "<")
      options.input = files.at(args.back()), args.resize(args.size() - 2);
    if (w[0] == "halt") options.timeLimitSeconds = 5;
    if (w[0] == "kill") options.killOnceRead = root->at("/flash/hold");
    last = root->run(args, options);
    staged.clear();
    std::remove(root->at("/flash/filler").c_str());  // what fill left
    EXPECT_EQ(last.stateAtTimeLimit, w[0] == "halt" ? 'S' : 0) << "the run did not end, or did";
    EXPECT_TRUE(w[0] != "kill" || last.status == -1) << "the run was not killed";
    if (w[0] == "try" || w[0] == "kill") return;
    if (w[0] == "exec") {
      EXPECT_EQ(last.status, 0) << last.output;
      return;
    }
    ProcessResult result = last;
    const auto shown = [&](const std::string& text) {  // sorted by run-sorted
      Lines lines = tpk::shownLines(text);
      if (w[0] == "run-sorted") std::sort(lines.begin(), lines.end());
      std::string joined;
      for (const std::string& line : lines) joined += line + "\n";
      return joined;
    };
    if (w[0] != "run") result.output = shown(result.output);
    if (w[0] == "run-sorted")
      writeFile(root->at("/flash/postlog"), shown(readFile(root->at("/flash/postlog"))));
    seen += outcome(result, *root);
  }

  // tpk plan over the root, with options, and files given by path.
  ProcessResult tpkPlan(const Lines& options, const Lines& given) {
    Lines args = {TPK_BINARY, "plan", "--root", root->path()};
    args.insert(args.end(), options.begin(), options.end());
    args.insert(args.end(), given.begin(), given.end());
    return runBuiltProgram(TPK_BINARY, args);
  }

  // "<key> <name> <state> <version>" of each package the installer's listing
  // shows, sorted.
  static std::string listed(const DeviceRoot& root, const std::string& key) {
    std::set<std::string> states;
    const Lines lines = tpk::shownLines(root.run({"--show"}).output);
    const auto trimmed = [](std::string text) {
      return text.erase(0, text.find_first_not_of(' '));
    };
    for (std::size_t i = 2; i < lines.size(); ++i)
      states.insert(key + " " + trimmed(lines[i].substr(0, 16)) +
                    (lines[i].at(17) == 'X' ? " disabled " : " enabled ") +
                    trimmed(lines[i].substr(20, 13)));
    std::string text;
    for (const std::string& state : states) text += state + "\n";
    return text;
  }

  // Python's JSON parser reads tpk plan's object: "m <message>" each, then
  // "b <name> <state> <version>" of each package before and "a ..." after
  // (but where absent), by name, then "exit <n>".
  static std::string parsed(const std::string& json) {
    ProcessOptions options;
    options.input = json;
    const std::string program =
        "import json,sys\n"
        "d=json.load(sys.stdin)\n"
        "for m in d[\"messages\"]: print(\"m\", m)\n"
        "for k in \"before\", \"after\":\n"
        "  for p in sorted(d[\"packages\"], key=lambda p: p[\"name\"]):\n"
        "    if p[k] != {\"state\": \"absent\", \"version\": None}:\n"
        "      print(k[0], p[\"name\"], p[k][\"state\"], p[k][\"version\"])\n"
        "print(\"exit\", d[\"exit\"])";
    return runProgram("python3", {"python3", "-c", program}, options).output;
  }

  // plan [--arch A] [given]: tpk plan --json predicts the next run (given:
  // the files staged since the last run named to it from outside the root),
  // leaving the root alone; the installer then makes the run on the root, and
  // its shown lines, the listings before and after it and its status must be
  // the prediction. The last outcome is tpk plan's.
  void plan(const Lines& w) {
    const bool given = std::ranges::count(w, "given") > 0;
    Lines options = {"--json"}, paths;
    ProcessOptions environment;
    if (w.size() > 2 && w[1] == "--arch")
      options.insert(options.end(), {"--arch", w[2]}), environment.environment["arch"] = w[2];
    const ScratchDir outside;
    for (const std::string& path : given ? staged : Lines{}) {
      makeDirs(fs::path(outside.path() + path).parent_path());
      fs::rename(root->at(path), outside.path() + path);
      paths.push_back(outside.path() + path);
    }
    const std::string untouched = fingerprint(root->path());
    const ProcessResult planned = tpkPlan(options, paths);
    same(fingerprint(root->path()), untouched, "tpk plan changed its root");
    for (const std::string& path : paths)
      fs::rename(path, root->at(path.substr(outside.path().size())));
    const DeviceRoot copy;  // the listing carries out what is scheduled
    fs::copy(root->path(), copy.path(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks |
                 fs::copy_options::overwrite_existing);
    const std::string before = listed(copy, "b");
    const ProcessResult run = root->run({}, environment);
    std::string happened;  // in the parsed plan's form
    for (const std::string& line : tpk::shownLines(run.output)) happened += "m " + line + "\n";
    happened += before + listed(*root, "a") + "exit " + std::to_string(run.status) + "\n";
    const std::string predicted = parsed(planned.output);
    check(!predicted.empty(), "python3 could not read: " + planned.output);
    same(happened, predicted, planned.errors);
    last = planned, staged.clear();
  }

  // The file of id from offset in its body on.
  std::string body(const std::string& id, std::size_t offset) {
    return files.at(id).substr(pkgwriter::fileHeaderSize + offset);
  }

  // n bytes, or "tree": the file of id up to the middle of its file tree.
  std::size_t cutAt(const std::string& id, const std::string& n) {
    if (n != "tree") return std::stoul(n);
    const std::string& tree = *packages.at(id).fileTree;
    return files.at(id).find(tree) + tree.size() / 2;
  }

  // A file beside the root.
  std::string canaryFile() {
    if (!canary) canary = std::make_unique<ScratchDir>(), writeFile(*canary / "kept", "canary\n");
    return *canary / "kept";
  }

  // Everything outside /flash and the skipped paths, and the canary.
  std::string outside() {
    canaryFile();
    return fingerprint(root->path(), skipped) + fingerprint(canary->path());
  }

  // plant <kind> <path>: a link to /etc/passwd, a hard link to the canary, a
  // named pipe, a device node, a directory with a file, or (parent) the path's
  // directory moved to /victim and a link to it in its place.
  void plant(const std::string& kind, const std::string& path) {
    const std::string at = root->at(path), parent = root->at(path.substr(0, path.rfind('/')));
    if (kind != "parent") ::unlink(at.c_str());
    if (kind == "symlink") check(::symlink("/etc/passwd", at.c_str()) == 0, at);
    if (kind == "hardlink") check(::link(canaryFile().c_str(), at.c_str()) == 0, at);
    if (kind == "fifo") check(::mkfifo(at.c_str(), 0644) == 0, at);
    if (kind == "device") skipping = ::mknod(at.c_str(), S_IFCHR | 0644, makedev(1, 3)) != 0;
    if (kind == "directory") makeDirs(at), writeFile(at + "/inside", "x\n");
    if (kind == "parent") {
      EXPECT_EQ(std::rename(parent.c_str(), root->at("/victim").c_str()), 0);
      EXPECT_EQ(::symlink("/victim", parent.c_str()), 0);
    }
  }

  // The checks of the commands, reported with what they were given.
  static void check(bool holds, const std::string& about) { EXPECT_TRUE(holds) << about; }
  static void same(const std::string& seen, const std::string& expected, const std::string& about) {
    EXPECT_EQ(seen, expected) << about;
  }

  void step(const Lines& w) {
    const std::string& c = w[0];
    EXPECT_TRUE(std::ranges::count(commands, c)) << "unknown command " << c;
    if (c == "root") skipping = false;
    if (skipping) return;
    const std::string text = w.size() > 2 ? w[2] : "";
    if (c == "package" || c == "bundle") define(w);
    if (c == "bytes") files[w[1]] = text;
    if (c == "cut") files[w[1]] = files.at(w[2]).substr(0, cutAt(w[2], w[3]));
    if (c == "magic") files[w[1]] = pkgwriter::wrapFile(body(w[2], 0), pkgwriter::alternateMagic);
    if (c == "graft")  // the bundle's own parts, then the members of another with theirs
      files[w[1]] = pkgwriter::wrapFile(
          body(w[2], 0).substr(0, pkgwriter::firstPackageOffset(files.at(w[2])) - 8) +
          body(w[3], pkgwriter::firstPackageOffset(files.at(w[3])) - 8));
    if (c == "prepend") {  // a relation list part of one entry before the file's body
      pkgwriter::ListEntry entry{w[4]};
      files[w[1]] = pkgwriter::wrapFile(
          pkgwriter::encodePart(std::stoi(w[3]), pkgwriter::encodeListPayload({entry})) +
          body(w[2], 0));
    }
    if (c == "append")  // a part after the whole file, the file's length counting it
      files[w[1]] =
          pkgwriter::wrapFile(body(w[2], 0) + pkgwriter::encodePart(std::stoi(w[3]), w[4]));
    if (c == "root") root = std::make_unique<DeviceRoot>();
    if (c == "root" && w.size() > 1) lay(*root, w[1] + ".before");
    if (c == "mkdir") makeDirs(root->at(w[1]));
    if (c == "write" || c == "stage")
      makeDirs(fs::path(root->at(w[c == "stage" ? 2 : 1])).parent_path());
    if (c == "write") writeFile(root->at(w[1]), text);
    if (c == "stage") writeFile(root->at(w[2]), files.at(w[1])), staged.push_back(w[2]);
    if (c == "plan") plan(w);
    if (c == "plan-table")  // tpk plan's lines as shown, recorded
      for (const std::string& line : tpk::shownLines(tpkPlan({}, {}).output))
        seen += "| " + line + "\n";
    if (c == "rm") fs::remove_all(root->at(w[1]));
    if (c == "say") seen += joined(w) + "\n";
    if (c == "shell") {  // $ROOT standing for the root
      std::string command = joined(w);
      replaceAll(command, "$ROOT", root->path());
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
    if (c == "lay") lay(*root, w[1] + ".before");
    if (c == "fill") {  // takes all the room left on the flash
      std::FILE* filler = std::fopen(root->at("/flash/filler").c_str(), "w");
      while (filler != nullptr && std::fputc('f', filler) != EOF && std::fflush(filler) == 0) {
      }
      if (filler != nullptr) std::fclose(filler);
    }
    if (c == "expect-status") same(std::to_string(last.status), w[1], last.output);
    if (c == "expect-text") same(readFile(root->at(w[1])), text, w[1]);
    if (c.starts_with("run") || c == "exec" || c == "try" || c == "halt" || c == "kill") run(w);
    if (c == "symlink") check(::symlink(w[2].c_str(), root->at(w[1]).c_str()) == 0, w[1]);
    if (c == "plant") plant(w[1], w[2]);
    if (c == "mark") skipped.assign(w.begin() + 1, w.end());
    if (c == "mark") marked = outside();
    struct stat status;
    if (c == "expect-regular")
      check(::lstat(root->at(w[1]).c_str(), &status) == 0 && S_ISREG(status.st_mode), w[1]);
    if (c == "expect-unchanged") same(outside(), marked, "outside /flash");
    if (c == "expect-line") {
      const Lines shown = tpk::shownLines(last.output);
      EXPECT_NE(std::find(shown.begin(), shown.end(), w[1]), shown.end()) << last.output;
    }
    // "d/d/..." below /flash removed a level at a time, each path short: too
    // deep for the scratch directory's own removal.
    if (c == "unnest") {
      const std::string d = root->at("/flash/d"), moved = root->at("/flash/moved");
      while (::rename((d + "/d").c_str(), moved.c_str()) == 0 && ::rmdir(d.c_str()) == 0)
        ::rename(moved.c_str(), d.c_str());
    }
    if (c == "expect-file") same(readFile(root->at(w[1])), files.at(w[2]), w[1]);
    if (c == "expect-absent") check(!exists(root->at(w[1])), w[1]);
    if (c == "expect-tail") {  // the last lines shown begin so, in this order
      const Lines shown = tpk::shownLines(last.output);
      ASSERT_GE(shown.size(), w.size() - 1) << last.output;
      for (std::size_t i = 1; i < w.size(); ++i)
        EXPECT_TRUE(shown.end()[long(i) - long(w.size())].starts_with(w[i])) << w[i];
    }
  }

  static std::string joined(const Lines& w) {
    std::string text = w.size() > 1 ? w[1] : "";
    for (std::size_t i = 2; i < w.size(); ++i) text += " " + w[i];
    return text;
  }
};

class Scenario : public testing::TestWithParam<std::string> {};

// The lines from from on, then what the runs recorded against name's record.
// flash <bytes> [<inodes>]: the rest in a child, on a tmpfs of that size at /flash.
void runScript(Script& script, const Lines& lines, std::size_t from, const std::string& name) {
  for (std::size_t i = from; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const Lines w =
        lines[i].starts_with("shell ") ? Lines{"shell", lines[i].substr(6)} : tokens(lines[i]);
    if (w[0] == "flash") {
      ChrootOptions options{script.root->path() + "/flash", std::stoul(w[1]),
                            w.size() > 2 ? std::stoul(w[2]) : 0};
      RUN_CHROOTED(
          "/", [&] { runScript(script, lines, i + 1, name); }, options);
      return;
    }
    script.step(w);
  }
  const std::string recorded = TEST_DATA_DIR "/e2e/" + name + ".txt";
  EXPECT_EQ(script.seen, script.seen.empty() ? "" : readFile(recorded)) << recorded;
}

TEST_P(Scenario, Recorded) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  Script script;
  runScript(script, dataLines("e2e/" + GetParam() + ".run"), 0, GetParam());
}

// A flash with room for n more files and directories, n from none on until
// the package fits: the run installs it and says so, or says that there is
// no room and leaves neither its entry nor its file.
TEST(Extraction, AFlashWithoutRoomIsAlwaysReported) {
  SKIP_UNLESS_ROOT_CHANGE_WORKS();
  const std::string stream = pkgwriter::buildPackageFile(package("tool", v1, "usr/bin/"));
  const Lines noRoom = {"ERROR: could not open image",
                        "ERROR: installation of tool-1.0 failed: disk is too small"};
  bool installed = false;
  for (int room = 0; room < 16 && !installed; ++room) {
    SCOPED_TRACE("room for " + std::to_string(room));
    const DeviceRoot root;
    const ChrootOptions flash{root.path() + "/flash", 1 << 20, 64};
    RUN_CHROOTED(
        "/",
        [&] {
          lay(root, "stream-base.before");
          const std::string fill = root.at("/flash/fill/");
          makeDirs(fill);
          int made = 0;
          for (int fd;
               made < 100 && (fd = ::creat((fill + std::to_string(made)).c_str(), 0600)) >= 0;)
            ::close(fd), ++made;
          ASSERT_LT(made, 100);
          for (int i = 0; i < room; ++i) ::unlink((fill + std::to_string(i)).c_str());
          ProcessOptions options;
          options.input = stream;
          const ProcessResult result = root.run({"-"}, options);
          const Lines lines = tpk::shownLines(result.output);
          const bool said =
              std::find(lines.begin(), lines.end(), "installed tool-1.0") != lines.end();
          const bool there = exists(root.at("/flash/usr/bin/tool")) &&
                             exists(root.at("/flash/var/pdb/tool/files"));
          EXPECT_EQ(said, result.status == 0) << result.output;
          EXPECT_EQ(said, there) << result.output;
          if (!said) {
            EXPECT_FALSE(exists(root.at("/flash/var/pdb/tool")));
            EXPECT_NE(std::find_first_of(lines.begin(), lines.end(), noRoom.begin(), noRoom.end()),
                      lines.end())
                << result.output;
          }
          writeFile(root.at("/rw/outcome"), said ? "installed" : "");
        },
        flash);
    installed = readFile(root.at("/rw/outcome")) == "installed";
  }
  EXPECT_TRUE(installed);
}

INSTANTIATE_TEST_SUITE_P(E2e, Scenario,
                         testing::ValuesIn(namesEndingIn(TEST_DATA_DIR "/e2e", ".run")),
                         [](const auto& info) { return testName(info.param); });

}  // namespace
