#include "app/console/device_watch.h"

#include <QSocketNotifier>

#include <fcntl.h>
#include <libudev.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "app/console/repair_context.h"

namespace {

constexpr char kEventsFileName[] = "events";

std::string FirstWords(std::string_view line, int count) {
  std::string words;
  size_t pos = 0;
  for (int n = 0; n < count && pos < line.size(); ++n) {
    while (pos < line.size() && line[pos] == ' ') ++pos;
    size_t end = line.find(' ', pos);
    if (end == std::string_view::npos) end = line.size();
    words += std::string(line.substr(pos, end - pos)) + " ";
    pos = end;
  }
  return words;
}

}  // namespace

std::vector<uint32_t> ParseSimDeviceEvents(std::string_view text, size_t* consumed) {
  std::vector<uint32_t> events;
  size_t start = 0;
  while (true) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) break;
    std::string_view line = text.substr(start, end - start);
    // "plug <drive> <generation>"; a leading sequence number is allowed too.
    const std::string words = " " + FirstWords(line, 2);
    if (words.find(" unplug ") != std::string::npos) events.push_back(kDeviceRemoveComplete);
    else if (words.find(" plug ") != std::string::npos) events.push_back(kDeviceArrival);
    start = end + 1;
  }
  if (consumed) *consumed = start;
  return events;
}

DeviceWatch::DeviceWatch(Handler handler, const std::string& simMachine, QObject* parent)
    : QObject(parent), m_handler(std::move(handler)) {
  if (simMachine.empty()) OpenUdev();
  else OpenSimulator(simMachine);
}

std::unique_ptr<DeviceWatch> DeviceWatch::ForThisProcess(Handler handler) {
  const char* machine = std::getenv("QUORVIN_SIM");
  return std::make_unique<DeviceWatch>(std::move(handler), machine && *machine ? machine : "");
}

DeviceWatch::~DeviceWatch() {
  delete m_notifier;
  if (m_monitor) udev_monitor_unref(m_monitor);
  if (m_udev) udev_unref(m_udev);
  else if (m_fd >= 0) ::close(m_fd);
}

void DeviceWatch::OpenUdev() {
  m_udev = udev_new();
  if (!m_udev) return;
  m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
  if (!m_monitor) return;
  udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", "disk");
  udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "block", "partition");
  udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", "usb_device");
  if (udev_monitor_enable_receiving(m_monitor) < 0) return;
  m_fd = udev_monitor_get_fd(m_monitor);
  if (m_fd < 0) return;
  m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
  QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadUdev(); });
}

void DeviceWatch::ReadUdev() {
  while (udev_device* device = udev_monitor_receive_device(m_monitor)) {
    const char* action = udev_device_get_action(device);
    if (action && std::strcmp(action, "add") == 0) m_handler(kDeviceArrival);
    else if (action && std::strcmp(action, "remove") == 0) m_handler(kDeviceRemoveComplete);
    udev_device_unref(device);
  }
}

void DeviceWatch::OpenSimulator(const std::string& machine) {
  m_eventsFile = machine + "/" + kEventsFileName;
  struct stat st{};
  if (::stat(m_eventsFile.c_str(), &st) == 0) m_eventsOffset = static_cast<size_t>(st.st_size);
  m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (m_fd < 0) return;
  // The folder, not the file: the file may not exist yet.
  if (inotify_add_watch(m_fd, machine.c_str(), IN_MODIFY | IN_CREATE | IN_CLOSE_WRITE) < 0) {
    ::close(m_fd);
    m_fd = -1;
    return;
  }
  m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read);
  QObject::connect(m_notifier, &QSocketNotifier::activated, this, [this] { ReadSimulator(); });
}

void DeviceWatch::ReadSimulator() {
  alignas(inotify_event) char buffer[4096];
  while (::read(m_fd, buffer, sizeof buffer) > 0) {
  }
  int fd = ::open(m_eventsFile.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  struct stat st{};
  if (::fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) < m_eventsOffset) {
    // The file was replaced: read it from its start.
    m_eventsOffset = 0;
    m_pending.clear();
  }
  char chunk[4096];
  ssize_t got;
  while ((got = ::pread(fd, chunk, sizeof chunk, static_cast<off_t>(m_eventsOffset))) > 0) {
    m_pending.append(chunk, static_cast<size_t>(got));
    m_eventsOffset += static_cast<size_t>(got);
  }
  ::close(fd);
  size_t consumed = 0;
  const std::vector<uint32_t> events = ParseSimDeviceEvents(m_pending, &consumed);
  m_pending.erase(0, consumed);
  for (uint32_t event : events) m_handler(event);
}
