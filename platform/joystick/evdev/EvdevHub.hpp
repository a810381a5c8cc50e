// The bookkeeping of the evdev backend, apart from its thread: which nodes are
// open, which are devices, and what each directory change or readable node means
// for the service. The driver runs it on its reader thread; tests drive it
// directly through a fake kernel seam.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "joystick/JoystickDriver.hpp"
#include "joystick/evdev/DeviceMapping.hpp"
#include "joystick/evdev/KernelIo.hpp"
#include "vorlane/Evdev.hpp"

namespace vorlane::JoystickService::EvdevBackend {

class TEvdevHub {
 public:
  explicit TEvdevHub(TKernelIo& io) : FIo(io) {}
  TEvdevHub(const TEvdevHub&) = delete;
  TEvdevHub& operator=(const TEvdevHub&) = delete;

  // Starts watching the directory, then opens every node in it (in node-number
  // order) and reports the joysticks to `host`.
  void Start(TDriverHost& host);
  // Acts on one thing that happened.
  void Handle(const TWake& wake);
  // Reports every device still attached removed and closes every node.
  void Stop();

  // The devices attached now, by node name.
  std::vector<std::string> DeviceNodes() const;
  TJoystickDevice* DeviceOf(const std::string& name) const;
  // The nodes that could not be opened, with the errno.
  std::map<std::string, int> Failures() const;
  // The errno of starting to watch the directory (0 when it is watched).
  int WatchError() const { return FWatchError; }

 private:
  struct TEntry {
    std::unique_ptr<TKernelNode> Node;      // open while the entry is a device
    std::unique_ptr<TMappedDevice> Device;  // null: not a joystick, or not opened
    int Error = 0;                          // why it could not be opened
  };

  void OpenNode(const std::string& name);
  void RemoveNode(const std::string& name);
  void ReadNode(std::uint64_t serial);
  void Rescan();

  TKernelIo& FIo;
  TDriverHost* FHost = nullptr;
  std::map<std::string, TEntry> FNodes;
  int FWatchError = 0;
  std::vector<input_event> FEvents;  // reused by every read
};

// Orders node names by their number: event2 before event10.
bool NodeNameLess(const std::string& a, const std::string& b);

// What Evdev::ListNodes reports, over any kernel seam.
std::vector<Evdev::TNodeReport> ListNodes(TKernelIo& io);

// The reason and remedy for a node that could not be opened.
void DescribeOpenError(int error, std::string& reason, std::string& remedy);

}  // namespace vorlane::JoystickService::EvdevBackend
