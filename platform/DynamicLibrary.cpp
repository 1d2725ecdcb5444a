#include "platform/DynamicLibrary.h"

#include <dlfcn.h>

#include "platform/TextConv.h"

namespace platform {

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool DynamicLibrary::Load(const std::wstring& path) {
  if (handle_ != nullptr) return false;
  handle_ = dlopen(ToUtf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
  return handle_ != nullptr;
}

void* DynamicLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace platform
