#include "sources/SmartFileReader.h"

#include <algorithm>
#include <new>

#include "platform/File.h"

struct CSmartFileReader::Impl {
  platform::File file;
  std::unique_ptr<std::uint8_t[]> window;
  std::uint64_t requestOffset = 0;
  std::uint32_t requestLength = 0;
  std::uint64_t windowOffset = 0;
  std::uint32_t windowValid = 0;
  const std::uint8_t* result = nullptr;
  std::uint32_t resultLength = 0;
  std::uint64_t size = 0;
  bool open = false;
};

CSmartFileReader::CSmartFileReader() : impl_(std::make_unique<Impl>()) {}

CSmartFileReader::~CSmartFileReader() {
  Close();
}

bool CSmartFileReader::Open(const std::wstring& path) {
  Close();
  // Kept from an earlier open; never read beyond what a fetch filled, so it
  // needs no clearing (a list of thousands of files opens one after another).
  if (!impl_->window) impl_->window.reset(new (std::nothrow) std::uint8_t[kWindowBytes]);
  if (!impl_->window) return false;
  const std::int64_t size = impl_->file.OpenRead(path) ? impl_->file.Size() : -1;
  if (size < 0) {
    impl_->file.Close();
    impl_->window.reset();
    return false;
  }
  impl_->size = static_cast<std::uint64_t>(size);
  impl_->open = true;
  return true;
}

void CSmartFileReader::Close() {
  Impl& d = *impl_;
  d.file.Close();
  d.size = 0;
  d.requestOffset = 0;
  d.requestLength = 0;
  d.windowOffset = 0;
  d.windowValid = 0;
  d.result = nullptr;
  d.resultLength = 0;
  d.open = false;
}

bool CSmartFileReader::IsOpen() const {
  return impl_->open;
}

std::uint64_t CSmartFileReader::Size() const {
  return impl_->size;
}

bool CSmartFileReader::Request(std::uint64_t offset, std::uint32_t length) {
  if (!impl_->open) return false;
  impl_->requestOffset = offset;
  impl_->requestLength = std::min(length, kWindowBytes);
  return true;
}

std::uint32_t CSmartFileReader::Fetch() {
  Impl& d = *impl_;
  if (!d.open) {
    d.result = nullptr;
    d.resultLength = 0;
    return 0;
  }
  // Differences, not sums, so that no offset near the top of the range wraps.
  const bool inWindow = d.requestOffset >= d.windowOffset &&
                        d.requestOffset - d.windowOffset <= d.windowValid &&
                        d.requestLength <= d.windowValid - (d.requestOffset - d.windowOffset);
  if (inWindow) {
    d.result = d.window.get() + (d.requestOffset - d.windowOffset);
    d.resultLength = d.requestLength;
  } else {
    const std::int64_t got = d.file.ReadAt(d.requestOffset, d.window.get(), kWindowBytes);
    d.windowOffset = d.requestOffset;
    d.windowValid = got > 0 ? static_cast<std::uint32_t>(got) : 0;
    d.result = d.window.get();
    d.resultLength = std::min(d.requestLength, d.windowValid);
  }
  return d.resultLength;
}

const std::uint8_t* CSmartFileReader::Data() const {
  return impl_->result;
}

std::span<const std::uint8_t> CSmartFileReader::FetchAt(std::uint64_t offset,
                                                        std::uint32_t length) {
  if (!Request(offset, length)) return {};
  const std::uint32_t available = Fetch();
  return {Data(), available};
}
