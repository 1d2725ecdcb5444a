#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// Bytes of one raw audio sector: 1/75 second of 16-bit stereo at 44100 Hz.
inline constexpr std::uint32_t kCdSectorBytes = 2352;
// Track numbers on a disc run from 1 to 99.
inline constexpr std::size_t kCdMaxTracks = 99;

struct CdTocTrack {
  int number = 0;
  bool audio = false;
  std::uint32_t start = 0;  // logical block address; the first track usually at 0
};

// A disc's table of contents: its tracks in disc order and the address of
// the lead-out, the first sector after the last track. A disc holds at most
// kCdMaxTracks; an image may claim more.
struct CdToc {
  std::vector<CdTocTrack> tracks;
  std::uint32_t leadOut = 0;
};

// The one lock of the process around every access to any CD device or image:
// opening, the table of contents, the speed and every read. A leaf lock:
// nothing else is taken while it is held.
std::mutex& CdAccessLock();

// One CD drive or disc image, by device name ("/dev/sr0") or image path (a
// BIN/CUE sheet or any image libcdio reads). Callers hold CdAccessLock.
class CdDevice {
 public:
  CdDevice();
  ~CdDevice();
  CdDevice(const CdDevice&) = delete;
  CdDevice& operator=(const CdDevice&) = delete;

  // False for an empty name, a missing device, an unreadable image or a
  // sheet libcdio cannot hold (ImageSheetFitsTrackTable).
  bool Open(const std::wstring& name);
  void Close();
  bool IsOpen() const;

  // Null when the disc's table of contents cannot be read or makes no sense.
  std::optional<CdToc> ReadToc() const;
  // Asks the drive for a read speed; images and some drives refuse, which
  // does not matter.
  void SetSpeed(int kilobytesPerSecond) const;
  // Reads `sectors` raw audio sectors (kCdSectorBytes each) from `lba` on.
  // A read that would reach past the lead-out fails, as it does on a drive.
  bool ReadAudio(std::uint32_t lba, std::uint32_t sectors, void* out) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// The CD drives of the machine by device name, for choosing one.
std::vector<std::wstring> ListCdDrives();

}  // namespace platform
