#pragma once

#include <cstdlib>
#include <string>

#include "tests/fixtures/WavWriter.h"

namespace asiotest {

// A private driver registry folder, named to the host by QP_ASIO_DRIVER_DIR
// while the object lives.
class DriverRegistry {
 public:
  DriverRegistry() { setenv("QP_ASIO_DRIVER_DIR", dir_.path().c_str(), 1); }
  ~DriverRegistry() { unsetenv("QP_ASIO_DRIVER_DIR"); }

  // Writes one registry file; empty values leave their key out.
  void Add(const std::string& file, const std::string& name, const std::string& clsid,
           const std::string& library, const std::string& settings = "",
           const std::string& description = "", bool hasDescription = false) {
    std::string text = "[Driver]\n";
    if (!name.empty()) text += "Name=" + name + "\n";
    if (!clsid.empty()) text += "CLSID=" + clsid + "\n";
    if (hasDescription) text += "Description=" + description + "\n";
    if (!library.empty()) text += "Library=" + library + "\n";
    text += "[Settings]\n" + settings;
    fixtures::WriteFile(dir_.File(file), fixtures::Bytes(text.begin(), text.end()));
  }
  std::string File(const std::string& name) const { return dir_.File(name); }
  const std::string& path() const { return dir_.path(); }

 private:
  fixtures::TempDir dir_;
};

inline const std::string kVirtualDac = QP_VIRTUAL_DAC_LIB;
inline const std::string kClassA = "{3C5D0A17-0000-4000-8000-000000000001}";
inline const std::string kClassB = "{3C5D0A17-0000-4000-8000-000000000002}";

}  // namespace asiotest
