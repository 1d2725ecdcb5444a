#include "output/AsioDriverList.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>

#include "platform/Paths.h"
#include "platform/TextConv.h"

namespace {

namespace fs = std::filesystem;

constexpr const char* kCompany = "Corvane";
// A registry file is a few lines; anything far larger is not one, and a
// device node or pipe named *.ini would never end.
constexpr std::uintmax_t kRegistryFileLimit = 64 * 1024;

std::string Trim(const std::string& text) {
  const auto begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return {};
  const auto end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string text) {
  for (auto& c : text)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// One registry file: the [Driver] values and the [Settings] lines. Lines
// starting with ';' or '#' are comments; a later duplicate key wins. Only
// a regular file within the size limit is read.
bool ReadRegistryFile(const fs::path& path, AsioRegistryEntry& entry) {
  std::error_code error;
  if (!fs::is_regular_file(path, error) || fs::file_size(path, error) > kRegistryFileLimit ||
      error) {
    return false;
  }
  std::ifstream in(path);
  if (!in) return false;
  std::string line, section;
  std::map<std::string, std::string> driver;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      section = Lower(Trim(line.substr(1, line.size() - 2)));
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = Trim(line.substr(0, equals));
    const std::string value = Trim(line.substr(equals + 1));
    if (section == "driver") driver[Lower(key)] = value;
    if (section == "settings") entry.settings += key + "=" + value + "\n";
  }
  entry.keyName = driver["name"];
  entry.classId = driver["clsid"];
  entry.library = driver["library"];
  if (!entry.library.empty() && fs::path(entry.library).is_relative()) {
    entry.library = (path.parent_path() / entry.library).lexically_normal().string();
  }
  const auto description = driver.find("description");
  entry.hasDescription = description != driver.end();
  if (entry.hasDescription) entry.description = description->second;
  return !entry.keyName.empty();
}

void CopyField(char* field, std::size_t size, const std::string& text) {
  // Cut at a character boundary so the field stays valid UTF-8.
  std::size_t length = std::min(text.size(), size - 1);
  while (length > 0 && length < text.size() &&
         (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) {
    --length;
  }
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}

// What the program adds to the registry for its run.
struct RegistryAdditions {
  std::mutex mutex;
  std::vector<AsioRegistryEntry> builtIn;
  std::map<std::string, std::string> settings;  // lower-cased key name
};

RegistryAdditions& Additions() {
  static RegistryAdditions additions;
  return additions;
}

}  // namespace

void RegisterBuiltInAsioDriver(AsioRegistryEntry entry) {
  auto& additions = Additions();
  std::lock_guard lock(additions.mutex);
  const std::string key = Lower(entry.keyName);
  for (auto& existing : additions.builtIn) {
    if (Lower(existing.keyName) == key) {
      existing = std::move(entry);
      return;
    }
  }
  additions.builtIn.push_back(std::move(entry));
}

void AddAsioDriverSettings(const std::string& keyName, const std::string& lines) {
  auto& additions = Additions();
  std::lock_guard lock(additions.mutex);
  std::string& settings = additions.settings[Lower(keyName)];
  settings += lines;
  if (!settings.empty() && settings.back() != '\n') settings += '\n';
}

void RegisterVirtualDac() {
  RegisterVirtualDac(platform::ToUtf8(platform::ExecutableDirectory()));
}

void RegisterVirtualDac(const std::string& folder) {
  AsioRegistryEntry entry;
  entry.keyName = kVirtualDacName;
  entry.classId = "{3C5D0A17-0000-4000-8000-00000000D0AC}";
  entry.library = (fs::path(folder) / "libqp_asio_virtual.so").string();
  RegisterBuiltInAsioDriver(std::move(entry));
}

std::vector<std::string> AsioRegistryFolders() {
  if (const char* testFolder = std::getenv("QP_ASIO_DRIVER_DIR"); testFolder && *testFolder) {
    return {testFolder};
  }
  std::vector<std::string> folders;
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  if (configHome != nullptr && *configHome != '\0') {
    folders.push_back(std::string(configHome) + "/" + kCompany + "/asio.d");
  } else if (home != nullptr && *home != '\0') {
    folders.push_back(std::string(home) + "/.config/" + kCompany + "/asio.d");
  }
  folders.push_back(std::string("/etc/xdg/") + kCompany + "/asio.d");
  folders.push_back(platform::ToUtf8(platform::ExecutableDirectory()) + "/asio.d");
  return folders;
}

std::vector<AsioRegistryEntry> ReadAsioRegistry() {
  std::map<std::string, AsioRegistryEntry> byKey;  // lower-cased key name
  for (const auto& folder : AsioRegistryFolders()) {
    std::error_code error;
    std::vector<fs::path> files;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
      if (it->path().extension() == ".ini") files.push_back(it->path());
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      AsioRegistryEntry entry;
      if (!ReadRegistryFile(file, entry)) continue;
      byKey.try_emplace(Lower(entry.keyName), std::move(entry));  // first folder wins
    }
  }
  auto& additions = Additions();
  std::lock_guard lock(additions.mutex);
  for (const auto& entry : additions.builtIn)
    byKey.try_emplace(Lower(entry.keyName), entry);
  std::vector<AsioRegistryEntry> entries;
  for (auto& [key, entry] : byKey) {
    if (const auto extra = additions.settings.find(key); extra != additions.settings.end()) {
      if (!entry.settings.empty() && entry.settings.back() != '\n') entry.settings += '\n';
      entry.settings += extra->second;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

AsioClassId ParseClassId(const std::string& text) {
  AsioClassId id{};
  unsigned parts[11];
  int consumed = 0;
  if (text.size() != 38 ||
      std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &parts[0], &parts[1],
                  &parts[2], &parts[3], &parts[4], &parts[5], &parts[6], &parts[7], &parts[8],
                  &parts[9], &parts[10], &consumed) != 11 ||
      consumed != 38) {
    return id;
  }
  id.data1 = parts[0];
  id.data2 = static_cast<uint16_t>(parts[1]);
  id.data3 = static_cast<uint16_t>(parts[2]);
  for (int i = 0; i < 8; ++i)
    id.data4[i] = static_cast<uint8_t>(parts[3 + i]);
  return id;
}

InstalledAsioDrivers::InstalledAsioDrivers() {
  for (const auto& entry : ReadAsioRegistry()) {
    // A driver without a class id, or whose library file is gone, is not installed.
    if (entry.classId.empty() || entry.library.empty()) continue;
    std::error_code error;
    if (!fs::is_regular_file(entry.library, error)) continue;
    AsioDriverRecord record;
    record.id = static_cast<int32_t>(records_.size());
    record.classId = ParseClassId(entry.classId);
    CopyField(record.libraryPath, sizeof record.libraryPath, entry.library);
    CopyField(record.name, sizeof record.name,
              entry.hasDescription ? entry.description : entry.keyName);
    record.settings = entry.settings;
    records_.push_back(std::move(record));
  }
}

AsioDriverRecord* InstalledAsioDrivers::Record(int32_t id) {
  if (id < 0 || id >= GetDriverCount()) return nullptr;
  return &records_[static_cast<std::size_t>(id)];
}

int32_t InstalledAsioDrivers::GetDriverName(int32_t id, char* buffer, std::size_t size) const {
  if (buffer == nullptr) return kAsioListNoBuffer;
  if (id < 0 || id >= GetDriverCount()) return kAsioListNoDriver;
  if (size == 0) return kAsioListNoBuffer;
  const char* name = records_[static_cast<std::size_t>(id)].name;
  const std::size_t length = std::strlen(name);
  if (length < size) {
    std::memcpy(buffer, name, length + 1);
  } else if (size >= 4) {
    std::memcpy(buffer, name, size - 4);
    std::memcpy(buffer + size - 4, "...", 4);
  } else {
    buffer[0] = '\0';
  }
  return 0;
}

std::shared_ptr<LoadedAsioDriver> CreateAsioDriver(AsioDriverRecord& record) {
  if (!record.module) {
    auto module = std::make_shared<platform::DynamicLibrary>();
    if (!module->Load(platform::FromUtf8(record.libraryPath))) return nullptr;
    record.module = std::move(module);
  }
  auto create = reinterpret_cast<AsioCreateDriverFn>(record.module->Symbol(kAsioCreateDriverName));
  if (create == nullptr) return nullptr;
  IAsioDriver* driver = create(&record.classId, record.settings.c_str());
  if (driver == nullptr) return nullptr;
  return std::make_shared<LoadedAsioDriver>(record.module, driver);
}
