// ostrel-cable-frames FRAMES_FILE READINGS_FILE TABLE_FILE: writes the meter frames the virtual
// cable plays in the guest scenarios (one per line in hexadecimal, for ostrel-uhid-cable --frames)
// and, line by line, the reading each must decode to: as the decode command prints it
// (READINGS_FILE, UTF-8) and as the Value, Unit and Function columns of a recorded text table
// file hold it (TABLE_FILE, GBK, tab-separated).
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "record/GbkText.h"
#include "sim/frames/FrameBuilder.h"
#include "sim/uhid/FrameFile.h"

namespace {

struct Reading {
  const char* mainDigits;
  const char* unit;  // UTF-8
  const char* testVoltage;
  const char* vrange;  // the reading's test voltage and range text, UTF-8
};

// Every value differs, so a recorded reading names the frame it came from. The one test
// voltage with a blank thousands digit comes first: after a thousands digit of 2 it would keep
// the 2500 V caption, and frames may be lost at a re-plug, so any later subsequence must decode
// the same way.
const std::vector<Reading> cableReadings = {
    {"1.234", "GΩ", " 500", "IR:500V 20GΩ"},    {"2.345", "GΩ", "1000", "IR:1000V 40GΩ"},
    {"345.6", "MΩ", "2500", "IR:2500 100GΩ"},   {"4.567", "GΩ", "5000", "IR:5000V 1000GΩ"},
    {"56.78", "MΩ", "1000", "IR:1000V 40GΩ"},   {"7.890", "GΩ", "2500", "IR:2500 100GΩ"},
    {"8.901", "GΩ", "5000", "IR:5000V 1000GΩ"}, {"67.89", "MΩ", "1000", "IR:1000V 40GΩ"},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: ostrel-cable-frames FRAMES_FILE READINGS_FILE TABLE_FILE\n";
    return 2;
  }
  std::ofstream frames(argv[1]);
  std::ofstream readings(argv[2]);
  std::ofstream table(argv[3], std::ios::binary);
  for (const Reading& r : cableReadings) {
    const auto bytes = ostrel::sim::FrameBuilder()
                           .mainDigits(r.mainDigits)
                           .unit(r.unit)
                           .testVoltage(r.testVoltage)
                           .bytes();
    frames << ostrel::uhid::hexBytes(bytes) << '\n';
    readings << "\"value\":\"" << r.mainDigits << "\",\"unit\":\"" << r.unit << "\",\"vrange\":\""
             << r.vrange << "\"\n";
    table << r.mainDigits << '\t' << ostrel::utf8ToGbk(r.unit) << '\t'
          << ostrel::utf8ToGbk(r.vrange) << '\n';
  }
  return frames && readings && table ? 0 : 1;
}
