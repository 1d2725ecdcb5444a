#pragma once

#include <string>

namespace platform {

// A shared library loaded with every symbol resolved at once and kept private
// to its users; unloaded when the object goes.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool Load(const std::wstring& path);
  bool IsLoaded() const { return handle_ != nullptr; }
  // The address of an exported symbol, or null.
  void* Symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

}  // namespace platform
