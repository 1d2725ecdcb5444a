#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "sources/MusicData.h"
#include "sources/PluginCtrl.h"

// Plays a file through the plug-in that claims its extension: plug-in frames
// become CD-frame positions and every plug-in buffer is copied into a buffer
// of our own before the plug-in gets it back.
class CMusicDataPlugin : public CMusicData {
 public:
  // For a file: the plug-in claiming its extension, if any.
  CMusicDataPlugin(std::shared_ptr<CPluginCtrl> registry, const std::wstring& path);
  // For a registry entry, as the open-file dialog lists the plug-in kinds.
  CMusicDataPlugin(std::shared_ptr<CPluginCtrl> registry, std::size_t index);
  ~CMusicDataPlugin() override;

  const FileTypeInfo* GetFileType() override;
  std::int32_t Open(const MusicOpenParams& params) override;
  std::int32_t GetTrackCount(std::int32_t* count) override;
  std::int32_t GetTrackInfo(std::int32_t index, TrackInfo* info) override;
  std::int32_t SetPlayRange(std::uint32_t first, std::uint32_t last, std::uint32_t offset) override;
  std::int32_t Read(void** data, std::uint32_t* size) override;
  std::int32_t ReadAll(void** data, std::uint32_t* size) override;
  std::int32_t IsDsd(std::int32_t* flag) override;
  std::int32_t SetDsdPacking(std::int32_t mode) override;
  std::int32_t IsMultiInstance(std::int32_t* flag) override;
  // The plug-in's own reason for refusing the file: the "Error" text of its
  // tag dictionary (UTF-8), when it put one there.
  std::wstring OpenFailureReason() const override;

 private:
  void TakeIdentity();
  std::uint32_t Alignment() const;
  std::uint32_t TotalFrames() const;
  // Copies frames current..last from the plug-in into a buffer of our own.
  std::int32_t CopyFrames(std::uint32_t last, void** data, std::uint32_t* size);
  const PlayerPluginTable& ops() const { return *plugin_.object->table; }

  std::shared_ptr<CPluginCtrl> registry_;
  PluginObject plugin_;
  TrackInfo info_;
  std::wstring openFailure_;
  std::wstring name_;
  std::wstring extensions_;
  FileTypeInfo fileType_{};
  std::uint32_t currentFrame_ = 0;
  std::uint32_t totalFrames_ = 0;
};
