#include "TableFiles.h"

#include "DataPacket.h"
#include "FileBytes.h"
#include "FileReplace.h"
#include "WorkbookFile.h"

namespace ostrel {

namespace {

FileResult loadFailed() { return {false, std::string(loadFailedMessage)}; }

FileResult loadDataPacket(const std::string& fileName, ReadingsTable& table) {
  FileBytes file;
  if (!file.open(fileName)) return loadFailed();
  ReadingsTable loaded;
  if (!readDataPacket(file.bytes(), loaded)) return loadFailed();
  table.swapRecords(loaded);
  return {true, {}};
}

FileResult loadTextTable(const std::string& fileName, ReadingsTable& table) {
  FileBytes file;
  if (!file.open(fileName)) return loadFailed();
  table.DisableControls();
  const bool ok = readTextTable(file.bytes(), table, LongTimeFormat::fromEnvironment());
  table.EnableControls();
  return ok ? FileResult{true, {}} : loadFailed();
}

FileResult saveWorkbook(ReadingsTable& table, const std::string& fileName,
                        std::string_view decimalSeparator) {
  table.DisableControls();
  const std::string error = writeWorkbook(table, fileName, decimalSeparator);
  table.EnableControls();
  if (error.empty()) return {true, "Save table to specified file: " + fileName + " Scuss!"};
  return {false, "Could not save table to specified file: " + fileName + "\n" + error};
}

}  // namespace

bool isDataPacketName(std::string_view fileName) {
  const std::size_t slash = fileName.find_last_of('/');
  const std::string_view base =
      slash == std::string_view::npos ? fileName : fileName.substr(slash + 1);
  const std::size_t dot = base.find_last_of('.');
  if (dot == std::string_view::npos) return false;
  const std::string_view extension = base.substr(dot);
  constexpr std::string_view xml = ".xml";
  if (extension.size() != xml.size()) return false;
  for (std::size_t i = 0; i < xml.size(); ++i) {
    const char c = extension[i];
    if ((c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c) != xml[i]) return false;
  }
  return true;
}

FileResult SaveTableToFile(ReadingsTable& table, const std::string& fileName,
                           std::string_view decimalSeparator) {
  if (isWorkbookName(fileName)) return saveWorkbook(table, fileName, decimalSeparator);
  const bool packet = isDataPacketName(fileName);
  table.DisableControls();
  const std::string content =
      packet ? writeDataPacket(table) : writeTextTable(table, LongTimeFormat::fromEnvironment());
  table.EnableControls();
  const std::string error = replaceFileContent(fileName, content);
  if (error.empty()) return {true, "Save table to specified file: " + fileName + " Scuss!"};
  if (packet) return {false, "Cannot create file \"" + fileName + "\". " + error};
  return {false, "Could not save table to specified file: " + fileName};
}

FileResult LoadTableFromFile(const std::string& fileName, ReadingsTable& table, bool EmptyFirst) {
  if (EmptyFirst) table.clear();
  if (isWorkbookName(fileName)) return loadFailed();
  return isDataPacketName(fileName) ? loadDataPacket(fileName, table)
                                    : loadTextTable(fileName, table);
}

void SplitByDelimiter(std::string_view text, std::string_view delimiter,
                      std::vector<std::string>& list) {
  list.clear();
  if (delimiter.empty()) {
    list.emplace_back(text);
    return;
  }
  for (;;) {
    const std::size_t at = text.find(delimiter);
    if (at == std::string_view::npos) {
      list.emplace_back(text);
      return;
    }
    list.emplace_back(text.substr(0, at));
    text.remove_prefix(at + delimiter.size());
  }
}

}  // namespace ostrel
