#include "link/ConnectionControl.h"

#include <QString>
#include <cstdio>
#include <system_error>
#include <utility>

#include "link/THidDevice.h"
#include "link/THidDeviceController.h"
#include "link/frame/BridgeReportFilter.h"

namespace ostrel {

namespace {

constexpr std::size_t maxSystemTextLength = 256;

std::string toUtf8(const std::u16string& text) {
  return QString::fromStdU16String(text).toStdString();
}

std::string systemErrorText(std::uint32_t error) {
  std::string text = std::system_category().message(static_cast<int>(error));
  if (text.size() > maxSystemTextLength) text.resize(maxSystemTextLength);
  while (!text.empty()) {
    const auto last = static_cast<unsigned char>(text.back());
    if (last > ' ' && last != '.') break;
    text.pop_back();
  }
  return text;
}

std::string hexBytesLine(std::span<const std::uint8_t> bytes) {
  std::string line;
  char pair[4];
  for (const std::uint8_t byte : bytes) {
    std::snprintf(pair, sizeof pair, "%02X ", byte);
    line += pair;
  }
  return line;
}

}  // namespace

std::string DeviceEntryText(THidDevice& device) {
  std::string text = toUtf8(device.ProductString());
  if (text.empty()) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "Device VID=%.4X PID=%.4X", device.VendorID(),
                  device.ProductID());
    text = buffer;
  }
  const std::u16string serial = device.SerialNumberString();
  if (!serial.empty()) text += " (Serial=" + toUtf8(serial) + ")";
  return text;
}

std::string readErrorText(std::uint32_t error) {
  char code[16];
  std::snprintf(code, sizeof code, "%X", error);
  return "READ ERROR: " + systemErrorText(error) + " (" + code + ")";
}

ConnectionControl::ConnectionControl(THidDeviceController& HidCtl, LinkControls& link,
                                     FrameAssemblerState& assemblerState, Callbacks callbacks)
    : m_hidCtl(HidCtl),
      m_link(link),
      m_assemblerState(assemblerState),
      m_assembler(assemblerState),
      m_callbacks(std::move(callbacks)) {
  m_assembler.setFrameHandler([this](const std::string& meterFrame) {
    return m_callbacks.showFrame && m_callbacks.showFrame(meterFrame);
  });
  m_read740 = [this](THidDevice& HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                     std::uint16_t Size) { Read740(HidDev, ReportID, Data, Size); };
  m_timer2.setInterval(timer2Interval);
  QObject::connect(&m_timer2, &QTimer::timeout, [this] { Timer2Timer(); });

  m_hidCtl.SetOnArrival([this](THidDevice& HidDev) { HidCtlArrival(HidDev); });
  m_hidCtl.SetOnEnumerate(
      [this](THidDevice& HidDev, int Idx) { return HidCtlEnumerate(HidDev, Idx); });
  m_hidCtl.SetOnDeviceChange([this](THidDeviceController& sender) { HidCtlDeviceChange(sender); });
  m_hidCtl.SetOnDeviceDataError(
      [this](THidDevice& HidDev, std::uint32_t Error) { HidCtlDeviceDataError(HidDev, Error); });
  m_hidCtl.SetOnRemoval([this](THidDevice& HidDev) { HidCtlRemoval(HidDev); });
}

ConnectionControl::~ConnectionControl() { shutdown(); }

void ConnectionControl::shutdown() {
  if (m_shutDown) return;
  m_shutDown = true;
  m_timer2.stop();
  m_hidCtl.SetOnArrival({});
  m_hidCtl.SetOnRemoval({});
  m_hidCtl.SetOnEnumerate({});
  m_hidCtl.SetOnDeviceDataError({});
  clearDeviceList();
  m_hidCtl.SetOnDeviceChange({});
}

void ConnectionControl::clearDeviceList() {
  for (auto& device : m_entryDevices) {
    if (device && device->ReadWriteAccess()) device->SetDataHandler({});
  }
  m_entryDevices.clear();  // each destruction checks the device in
  m_link.DevListBox.clear();
  m_link.DevListBoxItemIndex = -1;
}

THidDevice* ConnectionControl::SelectedDevice() const {
  const int index = m_link.DevListBoxItemIndex;
  if (index < 0 || index >= static_cast<int>(m_entryDevices.size())) return nullptr;
  return m_entryDevices[static_cast<std::size_t>(index)].get();
}

bool ConnectionControl::reading() const {
  const THidDevice* device = SelectedDevice();
  return device != nullptr && device->Reading();
}

