#include "output/DeviceNameMatcher.h"

#include <algorithm>

#include "output/AsioDriverList.h"
#include "platform/TextConv.h"

void CAsioDeviceNameMatcher::AddRule(const std::string& pattern, int32_t score) {
  Rule rule{std::regex(), false, std::clamp(score, 0, 100)};
  try {
    rule.pattern = std::regex(pattern, std::regex::ECMAScript);
    rule.valid = true;
  } catch (const std::regex_error&) {
  }
  rules_.push_back(std::move(rule));
}

int32_t CAsioDeviceNameMatcher::Score(const std::string& name) const {
  int32_t result = 0;
  for (const auto& rule : rules_) {
    if (rule.valid && std::regex_match(name, rule.pattern)) result = std::max(result, rule.score);
  }
  return result;
}

std::unique_ptr<CAsioDeviceNameMatcher> CreateMakerNameMatcher() {
  auto matcher = std::make_unique<CAsioDeviceNameMatcher>();
  matcher->AddRule(R"(Corvane ASIO Audio Device\(KLM\))", 50);
  matcher->AddRule(R"(Corvane ASIO Audio Driver\(KLM\))", 50);
  matcher->AddRule(R"(Corvane USB DAC AMP\(KLM\))", 50);
  return matcher;
}

std::wstring PickMakerAsioDriver() {
  const auto matcher = CreateMakerNameMatcher();
  const InstalledAsioDrivers drivers;
  std::vector<std::pair<int32_t, std::string>> scored;
  for (int32_t id = 0; id < drivers.GetDriverCount(); ++id) {
    char name[256] = {};
    if (drivers.GetDriverName(id, name, sizeof name) != 0) continue;
    if (const int32_t score = matcher->Score(name); score > 0) scored.emplace_back(score, name);
  }
  std::sort(scored.begin(), scored.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first > b.first : a.second < b.second;
  });
  if (scored.empty() || scored.front().first < 50) return {};
  return platform::FromUtf8(scored.front().second);
}
