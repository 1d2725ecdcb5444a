#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Decodes the text of an ID3v2 text frame by its encoding byte: 1 UTF-16 with
// byte-order mark, 2 UTF-16 big-endian, 3 UTF-8, anything else the legacy
// 8-bit code page. Stops at the first zero unit and never reads past `size`
// bytes (a trailing odd byte of UTF-16 text is dropped).
std::wstring DecodeId3Text(const std::uint8_t* bytes, std::size_t size, std::uint8_t encoding);
