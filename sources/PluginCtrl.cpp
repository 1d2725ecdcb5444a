#include "sources/PluginCtrl.h"

#include <algorithm>
#include <cwctype>
#include <regex>

#include "platform/Paths.h"
#include "platform/TextConv.h"
#include "sources/MusicData.h"

namespace {

constexpr std::size_t kTextBufferUnits = 100;
constexpr std::int32_t kTextLength = 99;

bool EqualIgnoringCase(const std::wstring& a, const std::wstring& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) {
           return std::towlower(static_cast<wint_t>(x)) == std::towlower(static_cast<wint_t>(y));
         });
}

}  // namespace

const PPI_GUID& PluginInterfaceId() {
  static const PPI_GUID id = PPI_INTERFACE_ID_INIT;
  return id;
}

std::wstring ReadPluginText(CPlayerPluginIF* object, PluginTextFn fn, std::size_t bufferUnits,
                            std::int32_t length, std::int32_t* result) {
  std::u16string buffer(bufferUnits, u'\0');
  const std::int32_t code = fn(object, buffer.data(), length);
  if (result != nullptr) *result = code;
  buffer.back() = u'\0';
  buffer.resize(buffer.find(u'\0'));
  return platform::FromUtf16(buffer);
}

std::int32_t MapPluginResult(std::int32_t pluginCode) {
  switch (pluginCode) {
    case PPI_OK:
      return kMusicOk;
    case PPI_E_ARGUMENT:
      return kMusicErrParam;
    case PPI_E_OPEN:
      return kMusicErrOpen;
    case PPI_E_MEMORY:
      return kMusicErrMemory;
    case PPI_E_TOO_LARGE:
      return kMusicErrTooLarge;
    case PPI_E_SEQUENCE:
      return kMusicErrSequence;
    default:  // failed, not initialised, or anything unknown
      return kMusicErrDecode;
  }
}

PluginEntry::PluginEntry(std::unique_ptr<platform::DynamicLibrary> module, PPI_MakeInstanceFn make,
                         PPI_ReleaseInstanceFn release)
    : module_(std::move(module)), make_(make), release_(release) {}

PluginEntry::~PluginEntry() {
  // The shared object goes before its module is unloaded.
  if (shared_ != nullptr) release_(shared_);
}

CPlayerPluginIF* PluginEntry::MakeObject() const {
  CPlayerPluginIF* object = make_();
  if (object == nullptr) return nullptr;
  if (object->table->Initialize(object, &PluginInterfaceId()) == PPI_E_NOT_INITIALIZED) {
    release_(object);
    return nullptr;
  }
  return object;
}

CPlayerPluginIF* PluginEntry::ObtainObject() const {
  return shared_ != nullptr ? shared_ : MakeObject();
}

void PluginEntry::ReleaseObject(CPlayerPluginIF* object) const {
  if (object != nullptr && object != shared_) release_(object);
}

bool PluginEntry::ClaimsExtension(const std::wstring& extension) const {
  std::size_t at = 0;
  while (at < extensions_.size()) {
    const std::size_t begin = extensions_.find_first_not_of(L", ", at);
    if (begin == std::wstring::npos) break;
    const std::size_t end = std::min(extensions_.find_first_of(L", ", begin), extensions_.size());
    if (EqualIgnoringCase(extensions_.substr(begin, end - begin), extension)) return true;
    at = end;
  }
  return false;
}

CPluginCtrl::~CPluginCtrl() {
  UnloadPlugins();
}

std::int32_t CPluginCtrl::LoadPlugins() {
  const std::wstring folder = platform::ExecutableDirectory();
  if (folder.empty()) return -1;
  return LoadPluginsFrom(folder + L"/Plugin");
}

