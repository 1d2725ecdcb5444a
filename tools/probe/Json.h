#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace probe {

// Builds one JSON object on a single line, keys in the order added.
class JsonLine {
 public:
  JsonLine& Add(std::string_view key, std::string_view utf8);
  JsonLine& Add(std::string_view key, std::int64_t number);
  std::string str() const { return text_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string text_ = "{";
};

std::string JsonQuote(std::string_view utf8);

}  // namespace probe
