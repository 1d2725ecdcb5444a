#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/DynamicLibrary.h"
#include "sources/PluginInterface.h"

// One loaded plug-in file: its module, its two exports, its texts and, for a
// plug-in that serves every file with one object, that shared object.
class PluginEntry {
 public:
  PluginEntry(std::unique_ptr<platform::DynamicLibrary> module, PPI_MakeInstanceFn make,
              PPI_ReleaseInstanceFn release);
  ~PluginEntry();
  PluginEntry(const PluginEntry&) = delete;
  PluginEntry& operator=(const PluginEntry&) = delete;

  // A new object accepted by Initialize, or null.
  CPlayerPluginIF* MakeObject() const;
  // The shared object when there is one, else a new object.
  CPlayerPluginIF* ObtainObject() const;
  // Gives back an object from ObtainObject; the shared one stays.
  void ReleaseObject(CPlayerPluginIF* object) const;

  const std::wstring& name() const { return name_; }
  const std::wstring& extensions() const { return extensions_; }
  const std::wstring& version() const { return version_; }
  bool ClaimsExtension(const std::wstring& extension) const;

 private:
  friend class CPluginCtrl;
  std::unique_ptr<platform::DynamicLibrary> module_;
  PPI_MakeInstanceFn make_;
  PPI_ReleaseInstanceFn release_;
  CPlayerPluginIF* shared_ = nullptr;
  std::wstring name_;
  std::wstring extensions_;
  std::wstring version_;
};

// A plug-in object together with the entry that made it: the entry (and so
// its module) lives as long as the object, even across a re-scan or unload.
struct PluginObject {
  std::shared_ptr<const PluginEntry> entry;
  CPlayerPluginIF* object = nullptr;
  explicit operator bool() const { return object != nullptr; }
};

// The registry of plug-in files found in the "Plugin" folder beside the
// program. Its operations may be called from any thread.
class CPluginCtrl {
 public:
  CPluginCtrl() = default;
  ~CPluginCtrl();
  CPluginCtrl(const CPluginCtrl&) = delete;
  CPluginCtrl& operator=(const CPluginCtrl&) = delete;

  // Scans the program's plug-in folder: 0, or -1 when the program's own
  // location is unknown.
  std::int32_t LoadPlugins();
  // Scans a given folder the same way; a plug-in whose extension list equals
  // a registered one (in any case) replaces it.
  std::int32_t LoadPluginsFrom(const std::wstring& folder);
  void UnloadPlugins();

  // The object for a file by its extension, or an empty result.
  PluginObject FindPlugin(const std::wstring& path) const;
  // The object for a registry entry, or an empty result.
  PluginObject PluginAt(std::size_t index) const;
  // Gives back an object from FindPlugin or PluginAt through its own entry.
  static void ReleasePlugin(PluginObject& plugin);

  std::size_t PluginCount() const;
  std::wstring PluginName(std::size_t index) const;
  std::wstring PluginExtensions(std::size_t index) const;
  std::wstring PluginVersion(std::size_t index) const;

 private:
  std::shared_ptr<PluginEntry> LoadEntry(const std::wstring& path) const;
  std::shared_ptr<const PluginEntry> EntryAt(std::size_t index) const;

  mutable std::mutex mutex_;  // guards entries_; never held while calling a plug-in
  std::vector<std::shared_ptr<PluginEntry>> entries_;
};

// The interface identifier the player offers to every plug-in.
const PPI_GUID& PluginInterfaceId();

// A text the plug-in writes into a buffer of `bufferUnits` 16-bit units of
// which it may use `length`; the result ends at the first zero or at the end
// of the buffer, whatever the plug-in wrote.
using PluginTextFn = std::int32_t (*)(CPlayerPluginIF*, char16_t*, std::int32_t);
std::wstring ReadPluginText(CPlayerPluginIF* object, PluginTextFn fn, std::size_t bufferUnits,
                            std::int32_t length, std::int32_t* result = nullptr);

// The source result code for a plug-in result code.
std::int32_t MapPluginResult(std::int32_t pluginCode);
