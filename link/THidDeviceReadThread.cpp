#include "link/THidDeviceReadThread.h"

#include <algorithm>
#include <cerrno>

#include <pthread.h>

#include "link/HidPlatform.h"

namespace ostrel {

THidDeviceReadThread::THidDeviceReadThread(HidPlatform& platform, std::string path,
                                           std::size_t inputReportLength,
                                           const HidReadShared& shared,
                                           HidReadHandOff::Runner runner,
                                           std::unique_ptr<HidReportFilter> filter)
    : m_platform(platform),
      m_path(std::move(path)),
      m_shared(shared),
      m_handOff(std::make_shared<HidReadHandOff>()),
      m_ReportBuffer(inputReportLength),
      m_filter(std::move(filter)) {
  m_handOff->setRunner(std::move(runner));
  m_thread = std::thread([this] { run(); });
}

THidDeviceReadThread::~THidDeviceReadThread() {
  stop();
  // Queued calls that are still in the event loop find no pending item, and no runner either.
  m_handOff->setRunner(nullptr);
}

void THidDeviceReadThread::stop() {
  if (!m_thread.joinable()) {
    return;
  }
  m_stopReads.request_stop();
  m_handOff->stopAndDrain();
  m_thread.join();
}

void THidDeviceReadThread::run() {
  // Named so that debuggers and `top -H` tell it from the window's thread (at most 15 characters).
  pthread_setname_np(pthread_self(), "ostrel-read");
  while (!m_handOff->stopRequested()) {
    if (!readOnce()) {
      break;
    }
  }
  // Closing the reader here ends the outstanding read before the buffer goes away.
  m_reader.reset();
  m_handOff->markEnded();
}

bool THidDeviceReadThread::openReader() {
  std::uint32_t error = ENODEV;
  if (m_shared.accessible.load() && !m_ReportBuffer.empty()) {
    m_reader = m_platform.openReader(m_path, error);
  } else if (m_ReportBuffer.empty()) {
    error = EINVAL;
  }
  if (!m_reader) {
    reportError(error);
  }
  return m_reader != nullptr;
}

void THidDeviceReadThread::reportError(std::uint32_t error) {
  HidHandOffItem item;
  item.error = error;
  m_handOff->deliver(std::move(item));
}

// One pass of the read loop. An input report as the reader delivers it:
//   byte 0      report ID (0 for a device without numbered reports)
//   bytes 1..n  report data; n+1 <= ReportBuffer size (InputReportByteLength)
bool THidDeviceReadThread::readOnce() {
  const std::chrono::milliseconds slice{m_shared.sleepTimeMs.load()};
  std::fill(m_ReportBuffer.begin(), m_ReportBuffer.end(), std::uint8_t{0});
  if (!m_shared.accessible.load()) {
    m_reader.reset();  // an unplugged device's read handle is closed
  }
  if (!m_reader && !openReader()) {
    // Retried after one slice, not at once: a broken device must not spin a core or flood the log.
    return !m_handOff->waitOrStop(slice);
  }
  const HidReadResult result = m_reader->read(m_ReportBuffer, slice, m_stopReads.get_token());
  if (result.error != 0) {
    // A read that ends in failure is dropped like an empty one and the next read is started at
    // once, so a device removed mid-read is reported by the open that fails. Either way the next
    // pass comes one slice later: reads that keep failing must not spin a core either.
    m_reader.reset();
    openReader();
    return !m_handOff->waitOrStop(slice);
  }
  if (result.bytes == 0) {
    return true;
  }
  const std::size_t bytes = std::min(result.bytes, m_ReportBuffer.size());
  if (!handOverWanted(std::span<const std::uint8_t>(m_ReportBuffer.data(), bytes))) {
    return true;
  }
  HidHandOffItem item;
  item.report.assign(m_ReportBuffer.begin(),
                     m_ReportBuffer.begin() + static_cast<std::ptrdiff_t>(bytes));
  const auto pause = m_handOff->deliver(std::move(item));
  if (pause.count() > 0) {
    m_pausedUntil = std::chrono::steady_clock::now() + pause;
  }
  return true;
}

bool THidDeviceReadThread::handOverWanted(std::span<const std::uint8_t> report) {
  if (std::chrono::steady_clock::now() < m_pausedUntil) {
    m_droppedInPause = true;
    return false;
  }
  if (m_droppedInPause) {
    m_droppedInPause = false;
    if (m_filter) m_filter->gap();
  }
  return !m_filter || m_filter->pass(report);
}

}  // namespace ostrel
