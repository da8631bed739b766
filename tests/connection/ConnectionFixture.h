#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/MeterLink.h"
#include "decode/DisplayModel.h"
#include "link/ConnectionControl.h"
#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "pipeline/FramePipeline.h"
#include "record/ReadingsTable.h"
#include "record/RecordingRules.h"
#include "sim/hid/SimHidPlatform.h"
#include "tests/link/LinkTestSupport.h"

namespace ostrel::test {

// The link as the window wires it (MeterLink), on the simulated platform: controller, connection
// control, frame pipeline (decoder and recording rules) over a readings table. Devices are added
// before start().
class ConnectionFixture : public ::testing::Test {
 protected:
  void start() {
    m_controller = std::make_unique<THidDeviceController>(m_platform);
    m_rules = std::make_unique<RecordingRules>(m_cds1, m_counters, m_controls);
    m_pipeline = std::make_unique<FramePipeline>(m_display, m_reading, *m_rules, ".");
    ConnectionControl::Callbacks callbacks;
    callbacks.showInfo = [this](const std::string& message) { m_messages.push_back(message); };
    m_meterLink = std::make_unique<MeterLink>(*m_controller, m_link, m_assembler, *m_pipeline,
                                              std::move(callbacks));
    m_connection = &m_meterLink->connection();
  }

  void TearDown() override {
    m_connection = nullptr;
    m_meterLink.reset();
    m_controller.reset();
  }

  // Panel2 connects; true once the table holds `records` records.
  [[nodiscard]] bool connectUntilRecorded(std::size_t records) {
    m_connection->Panel2Click();
    return pumpUntil([&] { return m_cds1.recordCount() >= records; });
  }

  // History lines that are line-settings reports.
  int lineSettingsLines() const {
    int count = 0;
    for (const std::string& line : m_link.HistoryListBox) {
      count += line == "00 60 09 00 00 03 00 00 00 00 " ? 1 : 0;
    }
    return count;
  }

  bool historyHas(const std::string& line) const {
    for (const std::string& entry : m_link.HistoryListBox) {
      if (entry == line) return true;
    }
    return false;
  }

  SimHidPlatform m_platform;
  std::unique_ptr<THidDeviceController> m_controller;
  DisplayModel m_display;
  ReadingTexts m_reading;
  ReadingsTable m_cds1;
  RecordingCounters m_counters;
  RecordingControls m_controls;
  std::unique_ptr<RecordingRules> m_rules;
  std::unique_ptr<FramePipeline> m_pipeline;
  LinkControls m_link;
  FrameAssemblerState m_assembler;
  std::vector<std::string> m_messages;
  std::unique_ptr<MeterLink> m_meterLink;
  ConnectionControl* m_connection = nullptr;  // m_meterLink's
};

}  // namespace ostrel::test
