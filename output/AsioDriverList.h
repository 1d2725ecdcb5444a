#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "output/AsioApi.h"
#include "platform/DynamicLibrary.h"

// Where drivers are registered: one small INI file per driver (*.ini) in
// "asio.d" folders. The folder named by QP_ASIO_DRIVER_DIR, when set, is the
// whole registry (tests and demos); otherwise the user's folder and then the
// system's, a user entry hiding a system entry of the same name.
//
//   [Driver]
//   Name=Corvane USB DAC AMP(KLM)       the registry key name
//   CLSID={3C5D0A17-0000-4000-8000-000000000001}
//   Description=...                     optional, listed instead of Name
//   Library=/usr/lib/quorelle/libqp_asio_alsa.so
//   [Settings]
//   Device=usb:3c5d:0a17                handed to the driver as it is
struct AsioRegistryEntry {
  std::string keyName;
  std::string classId;
  std::string description;
  bool hasDescription = false;
  std::string library;
  std::string settings;  // "key=value" lines
};
// The registry's folders, the first one winning: QP_ASIO_DRIVER_DIR alone
// when set; else the user's, the system's, and "asio.d" beside the program
// (which an installed program brings along). A relative Library= is taken
// from the folder of the file that names it.
std::vector<std::string> AsioRegistryFolders();
// Every entry of the registry sorted by key name (case ignored), as the
// registry enumerates its keys, with the built-in entries the registry does
// not name itself, and the settings lines added for this run.
std::vector<AsioRegistryEntry> ReadAsioRegistry();

// A driver the program brings built in: listed unless the registry holds
// an entry of that name (case ignored). Process-wide, for the whole run.
void RegisterBuiltInAsioDriver(AsioRegistryEntry entry);
// Settings lines ("key=value\n...") added after those of the named entry,
// whichever folder it comes from, for this run only; later keys win.
void AddAsioDriverSettings(const std::string& keyName, const std::string& lines);

// The virtual DAC, the device that is always there: "Virtual DAC" over the
// libqp_asio_virtual.so in `folder` (the program's own by default).
inline constexpr const char* kVirtualDacName = "Virtual DAC";
void RegisterVirtualDac();
void RegisterVirtualDac(const std::string& folder);

// A driver object together with the module it came from; the object is
// released before the module is unloaded.
class LoadedAsioDriver {
 public:
  LoadedAsioDriver(std::shared_ptr<platform::DynamicLibrary> module, IAsioDriver* driver)
      : module_(std::move(module)), driver_(driver) {}
  ~LoadedAsioDriver() {
    if (driver_ != nullptr) driver_->Release();
  }
  LoadedAsioDriver(const LoadedAsioDriver&) = delete;
  LoadedAsioDriver& operator=(const LoadedAsioDriver&) = delete;
  IAsioDriver* get() const { return driver_; }

 private:
  std::shared_ptr<platform::DynamicLibrary> module_;
  IAsioDriver* driver_;
};

struct AsioDriverRecord {
  int32_t id = 0;
  AsioClassId classId{};
  char libraryPath[512] = {};
  char name[128] = {};
  std::string settings;
  // Loaded with the first driver object and kept until the list goes, so a
  // driver library's process-wide state (the ALSA driver keeps its PCMs
  // open between tracks) outlives the driver objects, one per open.
  std::shared_ptr<platform::DynamicLibrary> module;
  std::shared_ptr<LoadedAsioDriver> driver;  // null until loaded
};

// Result codes of the driver list.
enum : int32_t { kAsioListNoBuffer = -5001, kAsioListNoDriver = -5003 };

// The installed drivers: every registry entry that has a class id and whose
// library file exists, in registry order, ids counting from 0.
class InstalledAsioDrivers {
 public:
  InstalledAsioDrivers();
  int32_t GetDriverCount() const { return static_cast<int32_t>(records_.size()); }
  // Copies the name into `size` bytes; a name that does not fit is cut to
  // size - 4 characters followed by "...".
  int32_t GetDriverName(int32_t id, char* buffer, std::size_t size) const;
  AsioDriverRecord* Record(int32_t id);

  int32_t currentId = -1;

 private:
  std::vector<AsioDriverRecord> records_;
};

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}"; 16 zero bytes when the text
// does not parse.
AsioClassId ParseClassId(const std::string& text);

// Creates the driver object of a record: loads its library and calls its
// factory with the class id and settings. Null on any failure.
std::shared_ptr<LoadedAsioDriver> CreateAsioDriver(AsioDriverRecord& record);
