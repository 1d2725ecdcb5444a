#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

// Cheap random access to a file of any size for the MP3 parser: the caller
// names an offset and a length and gets a pointer into a 1 MiB window that
// holds those bytes. The window is refilled from the file, starting exactly
// at the requested offset, only when the bytes are not already in it, so
// scanning headers, peeking ahead and stepping back cost no system read.
// Shared by the MP3 stream objects that read one file; one thread at a time.
class CSmartFileReader {
 public:
  static constexpr std::uint32_t kWindowBytes = 1u << 20;

  CSmartFileReader();
  virtual ~CSmartFileReader();
  CSmartFileReader(const CSmartFileReader&) = delete;
  CSmartFileReader& operator=(const CSmartFileReader&) = delete;

  // Allocates the window (once per reader) and opens the file; false when
  // either fails.
  bool Open(const std::wstring& path);
  void Close();
  bool IsOpen() const;
  std::uint64_t Size() const;

  // Records the next request; a request is never longer than the window.
  // False when no file is open.
  bool Request(std::uint64_t offset, std::uint32_t length);
  // Serves the pending request and returns how many of its bytes are
  // available (fewer near the end of the file, 0 at or past it); Data()
  // points at them until the next Fetch.
  std::uint32_t Fetch();
  const std::uint8_t* Data() const;

  // Request and Fetch in one: the available bytes at offset, at most length.
  std::span<const std::uint8_t> FetchAt(std::uint64_t offset, std::uint32_t length);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};
