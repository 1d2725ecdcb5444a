#pragma once

#include <memory>

#include "plugins/common/FileInfoDsd.h"
#include "plugins/common/PluginObject.h"

// The implementation behind a DSD plug-in's object (DSF, DSDIFF): the mode
// switch and the dispatch to its parser, which does the file format work.
class CDsdSource {
 public:
  explicit CDsdSource(std::unique_ptr<CFileInfo_DSD> parser) : parser_(std::move(parser)) {}

  int32_t Name(char16_t* buffer, int32_t length) { return parser_->NameW(buffer, length); }
  int32_t Extensions(char16_t* buffer, int32_t length) {
    return parser_->ExtensionsW(buffer, length);
  }
  int32_t Version(char16_t* buffer, int32_t length) { return parser_->VersionW(buffer, length); }
  int32_t OpenFile(const char16_t* path) { return parser_->OpenFile(path); }
  int32_t OpenMemory(const void* image, std::size_t size) {
    return parser_->OpenMemory(image, size);
  }
  bool IsOpen() const { return parser_->IsOpen(); }
  int32_t FrameCount(int32_t* count) const { return parser_->FrameCount(count); }
  int32_t DataSize(int32_t* bytes) const { return parser_->DataSize(bytes); }
  void SetRange(int32_t first, int32_t last) { parser_->SetRange(first, last); }
  int32_t TitleArtist(void* title, int32_t titleBytes, int32_t* titleEncoding, void* artist,
                      int32_t artistBytes, int32_t* artistEncoding) const {
    return parser_->TitleArtist(title, titleBytes, titleEncoding, artist, artistBytes,
                                artistEncoding);
  }
  void Format(WAVEFORMATEX* format) const { parser_->Format(format); }
  bool HoldsData() const { return parser_->HoldsData(); }
  int32_t Read(void** data, uint32_t* size) {
    return parser_->mode() == CFileInfo_DSD::kModeDop ? parser_->ReadDop(data, size)
                                                      : parser_->ReadRawWords(data, size);
  }
  void ReleaseData() { parser_->ReleaseData(); }
  int32_t Alignment(int32_t* frames) { return parser_->Alignment(frames); }
  int32_t IsDsd() const { return 1; }
  void SetOutputMode(int32_t mode) {
    parser_->SetMode(mode == PPI_MODE_DOP ? CFileInfo_DSD::kModeDop : CFileInfo_DSD::kModeRawWords);
  }
  int32_t TagDictionary(const void** dictionary) { return parser_->TagDictionary(dictionary); }

 private:
  std::unique_ptr<CFileInfo_DSD> parser_;
};

// The object of a DSD plug-in file over its parser class.
template <typename Parser>
CPlayerPluginIF* MakeDsdSource() {
  std::unique_ptr<CFileInfo_DSD> parser(new (std::nothrow) Parser());
  if (!parser) return nullptr;
  return MakePluginObject<CDsdSource>(std::move(parser));
}
