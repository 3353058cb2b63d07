// Scratch directories, chrooted test bodies and runs of built programs.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "support/chroot_runner.h"
#include "support/installer_process.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace testing_support {
ProcessResult runProgram(const std::string& program, const std::vector<std::string>& args,
                         const ProcessOptions& options) {
  const bool root = geteuid() == 0;
  std::vector<std::string> argv = root ? args : std::vector<std::string>{"unshare", "-r", program};
  if (!root) argv.insert(argv.end(), args.begin() + 1, args.end());
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry, name = text.substr(0, text.find('='));
    if (!options.environment.count(name) && name != "arch" && name != "bootimage" &&
        name != "SOURCE_DATE_EPOCH")
      environment.push_back(text);
  }
  for (const auto& [name, value] : options.environment) environment.push_back(name + "=" + value);
  std::vector<char*> argPointers, envPointers;  // each ending in a null
  for (auto [texts, pointers] : {std::pair{&argv, &argPointers}, {&environment, &envPointers}})
    for (std::size_t i = 0; i <= texts->size(); ++i)
      pointers->push_back(i < texts->size() ? (*texts)[i].data() : nullptr);

  std::FILE* files[] = {std::tmpfile(), std::tmpfile(), std::tmpfile()};  // in, out, err
  std::fwrite(options.input.data(), 1, options.input.size(), files[0]);
  std::rewind(files[0]);
  const pid_t child = fork();
  if (child == 0) {
    for (int fd = 0; fd < 3; ++fd) dup2(fileno(files[fd]), fd);
    execvpe(root ? program.c_str() : "/usr/bin/unshare", argPointers.data(), envPointers.data());
    _exit(127);
  }
  ProcessResult result;
  int status = 0;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(options.timeLimitSeconds);
  int held = -1;  // the pipe to kill on, open once a reader waits; closed, the reader goes on
  while (child > 0 && waitpid(child, &status, WNOHANG) == 0) {
    if (held < 0 && !options.killOnceRead.empty() &&
        (held = open(options.killOnceRead.c_str(), O_WRONLY | O_NONBLOCK)) >= 0)
      kill(child, SIGKILL);
    if (!result.stateAtTimeLimit && std::chrono::steady_clock::now() >= deadline) {
      std::string stat;
      std::getline(std::ifstream("/proc/" + std::to_string(child) + "/stat"), stat);
      const std::size_t close = stat.rfind(") ");
      result.stateAtTimeLimit = close == std::string::npos ? '?' : stat.at(close + 2);
      kill(child, SIGKILL);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  if (held >= 0) close(held);
  std::fclose(files[0]);
  result.status = child > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  for (auto [file, text] : {std::pair{files[1], &result.output}, {files[2], &result.errors}}) {
    for (int c = (std::rewind(file), std::fgetc(file)); c != EOF; c = std::fgetc(file))
      *text += char(c);
    std::fclose(file);
  }
  return result;
}

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  path_ = std::string(base && *base ? base : "/tmp") + "/installer-test-XXXXXX";
  if (!mkdtemp(path_.data())) ADD_FAILURE() << "mkdtemp failed";
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;  // read-only test directories are made writable first
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  if (!out) ADD_FAILURE() << "could not write " << path;
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) ADD_FAILURE() << "could not read " << path;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
  struct stat info;  // a dangling link counts
  return lstat(path.c_str(), &info) == 0;
}

void makeDirs(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directories(path, error);
  if (error) ADD_FAILURE() << "could not create " << path << ": " << error.message();
}

std::string dataFile(const std::string& name) { return readFile(TEST_DATA_DIR "/" + name); }

std::vector<std::string> dataLines(const std::string& name) {
  std::vector<std::string> lines;
  std::istringstream text(dataFile(name));
  for (std::string line; std::getline(text, line);)
    if (!line.empty() && line[0] != '#') lines.push_back(line);
  return lines;
}

std::vector<std::string> wordsOf(const std::string& text) {
  std::istringstream in(text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::string toHex(const void* data, std::size_t size) {
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    const unsigned byte = static_cast<const unsigned char*>(data)[i];
    text += "0123456789abcdef"[byte >> 4], text += "0123456789abcdef"[byte & 15];
  }
  return text;
}

std::vector<std::string> namesEndingIn(const std::string& dir, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir))
    if (entry.path().extension() == extension) names.push_back(entry.path().stem());
  std::sort(names.begin(), names.end());
  return names;
}

std::string testName(std::string name) {
  std::replace(name.begin(), name.end(), '-', '_');
  std::replace(name.begin(), name.end(), '.', '_');
  return name;
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
    text.replace(at, from.size(), to);
}

int runChrooted(const std::string& root, const std::function<void()>& body,
                const ChrootOptions& options) {
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    const auto leave = [](int status) { std::fflush(nullptr), ::_exit(status); };
    std::string tmpfsSize = "size=" + std::to_string(options.tmpfsBytes);
    if (options.tmpfsInodes != 0) tmpfsSize += ",nr_inodes=" + std::to_string(options.tmpfsInodes);
    if (!options.tmpfsAt.empty() &&
        (::unshare(CLONE_NEWNS) != 0 ||
         ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
         ::mount("tmpfs", (root + options.tmpfsAt).c_str(), "tmpfs", 0, tmpfsSize.c_str()) != 0))
      leave(childSetupFailed);
    if (::chroot(root.c_str()) != 0 || ::chdir("/") != 0) leave(childSetupFailed);
    body();
    leave(::testing::Test::HasFailure() ? childFailed : childPassed);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

Console& childConsole() {
  static char* text;
  static std::size_t size;
  return *new Console(::open_memstream(&text, &size));  // the child exits without cleanup
}

std::string rootChangeUnavailable() {
  static const bool can = geteuid() == 0 || runProgram("/bin/true", {"/bin/true"}, {}).status == 0;
  return can ? "" : "cannot change root: not root and \"unshare -r\" does not work here";
}

ProcessResult runBuiltProgram(const std::string& program, const std::vector<std::string>& args,
                              const ProcessOptions& options) {
  std::vector<std::string> command;
  std::istringstream words(INSTALLER_EMULATOR);
  for (std::string word; words >> word;) command.push_back(word);
  if (command.empty()) return runProgram(program, args, options);
  command.insert(command.end(), args.begin(), args.end());
  return runProgram(command.front(), command, options);
}

DeviceRoot::DeviceRoot() {
  for (const char* dir : {"/flash/var/pdb", "/ram/pdb", "/rw"}) makeDirs(at(dir));
}

ProcessResult DeviceRoot::run(const std::vector<std::string>& args,
                              const ProcessOptions& options) const {
  std::vector<std::string> argv = {INSTALLER_BINARY, "-r", path()};
  argv.insert(argv.end(), args.begin(), args.end());
  // The leak checker would read /proc, out of reach in the changed root.
  ProcessOptions withoutLeakCheck = options;
  if (!std::getenv("LSAN_OPTIONS"))
    withoutLeakCheck.environment.emplace("LSAN_OPTIONS", "detect_leaks=0");
  return runBuiltProgram(INSTALLER_BINARY, argv, withoutLeakCheck);
}

}  // namespace testing_support