void ConnectionControl::HidCtlDeviceChange(THidDeviceController& sender) {
  if (m_shutDown) return;
  stopReading();
  clearDeviceList();
  sender.EnumerateDevices();
  for (std::size_t i = 0; i < m_link.DevListBox.size(); ++i) {
    const std::string& text = m_link.DevListBox[i];
    THidDevice* device = m_entryDevices[i].get();
    const bool cable = m_callbacks.isCable ? device != nullptr && m_callbacks.isCable(*device, text)
                                           : text == cableEntryText;
    if (cable) m_link.DevListBoxItemIndex = static_cast<int>(i);
  }
}

bool ConnectionControl::HidCtlEnumerate(THidDevice& HidDev, int Idx) {
  m_link.DevListBox.push_back(DeviceEntryText(HidDev));
  m_entryDevices.push_back(m_hidCtl.CheckOutDevice(Idx));
  return true;
}

void ConnectionControl::HidCtlArrival(THidDevice& HidDev) {
  addHistoryLine("Arrival of " + DeviceEntryText(HidDev));
}

void ConnectionControl::HidCtlRemoval(THidDevice& HidDev) {
  addHistoryLine("Removal of " + DeviceEntryText(HidDev));
}

void ConnectionControl::HidCtlDeviceDataError(THidDevice& /*HidDev*/, std::uint32_t Error) {
  addHistoryLine(readErrorText(Error));
}

void ConnectionControl::ReadBtnClick() { stopReading(); }

void ConnectionControl::stopReading() {
  THidDevice* device = SelectedDevice();
  if (device == nullptr) return;
  if (device->ReadWriteAccess()) device->SetDataHandler({});
}

void ConnectionControl::SetFeatureClick() { sendLineSettings(); }

void ConnectionControl::sendLineSettings() {
  THidDevice* device = SelectedDevice();
  if (device == nullptr) {
    reportMissingCable();
    return;
  }
  device->SendFeature(lineSettingsReport);
  addHistoryLine(hexBytesLine(lineSettingsReport));
}

void ConnectionControl::reportMissingCable() {
  // Only the user's own connect is answered with a message: a retry (Timer2 running) would
  // repeat it every second, and a disconnect has nothing to report.
  if (m_timer2.isActive() || !m_link.USBConDown) return;
  if (m_callbacks.showInfo) m_callbacks.showInfo(std::string(cableMissingMessage));
  m_link.USBConDown = false;
}

void ConnectionControl::linkToggle() {
  m_link.USBConDown = !m_link.USBConDown;
  stopReading();
  sendLineSettings();
  THidDevice* device = SelectedDevice();
  if (device == nullptr) return;
  if (!device->ReadWriteAccess()) {
    m_link.USBConDown = false;
  } else if (m_link.USBConDown) {
    // The filter starts from the assembler's state, so that it passes exactly the reports that
    // can change it (a frame interrupted by the last stop is still in progress).
    device->SetDataHandler(m_read740, [&state = m_assemblerState] {
      return std::make_unique<BridgeReportFilter>(state.FrameInProgress);
    });
  } else {
    device->SetDataHandler({});
  }
}

void ConnectionControl::USBConClick() {
  linkToggle();
  setCaption(m_link.USBConDown ? disconnectCaptionText : connectCaptionText);
}

void ConnectionControl::Timer2Timer() {
  if (m_shutDown) return;
  linkToggle();
}

void ConnectionControl::Panel2Click() {
  if (m_shutDown) return;
  m_timer2.stop();
  if (m_caption != connectCaptionText) setCaption(connectCaptionText);
  USBConClick();
}

void ConnectionControl::restartTimer2() {
  if (!m_shutDown && m_link.USBConDown) m_timer2.start();
}

void ConnectionControl::setCaption(std::string_view caption) {
  m_caption = caption;
  if (m_callbacks.captionChanged) m_callbacks.captionChanged(m_caption);
}

void ConnectionControl::addHistoryLine(const std::string& line) {
  m_link.addHistoryLine(line);
  if (m_callbacks.historyLine) m_callbacks.historyLine(line);
}

void ConnectionControl::Read740(THidDevice& HidDev, std::uint8_t ReportID, const std::uint8_t* Data,
                                std::uint16_t Size) {
  // Once the link flag is up the link is going off: a report still handed over while the read
  // thread stops was read before the user's "Disconnect" (or the retry's stop) and must not
  // decode a frame, record it, or restart Timer2, whose next expiry would connect again.
  if (!m_link.USBConDown) return;
  if (m_assembler.Read740(ReportID, Data, Size)) HidDev.PauseNextRead(pauseAfterFrame);
}

}  // namespace ostrel
