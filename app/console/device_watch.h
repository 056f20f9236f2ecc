// Device arrival and removal notifications for the repair dialog, delivered
// on the thread that owns the watch (the dialog's) with the system's event
// codes (kDeviceArrival, kDeviceRemoveComplete).
//  - On the host: a udev monitor on block disks and partitions and on USB
//    devices; "add" is an arrival, "remove" a completed removal.
//  - Under QUORVIN_SIM=<machine>: the simulator's plug and unplug events,
//    the lines that it appends to the machine's events file, watched with
//    inotify. Only lines written after the watch started count.
#pragma once
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QSocketNotifier;

// The event codes of the complete lines in `text` ("plug ..." or
// "unplug ..."); `consumed` gets the length of the complete lines.
std::vector<uint32_t> ParseSimDeviceEvents(std::string_view text, size_t* consumed);

class DeviceWatch : public QObject {
 public:
  using Handler = std::function<void(uint32_t event)>;

  // Watches the simulated machine when `simMachine` is not empty, else the
  // host's devices.
  DeviceWatch(Handler handler, const std::string& simMachine, QObject* parent = nullptr);
  // The watch that the process's storage backend calls for: the machine
  // of QUORVIN_SIM when it is set.
  static std::unique_ptr<DeviceWatch> ForThisProcess(Handler handler);
  ~DeviceWatch() override;

  // False when no notification source could be opened (the dialog then
  // never sees a re-plug; Close remains the way out).
  bool Active() const { return m_notifier != nullptr; }

 private:
  void OpenUdev();
  void OpenSimulator(const std::string& machine);
  void ReadUdev();
  void ReadSimulator();

  Handler m_handler;
  QSocketNotifier* m_notifier = nullptr;
  int m_fd = -1;
  struct udev* m_udev = nullptr;
  struct udev_monitor* m_monitor = nullptr;
  std::string m_eventsFile;
  size_t m_eventsOffset = 0;
  std::string m_pending;
};
