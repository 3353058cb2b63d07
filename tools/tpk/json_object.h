// One JSON object written on one line, field by field, for tpk info --json.
// Every text is written as ASCII: bytes below 0x20, 0x7f and bytes from 0x80
// on as \u00XX (the code point of the byte's value), so any byte string from a
// package gives valid JSON and the bytes can be had back.
#pragma once

#include <cstdint>
#include <string>

namespace tpk {

// text as a quoted JSON string.
std::string jsonString(const std::string& text);

class JsonObject {
 public:
  JsonObject& text(const char* key, const std::string& value);
  JsonObject& number(const char* key, std::int64_t value);
  JsonObject& boolean(const char* key, bool value);
  JsonObject& null(const char* key);
  // value is JSON already: an array or an object.
  JsonObject& json(const char* key, const std::string& value);
  // "{...}"
  std::string str() const { return "{" + fields_ + "}"; }

 private:
  JsonObject& field(const char* key, const std::string& value);
  std::string fields_;
};

// "[a,b]" of JSON values.
class JsonArray {
 public:
  JsonArray& add(const std::string& value);
  std::string str() const { return "[" + items_ + "]"; }

 private:
  std::string items_;
};

}  // namespace tpk
