#pragma once
// Recorder and media notices from udev, delivered on the thread that owns the monitor.
#include <QObject>
#include <functional>
#include <string>

class QSocketNotifier;
struct udev;
struct udev_monitor;

// The Drive character of a media notice: the kernel's optical drive /dev/srN is the letter 'A' + N
// (sr0 -> A, sr4 -> E, up to sr25 -> Z); any other device, or N above 25, gives character 0.
char DriveCharOf(const std::string& devnode);

// A udev property of a block device given by its device node; empty when unknown.
std::string UdevPropertyOf(const std::string& devnode, const char* key);

class TDiscDeviceMonitor : public QObject {
  Q_OBJECT
 public:
  explicit TDiscDeviceMonitor(QObject* parent = nullptr);
  ~TDiscDeviceMonitor() override;
  bool Active() const { return monitor_ != nullptr; }

  std::function<void(const std::string& devnode)> OnRecorderAdded, OnRecorderRemoved, OnMediaInserted,
      OnMediaRemoved;

  // The filter every udev event goes through; public so that it can be exercised without udev.
  void Dispatch(const std::string& action, const std::string& devnode, bool optical, bool mediaChange,
                bool hasMedia);

 private:
  void ReadEvents();

  struct udev* udev_ = nullptr;
  struct udev_monitor* monitor_ = nullptr;
  QSocketNotifier* notifier_ = nullptr;
};
