#pragma once

#include <dlfcn.h>

#include <cstdint>
#include <string>

#include "sources/PluginCtrl.h"
#include "sources/PluginInterface.h"
#include "tests/fixtures/WavWriter.h"

namespace plugintest {

using fixtures::Bytes;

// The plug-in file loaded as the player loads it, one object per test.
class LoadedPlugin {
 public:
  explicit LoadedPlugin(const std::string& path)
      : module_(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
    if (module_ == nullptr) return;
    make_ = reinterpret_cast<PPI_MakeInstanceFn>(dlsym(module_, PPI_MAKE_INSTANCE_NAME));
    release_ = reinterpret_cast<PPI_ReleaseInstanceFn>(dlsym(module_, PPI_RELEASE_INSTANCE_NAME));
    object_ = make_ ? make_() : nullptr;
  }
  ~LoadedPlugin() {
    if (object_ != nullptr) release_(object_);
    if (module_ != nullptr) dlclose(module_);
  }
  bool loaded() const { return object_ != nullptr; }
  const PlayerPluginTable& ops() const { return *object_->table; }
  CPlayerPluginIF* self() const { return object_; }
  int32_t Initialize() const { return ops().Initialize(object_, &PluginInterfaceId()); }

  int32_t OpenImage(const Bytes& image) {
    image_ = image;
    return ops().OpenMemory(object_, image_.data(), static_cast<int32_t>(image_.size()));
  }
  // Reads frames first..last and releases the plug-in's buffer.
  int32_t ReadRange(int32_t first, int32_t last, Bytes& out) {
    if (const int32_t r = ops().SetFrameRange(object_, first, last); r != 0) return r;
    void* data = nullptr;
    uint32_t size = 0;
    const int32_t result = ops().Read(object_, &data, &size);
    if (result == 0)
      out.assign(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    ops().ReleaseData(object_);
    return result;
  }
  int32_t Frames() const {
    int32_t frames = -99;
    const int32_t r = ops().GetFrameCount(object_, &frames);
    return r == 0 ? frames : r;
  }

 private:
  LoadedPlugin(const LoadedPlugin&) = delete;
  LoadedPlugin& operator=(const LoadedPlugin&) = delete;

  void* module_;
  PPI_MakeInstanceFn make_ = nullptr;
  PPI_ReleaseInstanceFn release_ = nullptr;
  CPlayerPluginIF* object_ = nullptr;
  Bytes image_;
};

}  // namespace plugintest
