#include "GbkText.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <memory>

namespace ostrel {

namespace {

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};
using IconvHandle = std::unique_ptr<void, IconvCloser>;

IconvHandle openConverter(const char* to, const char* from) {
  iconv_t cd = iconv_open(to, from);
  // (iconv_t)-1 is how iconv_open reports a failure; there is no other way to test for it.
  // NOLINTNEXTLINE(performance-no-int-to-ptr)
  if (cd == reinterpret_cast<iconv_t>(-1)) return IconvHandle{};
  return IconvHandle{cd};
}

bool isAscii(std::string_view text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Converts in with cd (opened as from -> to on first need), replacing every input byte iconv
// cannot take by `replacement`. ASCII is the same in both encodings and needs no converter.
std::string convert(std::string_view in, IconvHandle& cd, const char* to, const char* from,
                    std::string_view replacement) {
  if (isAscii(in)) return std::string(in);
  if (!cd) cd = openConverter(to, from);
  if (!cd) return std::string(in);
  std::string out;
  out.reserve(in.size() * 2);
  char* src = const_cast<char*>(in.data());
  std::size_t srcLeft = in.size();
  char buffer[256];
  while (srcLeft > 0) {
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    const std::size_t rc = iconv(static_cast<iconv_t>(cd.get()), &src, &srcLeft, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
      // EILSEQ or EINVAL: skip one byte of input and mark it.
      out.append(replacement);
      ++src;
      --srcLeft;
      iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace

struct GbkConverter::Converters {
  IconvHandle toUtf8;
  IconvHandle toGbk;
};

GbkConverter::GbkConverter() : m_converters(std::make_unique<Converters>()) {}
GbkConverter::~GbkConverter() = default;

std::string GbkConverter::toUtf8(std::string_view gbk) {
  return convert(gbk, m_converters->toUtf8, "UTF-8", "GBK", "\xEF\xBF\xBD");
}

std::string GbkConverter::toGbk(std::string_view utf8) {
  return convert(utf8, m_converters->toGbk, "GBK", "UTF-8", "?");
}

std::string gbkToUtf8(std::string_view gbk) { return GbkConverter().toUtf8(gbk); }

std::string utf8ToGbk(std::string_view utf8) { return GbkConverter().toGbk(utf8); }

std::string_view gbkPrefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = 0;
  while (end < text.size()) {
    const bool twoBytes =
        isGbkLeadByte(static_cast<unsigned char>(text[end])) && end + 1 < text.size();
    const std::size_t next = end + (twoBytes ? 2 : 1);
    if (next > maxBytes) break;
    end = next;
  }
  return text.substr(0, end);
}

}  // namespace ostrel
