#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tools {

// Builds one JSON object on a single line, keys in the order added.
class JsonLine {
 public:
  JsonLine& Add(std::string_view key, std::string_view utf8);
  JsonLine& Add(std::string_view key, std::int64_t number);
  // Named apart: a string literal would otherwise pick a bool overload.
  JsonLine& AddBool(std::string_view key, bool value);
  std::string str() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

std::string JsonQuote(std::string_view utf8);

}  // namespace tools
