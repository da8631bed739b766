#include "link/THidDeviceController.h"

#include <algorithm>
#include <exception>

#include "link/THidDevice.h"

namespace ostrel {

namespace {

// Controllers alive in this program (0 or 1); main thread only. The one program-wide counter the
// single-controller rule needs.
int& liveControllers() {
  static int count = 0;
  return count;
}

}  // namespace

THidDeviceController::THidDeviceController(HidPlatform& platform) : m_platform(platform) {
  if (liveControllers() > 0) {
    throw EControllerError("Only one THidDeviceController allowed per program");
  }
  ++liveControllers();
  try {
    m_devices = buildDeviceList();
  } catch (...) {
    --liveControllers();
    throw;
  }
  if (m_platform.available()) {
    m_platform.setDeviceChangeHandler([this] { DeviceChange(); });
  }
}

THidDeviceController::~THidDeviceController() {
  --liveControllers();
  m_onDeviceChange = {};
  m_onDeviceUnplug = {};
  m_onEnumerate = {};
  m_platform.setDeviceChangeHandler({});
  std::vector<Entry> devices = std::move(m_devices);
  m_devices.clear();
  for (Entry& entry : devices) {
    entry.device->m_controller = nullptr;
    if (entry.owned) {
      entry.owned.reset();
    } else {
      entry.device->Unplug();
    }
  }
}

THidDevice* THidDeviceController::Device(int Idx) const {
  return Idx >= 0 && Idx < Count() ? m_devices[static_cast<std::size_t>(Idx)].device : nullptr;
}

int THidDeviceController::indexOf(const THidDevice& device) const {
  const auto found =
      std::find_if(m_devices.begin(), m_devices.end(),
                   [&device](const Entry& entry) { return entry.device == &device; });
  return found == m_devices.end() ? -1 : static_cast<int>(found - m_devices.begin());
}

void THidDeviceController::destroyDetached(std::unique_ptr<THidDevice> device) {
  if (device) {
    device->m_controller = nullptr;
  }
}

std::vector<THidDeviceController::Entry> THidDeviceController::buildDeviceList() {
  std::vector<Entry> list;
  if (!m_platform.available()) {
    return list;
  }
  for (const HidInterface& present : m_platform.listInterfaces()) {
    try {
      std::unique_ptr<THidDevice> device(
          new THidDevice(m_platform, {present.path, present.instance}, this));
      THidDevice* raw = device.get();
      list.push_back({raw, std::move(device)});
    } catch (const EControllerError&) {
      // An interface that cannot be opened or identified is left out without a message.
    }
  }
  return list;
}

void THidDeviceController::fireWithEventFlag(const THidPlugEvent& handler, THidDevice& device) {
  if (!handler) {
    return;
  }
  // A copy: the handler may assign a new one to the property it came from while it runs.
  const THidPlugEvent call = handler;  // NOLINT(performance-unnecessary-copy-initialization)
  const std::weak_ptr<const int> alive = device.m_aliveToken;
  device.setInControllerEvent(true);
  call(device);
  if (!alive.expired()) {
    device.setInControllerEvent(false);
  }
}

void THidDeviceController::DeviceChange() {
  if (m_reconciling) {
    // A notice that arrives while a handler of this reconciliation runs a nested event loop.
    m_reconcileAgain = true;
    return;
  }
  m_reconciling = true;
  try {
    do {
      m_reconcileAgain = false;
      reconcile();
    } while (m_reconcileAgain);
  } catch (...) {
    m_reconciling = false;
    throw;
  }
  m_reconciling = false;
}

void THidDeviceController::reconcile() {
  std::vector<Entry> present = buildDeviceList();
  bool changed = false;
  removeGone(present, changed);
  for (Entry& candidate : present) {
    const bool duplicate =
        std::any_of(m_devices.begin(), m_devices.end(), [&candidate](const Entry& listed) {
          return listed.device->PluggedIn() && listed.device->PnPInfo().DeviceInstance ==
                                                   candidate.device->PnPInfo().DeviceInstance;
        });
    if (duplicate) {
      destroyDetached(std::move(candidate.owned));
      candidate.device = nullptr;
    }
  }
  addArrivals(present, changed);
  if (changed || !m_firstChangeFired) {
    if (const THidNotifyEvent handler = m_onDeviceChange) {
      handler(*this);
    }
  }
}

void THidDeviceController::removeGone(const std::vector<Entry>& present, bool& changed) {
  for (int i = Count() - 1; i >= 0; --i) {
    if (i >= Count()) {
      continue;  // a handler shortened the list
    }
    THidDevice* device = m_devices[static_cast<std::size_t>(i)].device;
    const auto instance = device->PnPInfo().DeviceInstance;
    const bool stillPresent =
        device->PluggedIn() &&
        std::any_of(present.begin(), present.end(), [instance](const Entry& e) {
          return e.device->PnPInfo().DeviceInstance == instance;
        });
    if (stillPresent) {
      continue;
    }
    device->Unplug();
    fireWithEventFlag(m_onRemoval, *device);
    // The handler may have checked the device in (destroyed it); look it up by address only.
    const int index = indexOf(*device);
    if (index >= 0 && m_devices[static_cast<std::size_t>(index)].owned) {
      std::unique_ptr<THidDevice> gone =
          std::move(m_devices[static_cast<std::size_t>(index)].owned);
      m_devices.erase(m_devices.begin() + index);
      destroyDetached(std::move(gone));
    }
    changed = true;
  }
}

void THidDeviceController::addArrivals(std::vector<Entry>& present, bool& changed) {
  for (Entry& arrival : present) {
    if (arrival.device == nullptr) {
      continue;
    }
    THidDevice* device = arrival.device;
    m_devices.push_back(std::move(arrival));
    changed = true;
    fireWithEventFlag(m_onArrival, *device);
  }
}

int THidDeviceController::EnumerateDevices() {
  int visited = 0;
  const int last = Count() - 1;
  for (int i = 0; i <= last && i < Count(); ++i) {
    THidDevice* device = m_devices[static_cast<std::size_t>(i)].device;
    if (!device->PluggedIn()) {
      continue;
    }
    ++visited;
    if (!m_onEnumerate) {
      break;
    }
    const THidEnumerateEvent handler = m_onEnumerate;
    const std::weak_ptr<const int> alive = device->m_aliveToken;
    device->setInControllerEvent(true);
    const bool goOn = handler(*device, i);
    if (!alive.expired()) {
      device->setInControllerEvent(false);
      if (!device->CheckedOut()) {
        device->closeInfoHandle();
      }
    }
    if (!goOn) {
      break;
    }
  }
  return visited;
}

std::unique_ptr<THidDevice> THidDeviceController::CheckOutDevice(int Idx) {
  if (Idx < 0 || Idx >= Count() || !m_devices[static_cast<std::size_t>(Idx)].owned) {
    return nullptr;
  }
  std::unique_ptr<THidDevice> device = std::move(m_devices[static_cast<std::size_t>(Idx)].owned);
  device->setCheckedOut(true);
  device->startReadThreadIfReady();
  return device;
}

void THidDeviceController::CheckIn(THidDevice& device, THidDataEvent dataHandler,
                                   THidPlugEvent unplugHandler, int sleepTime) noexcept {
  const int index = indexOf(device);
  if (index < 0) {
    return;
  }
  if (device.PluggedIn()) {
    try {
      std::unique_ptr<THidDevice> fresh(new THidDevice(m_platform, device.PnPInfo(), this));
      fresh->SetDataHandler(std::move(dataHandler));
      fresh->SetUnplugHandler(std::move(unplugHandler));
      fresh->SetSleepTime(sleepTime);
      THidDevice* raw = fresh.get();
      m_devices[static_cast<std::size_t>(index)] = {raw, std::move(fresh)};
      return;
    } catch (const std::exception&) {
      // Falls through (this runs inside a destructor): the entry is taken out, see the header.
    }
  }
  m_devices.erase(m_devices.begin() + index);
}

void THidDeviceController::SetOnDeviceChange(THidNotifyEvent handler) {
  if (handler == m_onDeviceChange) {
    return;
  }
  m_onDeviceChange = std::move(handler);
  DeviceChange();
  m_firstChangeFired = true;
}

// A new controller-wide value goes on to every listed device that still has the old one; a
// device given a value of its own keeps it.
template <typename Value, typename Getter, typename Setter>
void THidDeviceController::passOnToDevices(Value& current, Value value, Getter get, Setter set) {
  if (value == current) {
    return;
  }
  for (const Entry& entry : m_devices) {
    if ((entry.device->*get)() == current) {
      (entry.device->*set)(value);
    }
  }
  current = std::move(value);
}

void THidDeviceController::SetOnDeviceData(THidDataEvent handler) {
  passOnToDevices(m_onDeviceData, std::move(handler), &THidDevice::DataHandler,
                  static_cast<void (THidDevice::*)(THidDataEvent)>(&THidDevice::SetDataHandler));
}

void THidDeviceController::SetOnDeviceDataError(THidDataErrorEvent handler) {
  passOnToDevices(m_onDeviceDataError, std::move(handler), &THidDevice::DataErrorHandler,
                  &THidDevice::SetDataErrorHandler);
}

void THidDeviceController::SetOnDeviceUnplug(THidPlugEvent handler) {
  passOnToDevices(m_onDeviceUnplug, std::move(handler), &THidDevice::UnplugHandler,
                  &THidDevice::SetUnplugHandler);
}

void THidDeviceController::SetDevThreadSleepTime(int milliseconds) {
  passOnToDevices(m_devThreadSleepTime, milliseconds, &THidDevice::SleepTime,
                  &THidDevice::SetSleepTime);
}

}  // namespace ostrel
