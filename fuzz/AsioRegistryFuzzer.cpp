// Driver registry files (asio.d/*.ini): the input is the one file of a
// registry folder, read into the installed-driver list as the host reads it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "fuzz/FuzzInput.h"
#include "output/AsioDriverList.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const std::string folder = fuzzing::ScratchFolder() + "/asio.d";
  std::filesystem::create_directory(folder);
  setenv("QP_ASIO_DRIVER_DIR", folder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::WriteScratchFile("asio.d/driver.ini", data, size);
  for (const AsioRegistryEntry& entry : ReadAsioRegistry())
    ParseClassId(entry.classId);
  const InstalledAsioDrivers drivers;
  for (std::int32_t id = 0; id < drivers.GetDriverCount(); ++id) {
    for (const std::size_t length : {1, 4, 16, 128}) {
      char name[128];
      if (drivers.GetDriverName(id, name, length) != 0)
        fuzzing::Violated("a listed driver has no name");
    }
  }
  return 0;
}
