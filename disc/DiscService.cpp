#include "disc/DiscService.h"

#include "support/Udev.h"

#include <QSocketNotifier>
#include <QString>
#include <cstring>

namespace {
std::function<std::shared_ptr<IDiscDrives>()> g_factory;
std::vector<std::string> g_targets;
}  // namespace

std::shared_ptr<IDiscDrives> CreateDiscService() {
  return g_factory ? g_factory() : CreateLibburnService({true, g_targets});
}

void SetImageTargets(std::vector<std::string> paths) { g_targets = std::move(paths); }

void SetDiscServiceFactoryForTesting(std::function<std::shared_ptr<IDiscDrives>()> factory) {
  g_factory = std::move(factory);
}

std::string ImageTargetAddress(const std::string& path) { return "stdio:" + path; }

std::string IsoVolumeIdOf(const std::string& utf8Name) {
  std::string out;
  for (const char32_t u : QString::fromStdString(utf8Name).toUcs4()) {
    if (out.size() >= 32) break;
    const bool keep = (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
    out += (u >= 'a' && u <= 'z') ? static_cast<char>(u - 'a' + 'A') : keep ? static_cast<char>(u) : '_';
  }
  return out;
}

char DriveCharOf(const std::string& devnode) {
  const std::string n = devnode.rfind("/dev/sr", 0) == 0 ? devnode.substr(7) : std::string();
  if (n.empty() || n.size() > 2 || n.find_first_not_of("0123456789") != std::string::npos) return 0;
  return std::stoi(n) <= 25 ? static_cast<char>('A' + std::stoi(n)) : 0;
}

TDiscDeviceMonitor::TDiscDeviceMonitor(QObject* parent)
    : QObject(parent), monitor_(std::make_unique<TUdevMonitor>("block", "disk")) {
  if (!monitor_->Ok()) return;  // no notices
  notifier_ = new QSocketNotifier(monitor_->Fd(), QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] { ReadEvents(); });
}

TDiscDeviceMonitor::~TDiscDeviceMonitor() { delete notifier_; }

void TDiscDeviceMonitor::ReadEvents() {
  while (const TUdevDevice d = monitor_->Next()) {
    const bool optical = d.Flag("ID_CDROM") || d.SysName().rfind("sr", 0) == 0;
    Dispatch(d.Action(), d.DevNode(), optical, d.Flag("DISK_MEDIA_CHANGE"), d.Flag("ID_CDROM_MEDIA"));
  }
}

void TDiscDeviceMonitor::Dispatch(const std::string& action, const std::string& devnode, bool optical,
                                  bool mediaChange, bool hasMedia) {
  if (!optical || devnode.empty()) return;
  // Only a media change tells of a disc put in or taken out; other changes are the drive's own.
  const auto* handler = action == "add"                      ? &OnRecorderAdded
                        : action == "remove"                 ? &OnRecorderRemoved
                        : action != "change" || !mediaChange ? nullptr
                        : hasMedia                           ? &OnMediaInserted
                                                             : &OnMediaRemoved;
  if (handler && *handler) (*handler)(devnode);
}
