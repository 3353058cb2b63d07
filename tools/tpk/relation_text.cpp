#include "tpk/relation_text.h"

#include <cerrno>
#include <cstdlib>

#include "model/version.h"
#include "pkgfile/package_names.h"
#include "tpk/version_text.h"

namespace tpk {

namespace {

bool parseBound(std::string_view text, std::uint32_t& min, std::uint32_t& max, std::string& error) {
  std::string_view op;
  for (std::string_view candidate : {">=", "<=", "="}) {
    if (text.substr(0, candidate.size()) == candidate) {
      op = candidate;
      break;
    }
  }
  if (op.empty()) {
    error = "expected >=, <= or = before a version in \"" + std::string(text) + "\"";
    return false;
  }
  Version version = 0;
  const std::string_view versionPart = text.substr(op.size());
  if (!parseVersionText(versionPart, version)) {
    error = "malformed version \"" + std::string(versionPart) + "\"";
    return false;
  }
  if (op == ">=" || op == "=") {
    if (min != 0) {
      error = "two lower bounds";
      return false;
    }
    min = version;
  }
  if (op == "<=" || op == "=") {
    if (max != 0) {
      error = "two upper bounds";
      return false;
    }
    max = version;
  }
  return true;
}

}  // namespace

bool parseRelation(std::string_view text, bool allowExtra, pkgwriter::ListEntry& entry,
                   std::string& error) {
  entry = {};
  const std::size_t colon = text.find(':');
  if (colon != std::string_view::npos) {
    if (!allowExtra) {
      error = "\":extra\" is allowed only in provides";
      return false;
    }
    const std::string extraText(text.substr(colon + 1));
    char* end = nullptr;
    errno = 0;
    const long long extra = std::strtoll(extraText.c_str(), &end, 10);
    if (extraText.empty() || *end != '\0' || errno != 0 || extra < INT32_MIN || extra > INT32_MAX) {
      error = "malformed extra value \"" + extraText + "\"";
      return false;
    }
    entry.extra = std::int32_t(extra);
    text = text.substr(0, colon);
  }
  const std::size_t opStart = text.find_first_of("<>=");
  const std::string_view name = text.substr(0, opStart);
  // A relation names a package, so it is held to a package name's rule (the
  // reader itself would take a "/" in it, which no package can carry).
  if (const char* refusal = nameRefusal(name, NameUse::Package)) {
    error = std::string(refusal) + " in \"" + std::string(text) + "\"";
    return false;
  }
  entry.name = std::string(name);
  if (opStart == std::string_view::npos) return true;
  std::string_view bounds = text.substr(opStart);
  while (true) {
    const std::size_t comma = bounds.find(',');
    if (!parseBound(bounds.substr(0, comma), entry.min, entry.max, error)) return false;
    if (comma == std::string_view::npos) break;
    bounds = bounds.substr(comma + 1);
  }
  if (entry.max != 0 && entry.min > entry.max) {
    error = "the lower bound is above the upper bound in \"" + std::string(text) + "\"";
    return false;
  }
  return true;
}

std::string relationText(const std::string& name, std::uint32_t min, std::uint32_t max,
                         std::int32_t extra) {
  std::string text = name;
  if (min != 0 && min == max) {
    text += "=" + versionText(min);
  } else {
    if (min != 0) text += ">=" + versionText(min);
    if (max != 0) text += std::string(min != 0 ? "," : "") + "<=" + versionText(max);
  }
  if (extra != 0) text += ":" + std::to_string(extra);
  return text;
}

}  // namespace tpk
