#include "app/AppConfigData.h"

#include "app/AppConfigDataBackend.h"

bool CAppConfigDataBase::Save() {
  return backend_ && backend_->Save(*this);
}

bool CAppConfigDataBase::Load() {
  return backend_ && backend_->Load(*this);
}

void CAppConfigDataBase::SetBackend(std::shared_ptr<CAppConfigDataBackendBase> backend) {
  backend_ = std::move(backend);
}

void CAppConfigData::ResetToDefaults() {
  windowX.Reset();
  windowY.Reset();
  device.Reset();
  mp3Gapless.Reset();
  thrGapless.Reset();
  decodeMode.Reset();
  ramMode.Reset();
  repeatMode.Reset();
  shuffleMode.Reset();
  playlistFile.Reset();
}
