#include "tpk/json_object.h"

#include <cstdio>

namespace tpk {

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += char(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", unsigned(c));
      out += escaped;
    } else {
      out += char(c);
    }
  }
  return out + "\"";
}

JsonObject& JsonObject::field(const char* key, const std::string& value) {
  if (!fields_.empty()) fields_ += ',';
  fields_ += jsonString(key) + ":" + value;
  return *this;
}

JsonObject& JsonObject::text(const char* key, const std::string& value) {
  return field(key, jsonString(value));
}

JsonObject& JsonObject::number(const char* key, std::int64_t value) {
  return field(key, std::to_string(value));
}

JsonObject& JsonObject::boolean(const char* key, bool value) {
  return field(key, value ? "true" : "false");
}

JsonObject& JsonObject::null(const char* key) { return field(key, "null"); }

JsonObject& JsonObject::json(const char* key, const std::string& value) {
  return field(key, value);
}

JsonArray& JsonArray::add(const std::string& value) {
  if (!items_.empty()) items_ += ',';
  items_ += value;
  return *this;
}

}  // namespace tpk
