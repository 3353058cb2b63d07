#include "tpk/command_line.h"

#include <cstdint>
#include <cstdio>

namespace tpk {

bool Arguments::parse(const std::vector<std::string>& args, const std::vector<OptionInfo>& options,
                      std::string& error) {
  given_.clear();
  positional_.clear();
  std::vector<OptionInfo> known = options;
  known.push_back({"help", 'h', false});
  bool optionsEnded = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional_.push_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    const OptionInfo* matched = nullptr;
    std::string inlineValue;
    bool hasInline = false;
    if (arg[1] == '-') {
      std::string name = arg.substr(2);
      const std::size_t equals = name.find('=');
      if (equals != std::string::npos) {
        inlineValue = name.substr(equals + 1);
        hasInline = true;
        name.resize(equals);
      }
      for (const OptionInfo& o : known)
        if (o.name == name) matched = &o;
    } else if (arg.size() == 2) {
      for (const OptionInfo& o : known)
        if (o.letter != 0 && o.letter == arg[1]) matched = &o;
    }
    if (matched == nullptr) {
      error = "unknown option " + arg;
      return false;
    }
    if (!matched->takesValue) {
      if (hasInline) {
        error = "option --" + matched->name + " takes no value";
        return false;
      }
      given_.emplace_back(matched->name, std::string());
      continue;
    }
    if (!hasInline) {
      if (i + 1 >= args.size()) {
        error = "option " + arg + " needs a value";
        return false;
      }
      inlineValue = args[++i];
    }
    given_.emplace_back(matched->name, inlineValue);
  }
  return true;
}

bool Arguments::has(const std::string& name) const {
  for (const auto& g : given_)
    if (g.first == name) return true;
  return false;
}

std::string Arguments::value(const std::string& name, const std::string& fallback) const {
  std::string result = fallback;
  for (const auto& g : given_)
    if (g.first == name) result = g.second;
  return result;
}

std::vector<std::string> Arguments::values(const std::string& name) const {
  std::vector<std::string> result;
  for (const auto& g : given_)
    if (g.first == name) result.push_back(g.second);
  return result;
}

int report(int status, const std::string& message) {
  std::fprintf(stderr, "tpk: %s\n", message.c_str());
  return status;
}

bool parseU32(const std::string& text, std::uint32_t& value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + std::uint64_t(c - '0');
  }
  if (v > UINT32_MAX) return false;
  value = std::uint32_t(v);
  return true;
}

}  // namespace tpk