std::shared_ptr<PluginEntry> CPluginCtrl::LoadEntry(const std::wstring& path) const {
  auto module = std::make_unique<platform::DynamicLibrary>();
  if (!module->Load(path)) return nullptr;
  auto make = reinterpret_cast<PPI_MakeInstanceFn>(module->Symbol(PPI_MAKE_INSTANCE_NAME));
  auto release = reinterpret_cast<PPI_ReleaseInstanceFn>(module->Symbol(PPI_RELEASE_INSTANCE_NAME));
  if (make == nullptr || release == nullptr) return nullptr;

  auto entry = std::make_shared<PluginEntry>(std::move(module), make, release);
  CPlayerPluginIF* probe = entry->MakeObject();
  if (probe == nullptr) return nullptr;
  const PlayerPluginTable& ops = *probe->table;
  entry->name_ = ReadPluginText(probe, ops.GetName, kTextBufferUnits, kTextLength);
  entry->extensions_ = ReadPluginText(probe, ops.GetExtensions, kTextBufferUnits, kTextLength);
  entry->version_ = ReadPluginText(probe, ops.GetVersion, kTextBufferUnits, kTextLength);
  std::int32_t multiInstance = 0;
  ops.IsMultiInstance(probe, &multiInstance);
  if (multiInstance != 0) {
    release(probe);
  } else {
    entry->shared_ = probe;
  }
  return entry;
}

std::int32_t CPluginCtrl::LoadPluginsFrom(const std::wstring& folder) {
  // The listing matches ".ppi" in any case; only lower-case names are plug-ins.
  static const std::wregex kPluginName(LR"(^[^\\]+\.ppi$)", std::regex::ECMAScript);
  for (const auto& name : platform::ListFiles(folder, L".ppi")) {
    if (!std::regex_match(name, kPluginName)) continue;
    auto entry = LoadEntry(folder + L"/" + name);
    if (!entry) continue;
    std::shared_ptr<PluginEntry> replaced;
    {
      std::lock_guard lock(mutex_);
      auto same = std::find_if(entries_.begin(), entries_.end(), [&](const auto& existing) {
        return EqualIgnoringCase(existing->extensions(), entry->extensions());
      });
      if (same != entries_.end()) {
        replaced = std::exchange(*same, std::move(entry));
      } else {
        entries_.push_back(std::move(entry));
      }
    }
    // A replaced entry unloads once the last source using it has gone.
  }
  return 0;
}

void CPluginCtrl::UnloadPlugins() {
  std::vector<std::shared_ptr<PluginEntry>> unloaded;
  std::lock_guard lock(mutex_);
  unloaded.swap(entries_);
}

PluginObject CPluginCtrl::FindPlugin(const std::wstring& path) const {
  std::wstring extension = platform::FileExtension(path);
  if (!extension.empty()) extension.erase(0, 1);  // without its dot
  std::shared_ptr<const PluginEntry> match;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : entries_) {
      if (entry->ClaimsExtension(extension)) {
        match = entry;
        break;
      }
    }
  }
  if (!match) return {};
  CPlayerPluginIF* object = match->ObtainObject();
  if (object == nullptr) return {};
  return {std::move(match), object};
}

PluginObject CPluginCtrl::PluginAt(std::size_t index) const {
  auto entry = EntryAt(index);
  if (!entry) return {};
  CPlayerPluginIF* object = entry->ObtainObject();
  if (object == nullptr) return {};
  return {std::move(entry), object};
}

void CPluginCtrl::ReleasePlugin(PluginObject& plugin) {
  if (plugin.entry) plugin.entry->ReleaseObject(plugin.object);
  plugin = {};
}

std::shared_ptr<const PluginEntry> CPluginCtrl::EntryAt(std::size_t index) const {
  std::lock_guard lock(mutex_);
  return index < entries_.size() ? entries_[index] : nullptr;
}

std::size_t CPluginCtrl::PluginCount() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::wstring CPluginCtrl::PluginName(std::size_t index) const {
  const auto entry = EntryAt(index);
  return entry ? entry->name() : std::wstring();
}

std::wstring CPluginCtrl::PluginExtensions(std::size_t index) const {
  const auto entry = EntryAt(index);
  return entry ? entry->extensions() : std::wstring();
}

std::wstring CPluginCtrl::PluginVersion(std::size_t index) const {
  const auto entry = EntryAt(index);
  return entry ? entry->version() : std::wstring();
}
