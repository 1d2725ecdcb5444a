#pragma once

#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

#include "sources/PluginInterface.h"

// The object a plug-in file hands out: the table of operations, the
// handshake every operation but Initialize waits for, and the argument
// checks, over an implementation that does the format's work with its
// arguments already checked. No exception crosses the table.
//
// Impl provides: Name, Extensions, Version (char16_t* buffer, length);
// OpenFile(path), OpenMemory(image, size); IsOpen(); FrameCount(int32_t*),
// DataSize(int32_t*); SetRange(first, last); TitleArtist(...);
// Format(WAVEFORMATEX*); HoldsData(), Read(data, size), ReleaseData();
// Alignment(int32_t*); IsDsd() (the flag); SetOutputMode(mode);
// TagDictionary(const void**).
template <typename Impl>
class CPluginObject : public CPlayerPluginIF {
 public:
  template <typename... Args>
  explicit CPluginObject(Args&&... args) : impl_(std::forward<Args>(args)...) {
    table = &kTable;
  }
  CPluginObject(const CPluginObject&) = delete;
  CPluginObject& operator=(const CPluginObject&) = delete;

 private:
  static CPluginObject& Self(CPlayerPluginIF* self) { return *static_cast<CPluginObject*>(self); }
  static Impl* Ready(CPlayerPluginIF* self) {
    return Self(self).initialized_ ? &Self(self).impl_ : nullptr;
  }

  static int32_t Initialize(CPlayerPluginIF* self, const PPI_GUID* id) {
    static const PPI_GUID kKnown = PPI_INTERFACE_ID_INIT;
    Self(self).initialized_ = id != nullptr && std::memcmp(id, &kKnown, sizeof kKnown) == 0;
    return Self(self).initialized_ ? PPI_OK : PPI_E_NOT_INITIALIZED;
  }
  static int32_t GetName(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
    Impl* impl = Ready(self);
    return impl == nullptr ? PPI_E_NOT_INITIALIZED : impl->Name(buffer, length);
  }
  static int32_t GetExtensions(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
    Impl* impl = Ready(self);
    return impl == nullptr ? PPI_E_NOT_INITIALIZED : impl->Extensions(buffer, length);
  }
  static int32_t GetVersion(CPlayerPluginIF* self, char16_t* buffer, int32_t length) {
    Impl* impl = Ready(self);
    return impl == nullptr ? PPI_E_NOT_INITIALIZED : impl->Version(buffer, length);
  }
  static int32_t OpenFile(CPlayerPluginIF* self, const char16_t* path) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    return path == nullptr ? PPI_E_ARGUMENT : impl->OpenFile(path);
  }
  static int32_t OpenMemory(CPlayerPluginIF* self, const void* image, int32_t size) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (image == nullptr || size <= 0) return PPI_E_ARGUMENT;
    return impl->OpenMemory(image, static_cast<std::size_t>(size));
  }
  static int32_t GetFrameCount(CPlayerPluginIF* self, int32_t* count) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    return count == nullptr ? PPI_E_ARGUMENT : impl->FrameCount(count);
  }
  static int32_t GetDataSize(CPlayerPluginIF* self, int32_t* bytes) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    return bytes == nullptr ? PPI_E_ARGUMENT : impl->DataSize(bytes);
  }
  static int32_t SetFrameRange(CPlayerPluginIF* self, int32_t first, int32_t last) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (first < 0 || first > last) return PPI_E_ARGUMENT;
    if (!impl->IsOpen()) return PPI_E_FAIL;
    impl->SetRange(first, last);
    return PPI_OK;
  }
  static int32_t GetTitleArtist(CPlayerPluginIF* self, void* title, int32_t titleBytes,
                                int32_t* titleEncoding, void* artist, int32_t artistBytes,
                                int32_t* artistEncoding) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (title == nullptr || titleEncoding == nullptr || artist == nullptr ||
        artistEncoding == nullptr || titleBytes <= 0 || artistBytes <= 0) {
      return PPI_E_ARGUMENT;
    }
    return impl->TitleArtist(title, titleBytes, titleEncoding, artist, artistBytes, artistEncoding);
  }
  static int32_t GetFormat(CPlayerPluginIF* self, WAVEFORMATEX* format) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (format == nullptr) return PPI_E_ARGUMENT;
    impl->Format(format);
    return PPI_OK;
  }
  static int32_t Read(CPlayerPluginIF* self, void** data, uint32_t* size) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (data == nullptr || size == nullptr) return PPI_E_ARGUMENT;
    // One delivered buffer at a time: the caller releases it first.
    return impl->HoldsData() ? PPI_E_FAIL : impl->Read(data, size);
  }
  static int32_t ReleaseData(CPlayerPluginIF* self) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    impl->ReleaseData();
    return PPI_OK;
  }
  static int32_t IsMultiInstance(CPlayerPluginIF* self, int32_t* flag) {
    if (Ready(self) == nullptr) return PPI_E_NOT_INITIALIZED;
    if (flag == nullptr) return PPI_E_ARGUMENT;
    *flag = 1;
    return PPI_OK;
  }
  static int32_t GetAlignment(CPlayerPluginIF* self, int32_t* frames) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    return frames == nullptr ? PPI_E_ARGUMENT : impl->Alignment(frames);
  }
  static int32_t IsDsd(CPlayerPluginIF* self, int32_t* flag) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (flag == nullptr) return PPI_E_ARGUMENT;
    *flag = impl->IsDsd();
    return PPI_OK;
  }
  static int32_t SetOutputMode(CPlayerPluginIF* self, int32_t mode) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    if (mode != PPI_MODE_DOP && mode != PPI_MODE_RAW_DSD) return PPI_E_ARGUMENT;
    impl->SetOutputMode(mode);
    return PPI_OK;
  }
  static int32_t GetTagMap(CPlayerPluginIF* self, const void** dictionary) {
    Impl* impl = Ready(self);
    if (impl == nullptr) return PPI_E_NOT_INITIALIZED;
    return dictionary == nullptr ? PPI_E_ARGUMENT : impl->TagDictionary(dictionary);
  }
  static void Destroy(CPlayerPluginIF* self) { delete &Self(self); }

  static constexpr PlayerPluginTable kTable = {
      Initialize, GetName,       GetExtensions, GetVersion,      OpenFile,
      OpenMemory, GetFrameCount, GetDataSize,   SetFrameRange,   GetTitleArtist,
      GetFormat,  Read,          ReleaseData,   IsMultiInstance, GetAlignment,
      IsDsd,      SetOutputMode, GetTagMap,     Destroy,
  };

  Impl impl_;
  bool initialized_ = false;
};

// The two exports of a plug-in file, over its object's implementation.
template <typename Impl, typename... Args>
CPlayerPluginIF* MakePluginObject(Args&&... args) {
  return new (std::nothrow) CPluginObject<Impl>(std::forward<Args>(args)...);
}

inline void ReleasePluginObject(CPlayerPluginIF* object) {
  if (object != nullptr) object->table->Destroy(object);
}
