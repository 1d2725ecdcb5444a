#pragma once

#include <cstdint>
#include <memory>
#include <regex>
#include <string>
#include <vector>

// Scores driver names against name patterns (ECMAScript, case-sensitive,
// whole name): the highest score of a matching rule, 0 when none matches.
class CAsioDeviceNameMatcher {
 public:
  virtual ~CAsioDeviceNameMatcher() = default;
  // Appends a rule; the score is clamped to 0..100. A pattern that does not
  // compile matches nothing.
  void AddRule(const std::string& pattern, int32_t score);
  int32_t Score(const std::string& name) const;

 private:
  struct Rule {
    std::regex pattern;
    bool valid;
    int32_t score;
  };
  std::vector<Rule> rules_;
};

// The matcher of the maker's three driver names, each scoring 50.
std::unique_ptr<CAsioDeviceNameMatcher> CreateMakerNameMatcher();

// The installed driver the program picks while no device is configured: the
// best-scoring name (ties by name in byte order) if it scores 50 or more;
// empty otherwise. USB presence is not consulted.
std::wstring PickMakerAsioDriver();
