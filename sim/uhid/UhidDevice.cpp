#include "sim/uhid/UhidDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <system_error>

namespace ostrel::uhid {

namespace {

[[noreturn]] void throwErrno(const char* what) {
  throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

UhidDevice::UhidDevice(const char* path) {
  m_fd = ::open(path, O_RDWR | O_CLOEXEC);
  if (m_fd < 0) throwErrno(path);
}

UhidDevice::~UhidDevice() {
  try {
    destroy();
  } catch (const std::system_error&) {
    // Closing the descriptor removes the device as well.
  }
  ::close(m_fd);
}

void UhidDevice::create(const DeviceIdentity& identity, std::span<const std::uint8_t> descriptor) {
  uhid_event event{};
  event.type = UHID_CREATE2;
  auto& request = event.u.create2;
  if (descriptor.size() > sizeof(request.rd_data))
    throw std::invalid_argument("report descriptor too long");
  std::strncpy(reinterpret_cast<char*>(request.name), identity.name.c_str(),
               sizeof(request.name) - 1);
  std::strncpy(reinterpret_cast<char*>(request.uniq), identity.uniq.c_str(),
               sizeof(request.uniq) - 1);
  request.rd_size = static_cast<std::uint16_t>(descriptor.size());
  request.bus = identity.bus;
  request.vendor = identity.vendor;
  request.product = identity.product;
  std::copy(descriptor.begin(), descriptor.end(), request.rd_data);
  write(event);
  m_exists = true;
}

void UhidDevice::destroy() {
  if (!m_exists) return;
  uhid_event event{};
  event.type = UHID_DESTROY;
  m_exists = false;
  write(event);
}

void UhidDevice::sendInput(std::span<const std::uint8_t> report) {
  uhid_event event{};
  event.type = UHID_INPUT2;
  if (report.size() > sizeof(event.u.input2.data))
    throw std::invalid_argument("input report too long");
  event.u.input2.size = static_cast<std::uint16_t>(report.size());
  std::copy(report.begin(), report.end(), event.u.input2.data);
  write(event);
}

std::optional<uhid_event> UhidDevice::waitEvent(std::chrono::milliseconds timeout) {
  pollfd descriptor{m_fd, POLLIN, 0};
  const int ready =
      ::poll(&descriptor, 1, static_cast<int>(std::max<long long>(timeout.count(), 0)));
  if (ready < 0) {
    if (errno == EINTR) return std::nullopt;
    throwErrno("poll /dev/uhid");
  }
  if (ready == 0) return std::nullopt;
  uhid_event event{};
  const ssize_t count = ::read(m_fd, &event, sizeof(event));
  if (count < 0) {
    if (errno == EINTR || errno == EAGAIN) return std::nullopt;
    throwErrno("read /dev/uhid");
  }
  return event;
}

void UhidDevice::replyGetReport(std::uint32_t requestId, std::uint16_t error,
                                std::span<const std::uint8_t> data) {
  uhid_event event{};
  event.type = UHID_GET_REPORT_REPLY;
  auto& reply = event.u.get_report_reply;
  if (data.size() > sizeof(reply.data)) throw std::invalid_argument("reply too long");
  reply.id = requestId;
  reply.err = error;
  reply.size = static_cast<std::uint16_t>(data.size());
  std::copy(data.begin(), data.end(), reply.data);
  write(event);
}

void UhidDevice::replySetReport(std::uint32_t requestId, std::uint16_t error) {
  uhid_event event{};
  event.type = UHID_SET_REPORT_REPLY;
  event.u.set_report_reply.id = requestId;
  event.u.set_report_reply.err = error;
  write(event);
}

void UhidDevice::write(const uhid_event& event) {
  const ssize_t count = ::write(m_fd, &event, sizeof(event));
  if (count < 0) throwErrno("write /dev/uhid");
  if (static_cast<std::size_t>(count) != sizeof(event))
    throw std::system_error(EIO, std::generic_category(), "short write to /dev/uhid");
}

}  // namespace ostrel::uhid
