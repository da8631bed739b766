#include "link/THidDevice.h"

#include <algorithm>
#include <utility>

#include "link/THidDeviceController.h"

namespace ostrel {

namespace {

std::u16string upToFirstZero(const std::u16string& text) {
  std::u16string result = text.substr(0, text.find(u'\0'));
  if (result.size() > THidDevice::MaxStringLength) {
    result.resize(THidDevice::MaxStringLength);
  }
  return result;
}

// Number of units string 0 wrote, its terminating zero not counted.
std::size_t writtenLength(const std::u16string& string0) {
  std::size_t length = std::min(string0.size(), THidDevice::MaxStringLength);
  while (length > 0 && string0[length - 1] == u'\0') {
    --length;
  }
  return length;
}

}  // namespace

THidDevice::THidDevice(HidPlatform& platform, THidPnPInfo pnpInfo, THidDeviceController* controller)
    : m_platform(platform), m_controller(controller), m_pnpInfo(std::move(pnpInfo)) {
  if (m_controller != nullptr) {
    SetDataHandler(m_controller->OnDeviceData());
    m_unplugHandler = m_controller->OnDeviceUnplug();
    m_dataErrorHandler = m_controller->OnDeviceDataError();
  }
  m_infoHandle = m_platform.open(m_pnpInfo.DevicePath, HidOpenMode::ReadWrite);
  m_readWriteAccess = m_infoHandle != nullptr;
  if (!m_infoHandle) {
    m_infoHandle = m_platform.open(m_pnpInfo.DevicePath, HidOpenMode::QueryOnly);
  }
  if (!m_infoHandle) {
    throw EControllerError("device cannot be opened");
  }
  const auto attributes = m_infoHandle->attributes();
  if (!attributes) {
    throw EControllerError("device cannot be identified");
  }
  m_attributes = *attributes;
  closeInfoHandle();
}

THidDevice::~THidDevice() {
  THidDataEvent dataHandler = m_dataHandler;
  THidPlugEvent unplugHandler = m_unplugHandler;
  SetDataHandler({});
  m_unplugHandler = {};
  closeInfoHandle();
  if (m_controller != nullptr) {
    m_controller->CheckIn(*this, std::move(dataHandler), std::move(unplugHandler), SleepTime());
  }
}

bool THidDevice::accessible() const { return m_pluggedIn && (m_checkedOut || m_inControllerEvent); }

void THidDevice::updateAccessible() { m_shared.accessible.store(accessible()); }

void THidDevice::setCheckedOut(bool checkedOut) {
  m_checkedOut = checkedOut;
  updateAccessible();
}

void THidDevice::setInControllerEvent(bool inEvent) {
  m_inControllerEvent = inEvent;
  updateAccessible();
}

bool THidDevice::openInfoHandle() {
  if (m_infoHandle) {
    return true;
  }
  if (!accessible()) {
    return false;
  }
  m_infoHandle = m_platform.open(m_pnpInfo.DevicePath, HidOpenMode::ReadWrite);
  m_readWriteAccess = m_infoHandle != nullptr;
  if (!m_infoHandle) {
    m_infoHandle = m_platform.open(m_pnpInfo.DevicePath, HidOpenMode::QueryOnly);
  }
  return m_infoHandle != nullptr;
}

std::u16string THidDevice::ProductString() {
  if (m_productString.empty() && openInfoHandle()) {
    if (const auto text = m_infoHandle->productString()) {
      m_productString = upToFirstZero(*text);
    }
    closeInfoHandle();
  }
  return m_productString;
}

std::u16string THidDevice::SerialNumberString() {
  if (!m_serialNumberString.empty()) {
    return m_serialNumberString;
  }
  if (!openInfoHandle()) {
    return {};
  }
  const auto serial = m_infoHandle->serialNumberString();
  if (serial && m_infoHandle->serialSource() == HidSerialSource::SystemRecord) {
    m_serialNumberString = upToFirstZero(*serial);
  } else if (serial) {
    // Some devices answer the serial request with their language list; such a "serial" is no
    // serial.
    const std::u16string string0 = m_infoHandle->indexedString(0).value_or(std::u16string{});
    const std::size_t length = writtenLength(string0);
    std::u16string padded = *serial;
    padded.resize(std::max(padded.size(), length), u'\0');
    if (length > 0 && padded.compare(0, length, string0, 0, length) != 0) {
      m_serialNumberString = upToFirstZero(*serial);
    }
  }
  closeInfoHandle();
  return m_serialNumberString;
}

bool THidDevice::SendFeature(std::span<const std::uint8_t> report) {
  if (!openInfoHandle()) {
    return false;
  }
  return m_infoHandle->sendFeature(report);
}

std::size_t THidDevice::inputReportLength() {
  if (!m_capabilitiesRead) {
    const bool wasOpen = m_infoHandle != nullptr;
    if (openInfoHandle()) {
      m_inputReportLength = m_infoHandle->inputReportLength();
      m_capabilitiesRead = true;
      if (!wasOpen) {
        closeInfoHandle();
      }
    }
  }
  return m_inputReportLength;
}

void THidDevice::SetDataHandler(THidDataEvent handler, HidReportFilterFactory filter) {
  if (!handler) {
    stopReadThread();
  }
  m_dataHandler = std::move(handler);
  m_filterFactory = std::move(filter);
  startReadThreadIfReady();
}

void THidDevice::startReadThreadIfReady() {
  if (!m_dataHandler || !m_pluggedIn || !m_checkedOut || !m_readWriteAccess || m_readThread) {
    return;
  }
  m_readThread = std::make_unique<THidDeviceReadThread>(
      m_platform, m_pnpInfo.DevicePath, inputReportLength(), m_shared,
      [this](const HidHandOffItem& item) { return runHandOff(item); },
      m_filterFactory ? m_filterFactory() : nullptr);
}

void THidDevice::stopReadThread() {
  // Moved out first: a hand-off served while stopping may call back into this device.
  std::unique_ptr<THidDeviceReadThread> thread = std::move(m_readThread);
  thread.reset();
}

std::chrono::milliseconds THidDevice::runHandOff(const HidHandOffItem& item) {
  // The handler may destroy this device; then nothing of it is touched afterwards.
  const std::weak_ptr<const int> alive = m_aliveToken;
  if (item.report.empty()) {
    if (const THidDataErrorEvent handler = m_dataErrorHandler) {
      handler(*this, item.error);
    }
  } else if (const THidDataEvent handler = m_dataHandler) {
    handler(*this, item.report[0], item.report.data() + 1,
            static_cast<std::uint16_t>(item.report.size() - 1));
  }
  if (alive.expired()) {
    return std::chrono::milliseconds{0};
  }
  return std::exchange(m_pauseNextRead, std::chrono::milliseconds{0});
}

void THidDevice::SetSleepTime(int milliseconds) {
  if (milliseconds >= MinSleepTime && milliseconds <= MaxSleepTime) {
    m_shared.sleepTimeMs.store(milliseconds);
  }
}

void THidDevice::Unplug() {
  closeInfoHandle();
  m_pluggedIn = false;
  updateAccessible();
  if (const THidPlugEvent handler = m_unplugHandler) {
    handler(*this);
  }
  m_unplugHandler = {};
}

}  // namespace ostrel
