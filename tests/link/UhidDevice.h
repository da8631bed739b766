#pragma once

#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::test {

// A kernel HID device driven from user space through /dev/uhid: the real hidraw path without
// hardware. It has no USB parent, so udev names it from HID_NAME. Answers feature (SET_REPORT)
// requests on a thread of its own and keeps what they carried.
class UhidDevice {
 public:
  // nullptr when /dev/uhid cannot be opened (no uhid module, no rights).
  static std::unique_ptr<UhidDevice> create(const std::string& name, std::uint16_t vendor,
                                            std::uint16_t product,
                                            std::span<const std::uint8_t> descriptor) {
    const int fd = ::open("/dev/uhid", O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      return nullptr;
    }
    std::unique_ptr<UhidDevice> device(new UhidDevice(fd));
    uhid_event event{};
    event.type = UHID_CREATE2;
    std::strncpy(reinterpret_cast<char*>(event.u.create2.name), name.c_str(),
                 sizeof(event.u.create2.name) - 1);
    event.u.create2.rd_size = static_cast<std::uint16_t>(descriptor.size());
    event.u.create2.bus = 0x06;  // BUS_VIRTUAL
    event.u.create2.vendor = vendor;
    event.u.create2.product = product;
    std::memcpy(event.u.create2.rd_data, descriptor.data(), descriptor.size());
    if (!device->send(event)) {
      return nullptr;
    }
    device->m_responder = std::thread([raw = device.get()] { raw->respond(); });
    return device;
  }

  ~UhidDevice() {
    m_stop = true;
    if (m_responder.joinable()) {
      m_responder.join();
    }
    uhid_event event{};
    event.type = UHID_DESTROY;
    send(event);
    ::close(m_fd);
  }
  UhidDevice(const UhidDevice&) = delete;
  UhidDevice& operator=(const UhidDevice&) = delete;

  bool sendInput(std::span<const std::uint8_t> report) {
    uhid_event event{};
    event.type = UHID_INPUT2;
    event.u.input2.size = static_cast<std::uint16_t>(report.size());
    std::memcpy(event.u.input2.data, report.data(), report.size());
    return send(event);
  }

  std::vector<std::vector<std::uint8_t>> featureReports() const {
    const std::lock_guard lock(m_mutex);
    return m_features;
  }

 private:
  explicit UhidDevice(int fd) : m_fd(fd) {}

  bool send(const uhid_event& event) const {
    return ::write(m_fd, &event, sizeof(event)) == sizeof(event);
  }

  void respond() {
    while (!m_stop) {
      pollfd poller{m_fd, POLLIN, 0};
      if (::poll(&poller, 1, 20) <= 0) {
        continue;
      }
      uhid_event event{};
      if (::read(m_fd, &event, sizeof(event)) <= 0) {
        continue;
      }
      if (event.type == UHID_SET_REPORT) {
        {
          const std::lock_guard lock(m_mutex);
          const std::uint8_t* data = &event.u.set_report.data[0];
          m_features.emplace_back(data, data + event.u.set_report.size);
        }
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        send(reply);
      } else if (event.type == UHID_GET_REPORT) {
        uhid_event reply{};
        reply.type = UHID_GET_REPORT_REPLY;
        reply.u.get_report_reply.id = event.u.get_report.id;
        reply.u.get_report_reply.err = 5;  // EIO
        send(reply);
      }
    }
  }

  int m_fd;
  std::atomic<bool> m_stop{false};
  std::thread m_responder;
  mutable std::mutex m_mutex;
  std::vector<std::vector<std::uint8_t>> m_features;
};

}  // namespace ostrel::test
