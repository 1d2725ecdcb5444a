#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

// An INI file with the rules of the Windows private-profile functions:
// "[section]" lines open sections, "key=value" lines inside them hold text
// values, names compare without regard to case, blanks around names and
// values do not count, and the first of duplicate sections or keys is the
// one read and written. Text is UTF-8 (a byte-order mark is accepted and
// kept). Every line that is not written to (comments, unknown sections and
// keys, lines that make no sense) stays byte for byte, so saving changes
// nothing but the values set.
class IniFile {
 public:
  // Reads the file at `path`; a missing file is an empty document. False,
  // leaving an empty document, when the file exists but cannot be read.
  bool Load(const std::wstring& path);
  // Writes the document to `path` atomically (see WriteFileAtomically).
  bool Save(const std::wstring& path) const;

  // The value of a key, without one pair of quotes (" or ') enclosing it
  // whole; `fallback` when the section or the key is missing.
  std::wstring GetString(const std::wstring& section, const std::wstring& key,
                         const std::wstring& fallback) const;
  // The value read as an integer: an optional sign and the decimal digits
  // that lead it (0 when there are none), limited to the 32-bit range;
  // `fallback` when the key is missing or its value is empty.
  std::int32_t GetInt(const std::wstring& section, const std::wstring& key,
                      std::int32_t fallback) const;
  // Sets a key's value; a new key goes after the last key of its section, a
  // new section at the end of the file. Line breaks in `value` become
  // blanks, and a value that reading would change (blanks at either end,
  // enclosing quotes) is written inside double quotes, so that reading gives
  // back exactly what was set.
  void SetString(const std::wstring& section, const std::wstring& key, const std::wstring& value);

  // The document as it would be saved.
  std::string Text() const;

 private:
  struct Line {
    std::string text;    // the raw bytes without the line ending
    std::string ending;  // "\n", "\r\n", or empty for a last line without one
  };
  // The value of a key with enclosing quotes removed, if the key exists.
  std::optional<std::wstring> Lookup(const std::wstring& section, const std::wstring& key) const;
  // Index of the first header line of `section`, or npos.
  std::size_t FindSection(const std::wstring& section) const;
  // Index of the first line of `key` inside the section at `header`, or npos.
  std::size_t FindKey(std::size_t header, const std::wstring& key) const;
  // Index one past the section's last key line (or its header).
  std::size_t EndOfEntries(std::size_t header) const;
  void InsertLine(std::size_t at, std::string text);

  std::string byteOrderMark_;
  std::string newline_ = "\n";
  std::vector<Line> lines_;
};

}  // namespace platform
