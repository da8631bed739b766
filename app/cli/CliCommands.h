#pragma once

#include <string>
#include <vector>

namespace ostrel::cli {

// Each command takes the arguments after its name and returns the process exit status.
int runDecode(const std::vector<std::string>& args);
int runConvert(const std::vector<std::string>& args);
int runReport(const std::vector<std::string>& args);
int runLog(const std::vector<std::string>& args);
int runDevices(const std::vector<std::string>& args);
int runChart(const std::vector<std::string>& args);
int runTests(const std::vector<std::string>& args);

}  // namespace ostrel::cli
