#pragma once

#include <memory>
#include <string>
#include <vector>

#include "link/HidEvents.h"
#include "link/HidPlatform.h"

namespace ostrel {

class THidDevice;

// Keeps an ordered list of the present HID interfaces as THidDevice objects, brings it up to date
// at every device-change notice of the platform, and fires OnRemoval / OnArrival / OnDeviceChange.
// Main thread only. At most one controller exists at a time (a second one throws EControllerError
// "Only one THidDeviceController allowed per program"). The platform must outlive the controller
// and every device object it created.
//
// Ownership: listed devices belong to the controller until CheckOutDevice() returns them; a
// checked-out device stays listed but belongs to its holder, and destroying it checks it in. When
// the controller goes first, checked-out devices are unplugged and detached; their holders still
// destroy them.
class THidDeviceController {
 public:
  static constexpr int DefaultSleepTime = 100;

  explicit THidDeviceController(HidPlatform& platform);
  ~THidDeviceController();
  THidDeviceController(const THidDeviceController&) = delete;
  THidDeviceController& operator=(const THidDeviceController&) = delete;

  // Calls OnEnumerate for each plugged-in device from the first; false or no handler ends the walk.
  // Returns the number of devices visited. A visited device that was not checked out in the handler
  // has its info handle closed again.
  int EnumerateDevices();
  // The device at list position Idx, now owned by the caller; nullptr when Idx is outside the list
  // or the device is already checked out. Starts its read thread when it already has a data
  // handler.
  std::unique_ptr<THidDevice> CheckOutDevice(int Idx);

  // The list as it stands (checked-out devices included); for inspection, ownership unchanged.
  int Count() const { return static_cast<int>(m_devices.size()); }
  THidDevice* Device(int Idx) const;

  // Brings the list up to date with the present interfaces (also run for each platform notice).
  void DeviceChange();

  // The controller's events; all fire on the main thread, during DeviceChange() or
  // EnumerateDevices(), and a handler may check devices out or in.
  //
  // OnArrival: a device newly listed by DeviceChange(), after it joined the list; it may be
  // queried during the handler (InControllerEvent).
  const THidPlugEvent& OnArrival() const { return m_onArrival; }
  void SetOnArrival(THidPlugEvent handler) { m_onArrival = std::move(handler); }
  // OnRemoval: a listed device DeviceChange() found gone, after its Unplug(); a device the
  // controller still owns leaves the list after the handler.
  const THidPlugEvent& OnRemoval() const { return m_onRemoval; }
  void SetOnRemoval(THidPlugEvent handler) { m_onRemoval = std::move(handler); }
  // OnEnumerate: each plugged-in device of an EnumerateDevices() walk, with its list position.
  const THidEnumerateEvent& OnEnumerate() const { return m_onEnumerate; }
  void SetOnEnumerate(THidEnumerateEvent handler) { m_onEnumerate = std::move(handler); }
  // OnDeviceChange: after each DeviceChange() that changed the list (its removals and arrivals
  // fired first); for the first one, see SetOnDeviceChange.
  const THidNotifyEvent& OnDeviceChange() const { return m_onDeviceChange; }
  // A handler other than the current one runs a reconciliation at once, which fires it when the
  // list changed, and the first time a handler is set even when nothing changed. May throw what a
  // check-in inside the handler throws.
  void SetOnDeviceChange(THidNotifyEvent handler);

  // Handlers new device objects start with. A change is passed on to every listed device that still
  // carries the previous controller handler (data handlers through SetDataHandler).
  const THidDataEvent& OnDeviceData() const { return m_onDeviceData; }
  void SetOnDeviceData(THidDataEvent handler);
  const THidDataErrorEvent& OnDeviceDataError() const { return m_onDeviceDataError; }
  void SetOnDeviceDataError(THidDataErrorEvent handler);
  const THidPlugEvent& OnDeviceUnplug() const { return m_onDeviceUnplug; }
  void SetOnDeviceUnplug(THidPlugEvent handler);

  // Read-thread wait slice in ms; passed on to listed devices that still have the previous value.
  int DevThreadSleepTime() const { return m_devThreadSleepTime; }
  void SetDevThreadSleepTime(int milliseconds);

  std::string Version() const { return "1.0.22"; }
  void SetVersion(const std::string& /*ignored*/) {}

 private:
  friend class THidDevice;

  struct Entry {
    THidDevice* device = nullptr;       // always set
    std::unique_ptr<THidDevice> owned;  // set while checked in
  };

  std::vector<Entry> buildDeviceList();
  void reconcile();
  void removeGone(const std::vector<Entry>& present, bool& changed);
  void addArrivals(std::vector<Entry>& present, bool& changed);
  int indexOf(const THidDevice& device) const;
  template <typename Value, typename Getter, typename Setter>
  void passOnToDevices(Value& current, Value value, Getter get, Setter set);
  void fireWithEventFlag(const THidPlugEvent& handler, THidDevice& device);
  static void destroyDetached(std::unique_ptr<THidDevice> device);
  // Called from a listed device's destructor: replaces a plugged-in device with a fresh object at
  // the same position, or takes an unplugged one out. A replacement that cannot be created (the
  // device can no longer be opened or identified) leaves the entry out: the next notice lists it
  // again if it works.
  void CheckIn(THidDevice& device, THidDataEvent dataHandler, THidPlugEvent unplugHandler,
               int sleepTime) noexcept;

  HidPlatform& m_platform;
  std::vector<Entry> m_devices;
  THidPlugEvent m_onArrival;
  THidPlugEvent m_onRemoval;
  THidEnumerateEvent m_onEnumerate;
  THidNotifyEvent m_onDeviceChange;
  THidDataEvent m_onDeviceData;
  THidDataErrorEvent m_onDeviceDataError;
  THidPlugEvent m_onDeviceUnplug;
  int m_devThreadSleepTime = DefaultSleepTime;
  bool m_firstChangeFired = false;
  bool m_reconciling = false;
  bool m_reconcileAgain = false;
};

}  // namespace ostrel
