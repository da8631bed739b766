#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace ostrel {

// The one place where the program's GBK (code page 936) byte strings meet Unicode.
// Texts stay GBK everywhere else; convert only for display and for UTF-8 outputs.

// GBK bytes to UTF-8. A byte sequence that is not valid GBK becomes U+FFFD for each
// byte it spans; the conversion never fails.
std::string gbkToUtf8(std::string_view gbk);

// UTF-8 to GBK. A character GBK cannot hold, or invalid UTF-8, becomes "?".
std::string utf8ToGbk(std::string_view utf8);

// The same conversions with the system's converters opened once, on first need, and kept:
// for a writer, reader or view that converts many texts (one per save, load or grid, not
// one per text). Texts of ASCII alone pass through unconverted. One thread at a time.
class GbkConverter {
 public:
  GbkConverter();
  ~GbkConverter();
  GbkConverter(const GbkConverter&) = delete;
  GbkConverter& operator=(const GbkConverter&) = delete;

  std::string toUtf8(std::string_view gbk);
  std::string toGbk(std::string_view utf8);

 private:
  struct Converters;
  std::unique_ptr<Converters> m_converters;
};

// True when byte b starts a two-byte GBK character (0x81..0xFE).
constexpr bool isGbkLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
// True when byte b may be the second byte of a two-byte GBK character (0x40..0xFE but 0x7F).
constexpr bool isGbkTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }

// The longest prefix of text of at most maxBytes bytes that does not end in the middle of
// a two-byte GBK character.
std::string_view gbkPrefix(std::string_view text, std::size_t maxBytes);

}  // namespace ostrel
