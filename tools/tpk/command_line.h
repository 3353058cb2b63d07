// The option parser shared by the tpk commands: long options ("--name VALUE"
// or "--name=VALUE"), one-letter options ("-o VALUE"), flags, repeated
// options, and positional arguments; "--" ends the options.
#pragma once

#include <string>
#include <vector>

namespace tpk {

struct OptionInfo {
  std::string name;  // long name without "--"
  char letter = 0;   // one-letter form, 0 when none
  bool takesValue = false;
};

class Arguments {
 public:
  // args excludes the program and command names. False with a message in
  // error for an unknown option or a missing value. "--help" is always known.
  bool parse(const std::vector<std::string>& args, const std::vector<OptionInfo>& options,
             std::string& error);

  bool has(const std::string& name) const;
  // The last value given for name, or fallback.
  std::string value(const std::string& name, const std::string& fallback = {}) const;
  // Every value given for name, in command-line order.
  std::vector<std::string> values(const std::string& name) const;
  const std::vector<std::string>& positional() const { return positional_; }

 private:
  std::vector<std::pair<std::string, std::string>> given_;
  std::vector<std::string> positional_;
};

// Status codes of every command.
constexpr int statusOk = 0;
constexpr int statusFailed = 1;
constexpr int statusUsage = 2;

// "tpk: " + message on standard error; returns status.
int report(int status, const std::string& message);

// An unsigned decimal 32-bit number (times, variants...).
bool parseU32(const std::string& text, std::uint32_t& value);

}  // namespace tpk
