#include "tools/common/Json.h"

#include <cstdio>

namespace tools {

std::string JsonQuote(std::string_view utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned char>(c));
          out += escape;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void JsonLine::Key(std::string_view key) {
  if (text_.size() > 1) text_ += ",";
  text_ += JsonQuote(key);
  text_ += ":";
}

JsonLine& JsonLine::Add(std::string_view key, std::string_view utf8) {
  Key(key);
  text_ += JsonQuote(utf8);
  return *this;
}

JsonLine& JsonLine::Add(std::string_view key, std::int64_t number) {
  Key(key);
  text_ += std::to_string(number);
  return *this;
}

JsonLine& JsonLine::AddBool(std::string_view key, bool value) {
  Key(key);
  text_ += value ? "true" : "false";
  return *this;
}

}  // namespace tools
