#include "drivers/alsa/AlsaDeviceName.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::string ProcAsoundRoot() {
  const char* root = std::getenv("QP_PROC_ASOUND");
  return root != nullptr && *root != '\0' ? root : "/proc/asound";
}

std::string Lower(std::string text) {
  for (auto& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The first line of a small file, without surrounding blanks.
std::string FirstLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  const auto begin = line.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  return line.substr(begin, line.find_last_not_of(" \t\r") - begin + 1);
}

// The card numbers of <root>/cardN folders, ascending.
std::vector<int> CardNumbers(const std::string& root) {
  std::vector<int> cards;
  std::error_code error;
  for (fs::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.size() <= 4 || name.compare(0, 4, "card") != 0) continue;
    const std::string digits = name.substr(4);
    if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
      continue;
    cards.push_back(std::atoi(digits.c_str()));
  }
  std::sort(cards.begin(), cards.end());
  return cards;
}

bool IsUsbId(const std::string& text) {
  return text.size() == 9 && text[4] == ':' &&
         std::all_of(text.begin(), text.end(),
                     [](unsigned char c) { return c == ':' || std::isxdigit(c); });
}

// The first card whose file `file` reads `wanted` (compared by `same`).
template <typename Same>
int FindCard(const std::string& root, const char* file, Same same) {
  for (const int card : CardNumbers(root)) {
    const fs::path folder = fs::path(root) / ("card" + std::to_string(card));
    if (same(FirstLine(folder / file))) return card;
  }
  return -1;
}

AlsaDeviceName CardDevice(int card) {
  return {true, "hw:" + std::to_string(card) + ",0", card, {}};
}

AlsaDeviceName NotFound(std::string error) {
  return {false, {}, -1, std::move(error)};
}

}  // namespace

AlsaDeviceName ResolveAlsaDevice(const std::string& device) {
  const std::string root = ProcAsoundRoot();
  if (device.compare(0, 4, "usb:") == 0) {
    const std::string id = Lower(device.substr(4));
    if (!IsUsbId(id)) return NotFound("\"" + device + "\" is not a USB id (usb:VVVV:PPPP)");
    const int card =
        FindCard(root, "usbid", [&](const std::string& text) { return Lower(text) == id; });
    if (card < 0) return NotFound("The USB device " + id + " is not connected (no ALSA card)");
    return CardDevice(card);
  }
  if (device.compare(0, 5, "card:") == 0) {
    const std::string name = device.substr(5);
    const int card = FindCard(root, "id", [&](const std::string& text) { return text == name; });
    if (card >= 0) return CardDevice(card);
    const auto cards = CardNumbers(root);
    const bool isNumber =
        !name.empty() &&
        std::all_of(name.begin(), name.end(), [](unsigned char c) { return std::isdigit(c); });
    if (isNumber && std::find(cards.begin(), cards.end(), std::atoi(name.c_str())) != cards.end())
      return CardDevice(std::atoi(name.c_str()));
    return NotFound("No sound card named \"" + name + "\"");
  }
  if (device.empty()) return NotFound("The driver's Device setting is empty");
  return {true, device, -1, {}};
}
