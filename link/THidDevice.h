#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "link/HidEvents.h"
#include "link/HidPlatform.h"
#include "link/THidDeviceReadThread.h"
#include "link/frame/HidReportFilter.h"

namespace ostrel {

// One HID interface as the controller last listed it. Everything here runs on the main thread.
//
// Ownership: a device listed by a controller belongs to the controller until CheckOutDevice() hands
// it out as a std::unique_ptr; from then on it belongs to the holder, and destroying it checks it
// in (the controller puts a fresh object for the same interface at its list position, or drops the
// entry if the device is gone). The destructor stops the read thread first, so a holder that
// destroys its devices before the application object has every read thread ended.
// Reports and read errors are handed over through the main thread's Qt event loop, so a
// QCoreApplication (or QApplication) must exist while a device reads.
class THidDevice {
 public:
  // The wait slices SetSleepTime accepts, in ms.
  static constexpr int MinSleepTime = 10;
  static constexpr int MaxSleepTime = 10000;
  // Product and serial strings are cut at their first zero and to this many UTF-16 units.
  static constexpr std::size_t MaxStringLength = 254;

  ~THidDevice();
  THidDevice(const THidDevice&) = delete;
  THidDevice& operator=(const THidDevice&) = delete;

  // The path that opens the interface, and the instance number of this plug of it.
  const THidPnPInfo& PnPInfo() const { return m_pnpInfo; }
  // The USB identity, read once when the object was made.
  std::uint16_t VendorID() const { return m_attributes.VendorID; }
  std::uint16_t ProductID() const { return m_attributes.ProductID; }
  std::uint16_t VersionNumber() const { return m_attributes.VersionNumber; }
  // False from Unplug() on, for good: a device plugged in again is a new object.
  bool PluggedIn() const { return m_pluggedIn; }
  // True while a holder owns the device (from CheckOutDevice() to its destruction).
  bool CheckedOut() const { return m_checkedOut; }
  // True while a controller event handler (OnArrival, OnRemoval, OnEnumerate) runs for this
  // device; the device may then be queried without being checked out.
  bool InControllerEvent() const { return m_inControllerEvent; }
  // Whether the interface last opened for reading and writing; without it the device is only
  // queried: no read thread starts and feature reports may fail.
  bool ReadWriteAccess() const { return m_readWriteAccess; }
  // True while the read thread runs.
  bool Reading() const { return m_readThread != nullptr; }
  // The controller that listed the device; nullptr once detached from it (dropped from the
  // list, or the controller went first).
  THidDeviceController* Controller() const { return m_controller; }

  // Empty when the string cannot be read (tried again at the next request) or the device is not
  // accessible; a text once read is cached. Removed devices answer from the cache only.
  std::u16string ProductString();
  // Empty also when a serial the device answered itself equals string 0 (the language list) or
  // string 0 cannot be read: such a serial number counts as absent. A serial the system keeps
  // for the device (hidraw) is taken as it is.
  std::u16string SerialNumberString();
  // report[0] is the report ID; false when the device is not accessible or the request fails.
  // Leaves the info handle open.
  bool SendFeature(std::span<const std::uint8_t> report);

  // Installs (starting the read thread when the device is checked out, plugged in and read-write)
  // or removes (stopping the thread, pending hand-offs handled first) the data handler. Replacing
  // one handler by another keeps a running thread; each report goes to the handler installed when
  // it is handed over. Removing it from inside the device's own data handler is allowed: the thread
  // then ends without waiting for that hand-off to return.
  void SetDataHandler(THidDataEvent handler) { SetDataHandler(std::move(handler), {}); }
  // The same with a read-side filter: `filter` makes the filter of each read thread started from
  // now on (a running thread keeps the one it has); none hands every report over.
  void SetDataHandler(THidDataEvent handler, HidReportFilterFactory filter);
  const THidDataEvent& DataHandler() const { return m_dataHandler; }
  // Called with the system error code of each failed read or read start; takes effect at the
  // next failure. A new device starts with the controller's OnDeviceDataError.
  void SetDataErrorHandler(THidDataErrorEvent handler) { m_dataErrorHandler = std::move(handler); }
  const THidDataErrorEvent& DataErrorHandler() const { return m_dataErrorHandler; }
  // Called once, from Unplug() (the device found gone, or its controller destroyed while the
  // device is checked out); then removed. A new device starts with the controller's
  // OnDeviceUnplug.
  void SetUnplugHandler(THidPlugEvent handler) { m_unplugHandler = std::move(handler); }
  const THidPlugEvent& UnplugHandler() const { return m_unplugHandler; }

  // The read thread's wait slice in ms, 100 at first; a stop never waits for it.
  int SleepTime() const { return m_shared.sleepTimeMs.load(); }
  // Values outside 10..10000 ms are ignored.
  void SetSleepTime(int milliseconds);

  // Asks the read side to hand nothing over for `duration` after the report being handled. It
  // keeps reading meanwhile and drops what it reads, so the system's report queue never
  // overflows; afterwards the read-side filter, told of the gap, decides where handing over
  // resumes. Meant to be called from the data handler (e.g. after a decoded frame); outside a
  // hand-off it applies to the next one.
  void PauseNextRead(std::chrono::milliseconds duration) { m_pauseNextRead = duration; }

  // Called by the controller when the device is gone: closes the handles, PluggedIn becomes false,
  // the unplug handler is called once and then removed. A running read thread keeps running and
  // reports a failed read start every slice until its data handler is removed.
  void Unplug();

 private:
  friend class THidDeviceController;

  // Throws EControllerError "device cannot be opened" / "device cannot be identified".
  THidDevice(HidPlatform& platform, THidPnPInfo pnpInfo, THidDeviceController* controller);

  void setCheckedOut(bool checkedOut);
  void setInControllerEvent(bool inEvent);
  void updateAccessible();
  bool accessible() const;
  bool openInfoHandle();
  void closeInfoHandle() { m_infoHandle.reset(); }
  std::size_t inputReportLength();
  void startReadThreadIfReady();
  void stopReadThread();
  std::chrono::milliseconds runHandOff(const HidHandOffItem& item);

  HidPlatform& m_platform;
  THidDeviceController* m_controller;
  THidPnPInfo m_pnpInfo;
  HidAttributes m_attributes;
  bool m_pluggedIn = true;
  bool m_checkedOut = false;
  bool m_inControllerEvent = false;
  bool m_readWriteAccess = false;
  // Opened on demand and closed after a string or capability query; a feature request leaves
  // it open. The read thread opens the interface on its own.
  std::unique_ptr<HidInfoHandle> m_infoHandle;
  std::size_t m_inputReportLength = 0;  // the read buffer's size, once m_capabilitiesRead
  bool m_capabilitiesRead = false;
  std::u16string m_productString;       // cached once read; empty: try again
  std::u16string m_serialNumberString;  // likewise
  THidDataEvent m_dataHandler;
  HidReportFilterFactory m_filterFactory;
  THidDataErrorEvent m_dataErrorHandler;
  THidPlugEvent m_unplugHandler;
  std::chrono::milliseconds m_pauseNextRead{0};  // asked for by the handler being run
  HidReadShared m_shared;  // what the read thread reads of this device: accessible, sleep time
  // Expires with the object: lets a hand-off or an event find out that its handler destroyed
  // the device.
  std::shared_ptr<const int> m_aliveToken = std::make_shared<const int>(0);
  std::unique_ptr<THidDeviceReadThread> m_readThread;
};

}  // namespace ostrel
