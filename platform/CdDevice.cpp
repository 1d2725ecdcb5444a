#include "platform/CdDevice.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <cdio/mmc_ll_cmds.h>

#include <cstdint>
#include <cstdio>

#include "platform/CdImageSheet.h"
#include "platform/TextConv.h"

namespace platform {
namespace {

// Drive commands give up after this long.
constexpr unsigned kCommandTimeoutMs = 10000;

// libcdio writes its warnings (short pregaps in images, drivers probed in
// turn) to stderr; failures reach our callers as results, so only errors
// are worth printing. Its own handler ends the process after printing an
// error (a directory or a damaged image named as a disc is enough), so
// ours takes over.
void PrintLibraryErrors(cdio_log_level_t level, const char message[]) {
  if (level >= CDIO_LOG_ERROR) std::fprintf(stderr, "libcdio: %s\n", message);
}

void QuietLibraryWarnings() {
  static std::once_flag once;
  std::call_once(once, [] { cdio_log_set_handler(PrintLibraryErrors); });
}

}  // namespace

std::mutex& CdAccessLock() {
  static std::mutex lock;
  return lock;
}

struct CdDevice::Impl {
  CdIo_t* cdio = nullptr;
  // Lead-out known at opening, bounding every read; none when the drive
  // could not tell it (a read is then simply tried).
  std::optional<std::uint32_t> leadOut;
};

CdDevice::CdDevice() : impl_(std::make_unique<Impl>()) {}

CdDevice::~CdDevice() {
  Close();
}

bool CdDevice::Open(const std::wstring& name) {
  Close();
  // libcdio takes an empty name as "the default drive"; an empty name here
  // names no drive at all.
  if (name.empty()) return false;
  QuietLibraryWarnings();
  const std::string libraryName = ToUtf8(name);
  if (!ImageSheetFitsTrackTable(libraryName)) return false;
  impl_->cdio = cdio_open(libraryName.c_str(), DRIVER_UNKNOWN);
  if (impl_->cdio == nullptr) return false;
  const lsn_t leadOut = cdio_get_track_lsn(impl_->cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut != CDIO_INVALID_LSN && leadOut >= 0) {
    impl_->leadOut = static_cast<std::uint32_t>(leadOut);
  }
  return true;
}

void CdDevice::Close() {
  if (impl_->cdio != nullptr) cdio_destroy(impl_->cdio);
  impl_->cdio = nullptr;
  impl_->leadOut.reset();
}

bool CdDevice::IsOpen() const {
  return impl_->cdio != nullptr;
}

std::optional<CdToc> CdDevice::ReadToc() const {
  CdIo_t* cdio = impl_->cdio;
  if (cdio == nullptr) return std::nullopt;
  const track_t first = cdio_get_first_track_num(cdio);
  const track_t count = cdio_get_num_tracks(cdio);
  if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0) {
    return std::nullopt;
  }
  const lsn_t leadOut = cdio_get_track_lsn(cdio, CDIO_CDROM_LEADOUT_TRACK);
  if (leadOut == CDIO_INVALID_LSN || leadOut < 0) return std::nullopt;

  CdToc toc;
  toc.leadOut = static_cast<std::uint32_t>(leadOut);
  // Images can list more tracks than a disc holds (a cue sheet repeating a
  // track number); they are all reported, each bounding the one before it.
  for (int number = first; number < first + count; ++number) {
    const auto track = static_cast<track_t>(number);
    const lsn_t start = cdio_get_track_lsn(cdio, track);
    if (start == CDIO_INVALID_LSN || start < 0) return std::nullopt;
    toc.tracks.push_back({.number = number,
                          .audio = cdio_get_track_format(cdio, track) == TRACK_FORMAT_AUDIO,
                          .start = static_cast<std::uint32_t>(start)});
  }
  return toc;
}

void CdDevice::SetSpeed(int kilobytesPerSecond) const {
  if (impl_->cdio != nullptr) mmc_set_speed(impl_->cdio, kilobytesPerSecond, kCommandTimeoutMs);
}

bool CdDevice::ReadAudio(std::uint32_t lba, std::uint32_t sectors, void* out) const {
  if (impl_->cdio == nullptr || sectors == 0) return false;
  if (std::uint64_t{lba} + sectors > std::uint64_t{INT32_MAX}) return false;
  // An image reads whatever its file holds past the lead-out, or stale
  // bytes; a drive refuses. Refuse here too.
  if (impl_->leadOut && std::uint64_t{lba} + sectors > *impl_->leadOut) return false;
  return cdio_read_audio_sectors(impl_->cdio, out, static_cast<lsn_t>(lba), sectors) ==
         DRIVER_OP_SUCCESS;
}

std::vector<std::wstring> ListCdDrives() {
  std::lock_guard lock(CdAccessLock());
  QuietLibraryWarnings();
  std::vector<std::wstring> drives;
  char** devices = cdio_get_devices(DRIVER_DEVICE);
  if (devices == nullptr) return drives;
  for (char** device = devices; *device != nullptr; ++device)
    drives.push_back(FromUtf8(*device));
  cdio_free_device_list(devices);
  return drives;
}

}  // namespace platform
