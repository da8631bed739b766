// ostrel-cli decode [FILE]: runs a captured report stream through the frame assembler and
// the frame decoder, exactly as the window does, and writes one JSON object per frame the
// assembler hands over.
//
// Input: one input report per line, hexadecimal byte pairs separated by blanks, the report
// ID first. Empty lines and lines starting with '#' are skipped. Output: JSON Lines, UTF-8.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <ios>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "CliCommands.h"
#include "decode/DecimalSeparator.h"
#include "decode/DisplayModel.h"
#include "decode/FrameDecoder.h"
#include "decode/SegmentMap.h"
#include "link/frame/FrameAssembler.h"
#include "record/GbkText.h"
#include "ui/AppState.h"

namespace ostrel::cli {

namespace {

constexpr std::size_t maxReportBytes = 1 + 0xFFFF;  // report ID and a 16-bit Size

void appendJsonString(std::string& out, std::string_view utf8) {
  out += '"';
  for (char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04X", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  out += '"';
}

void appendTextField(std::string& out, std::string_view key, std::string_view gbk) {
  out += ",\"";
  out += key;
  out += "\":";
  appendJsonString(out, gbkToUtf8(gbk));
}

std::string frameJson(int frameNumber, bool offered, const ReadingTexts& reading,
                      const DisplayModel& model) {
  std::string out = "{\"frame\":" + std::to_string(frameNumber);
  out += offered ? ",\"offered\":true" : ",\"offered\":false";
  appendTextField(out, "value", reading.CurrentValue);
  appendTextField(out, "unit", reading.UnitText);
  appendTextField(out, "vrange", reading.VRangeText);
  appendTextField(out, "irange", reading.IRangeText);

  std::vector<std::string_view> visible;
  for (std::size_t i = 0; i < displayElementCount; ++i) {
    if (model.isVisible(static_cast<DisplayElement>(i))) visible.push_back(displayElementNames[i]);
  }
  std::sort(visible.begin(), visible.end());
  out += ",\"visible\":[";
  for (std::size_t i = 0; i < visible.size(); ++i) {
    if (i > 0) out += ',';
    appendJsonString(out, visible[i]);
  }
  out += "],\"captions\":{";
  for (std::size_t i = 0; i < digitPositions.size(); ++i) {
    const DisplayElement digit = digitPositions[i].digit;
    if (i > 0) out += ',';
    appendJsonString(out, displayElementName(digit));
    out += ':';
    appendJsonString(out, std::string(1, model.caption(digit)));
  }
  out += "}}\n";
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

enum class LineRead { Line, End, Malformed };

// Reads and parses the next line of the stream at once, character by character, so that
// no line is ever held whole: only the bytes of one report (at most maxReportBytes) are
// kept, and a line is refused as soon as a field is not a pair of hexadecimal digits or
// the line passes what a report can hold. Blanks, tabs and a comment line ('#' after
// optional blanks) are skipped as they stream by. A line ends at LF (CR LF too); the last
// one may lack it. Gives Line (bytes empty for a blank or comment line), End when the
// stream has no more lines, or Malformed.
LineRead readReportLine(std::streambuf& in, std::vector<std::uint8_t>& bytes) {
  using Traits = std::streambuf::traits_type;
  bytes.clear();
  std::string field;
  bool anything = false;
  bool comment = false;
  const auto endField = [&] {
    if (field.empty()) return true;
    if (field.size() != 2 || bytes.size() == maxReportBytes) return false;
    bytes.push_back(static_cast<std::uint8_t>(16 * hexValue(field[0]) + hexValue(field[1])));
    field.clear();
    return true;
  };
  for (int next = in.sbumpc(); next != Traits::eof(); next = in.sbumpc()) {
    anything = true;
    const char c = Traits::to_char_type(next);
    // Only a CR looks ahead: peeking after LF would wait for the next line of a live stream.
    if (c == '\n' || (c == '\r' && (in.sgetc() == '\n' || in.sgetc() == Traits::eof()))) {
      if (c == '\r') in.sbumpc();
      return comment || endField() ? LineRead::Line : LineRead::Malformed;
    }
    if (comment) continue;
    if (c == ' ' || c == '\t') {
      if (!endField()) return LineRead::Malformed;
    } else if (c == '#' && bytes.empty() && field.empty()) {
      comment = true;
    } else if (field.size() == 2 || hexValue(c) < 0) {
      return LineRead::Malformed;
    } else {
      field.push_back(c);
    }
  }
  if (!anything) return LineRead::End;
  return comment || endField() ? LineRead::Line : LineRead::Malformed;
}

int decodeStream(std::istream& in) {
  AppState state;
  state.DecimalSeparatorText = decimalSeparatorFromLocale();
  DisplayModel model;
  FrameDecoder decoder(model, state.reading, state.DecimalSeparatorText);
  bool offered = false;
  decoder.setRecordHook([&offered](int) { offered = true; });

  int frames = 0;
  FrameAssembler assembler(state.assembler);
  assembler.setFrameHandler([&](const std::string& meterFrame) {
    offered = false;
    const auto outcome = decoder.ShowData860(meterFrame);
    const std::string json = frameJson(++frames, offered, state.reading, model);
    std::fwrite(json.data(), 1, json.size(), stdout);
    return outcome == FrameDecoder::Outcome::Decoded;
  });

  std::vector<std::uint8_t> bytes;
  try {
    for (long lineNumber = 1;; ++lineNumber) {
      const LineRead read = readReportLine(*in.rdbuf(), bytes);
      if (read == LineRead::End) break;
      if (read == LineRead::Malformed) {
        std::fflush(stdout);
        std::fprintf(stderr, "ostrel-cli decode: line %ld: not a report (hexadecimal byte pairs)\n",
                     lineNumber);
        return 2;
      }
      if (bytes.empty()) continue;
      assembler.Read740(bytes[0], bytes.data() + 1, static_cast<std::uint16_t>(bytes.size() - 1));
    }
  } catch (const std::ios_base::failure& error) {
    // The stream buffer throws when the read itself fails (a folder given as FILE, an I/O
    // error): the frames so far are out, the reason goes to standard error.
    std::fflush(stdout);
    std::fprintf(stderr, "ostrel-cli decode: read error: %s\n", error.code().message().c_str());
    return 1;
  }
  std::fflush(stdout);
  if (in.bad()) {
    std::fputs("ostrel-cli decode: read error\n", stderr);
    return 1;
  }
  return 0;
}

}  // namespace

int runDecode(const std::vector<std::string>& args) {
  if (args.size() > 1) {
    std::fputs("usage: ostrel-cli decode [FILE]\n", stderr);
    return 2;
  }
  if (args.empty() || args[0] == "-") return decodeStream(std::cin);
  std::ifstream file(args[0], std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "ostrel-cli decode: cannot open '%s'\n", args[0].c_str());
    return 2;
  }
  return decodeStream(file);
}

}  // namespace ostrel::cli
