// ostrel-cable-frames FRAMES_FILE READINGS_FILE: writes the meter frames the virtual cable
// plays in the guest scenario (one per line in hexadecimal, for ostrel-uhid-cable --frames)
// and, line by line, the reading each must decode to, as the decode command prints it.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "sim/frames/FrameBuilder.h"
#include "sim/uhid/FrameFile.h"

namespace {

struct Reading {
  const char* mainDigits;
  const char* unit;  // UTF-8
  const char* testVoltage;
  const char* vrange;  // the reading's test voltage and range text, UTF-8
};

// No two neighbours where a blank thousands digit could keep an earlier caption.
const std::vector<Reading> kReadings = {
    {"1.234", "GΩ", " 500", "IR:500V 20GΩ"},  {"2.345", "GΩ", "1000", "IR:1000V 40GΩ"},
    {"345.6", "MΩ", "2500", "IR:2500 100GΩ"}, {"4.567", "GΩ", "5000", "IR:5000V 1000GΩ"},
    {"56.78", "MΩ", "1000", "IR:1000V 40GΩ"}, {"7.890", "GΩ", "2500", "IR:2500 100GΩ"},
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: ostrel-cable-frames FRAMES_FILE READINGS_FILE\n";
    return 2;
  }
  std::ofstream frames(argv[1]);
  std::ofstream readings(argv[2]);
  for (const Reading& r : kReadings) {
    const auto bytes = ostrel::sim::FrameBuilder()
                           .mainDigits(r.mainDigits)
                           .unit(r.unit)
                           .testVoltage(r.testVoltage)
                           .bytes();
    frames << ostrel::uhid::hexBytes(bytes) << '\n';
    readings << "\"value\":\"" << r.mainDigits << "\",\"unit\":\"" << r.unit << "\",\"vrange\":\""
             << r.vrange << "\"\n";
  }
  return frames && readings ? 0 : 1;
}
