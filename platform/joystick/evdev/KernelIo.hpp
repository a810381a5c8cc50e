// The thin seam between the evdev backend and the kernel: opening event nodes
// (open, then the EVIOCG* ioctls through libevdev_new_from_fd), reading their events
// (read through libevdev_next_event, with libevdev's sync mode after SYN_DROPPED),
// and watching /dev/input (inotify) while waiting for any of it (epoll). Everything
// above this seam works on a `struct libevdev` and plain events, so tests replace
// the kernel with a fake and no device node is needed.
#pragma once

#include <linux/input.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "joystick/evdev/DeviceMapping.hpp"

namespace vorlane::JoystickService::EvdevBackend {

enum class TReadStatus : std::uint8_t {
  Ok,      // everything waiting was read
  Gone,    // the device was removed (ENODEV)
  Failed,  // another read error; the node is unusable
};

// The most events one Read returns outside a SYN_DROPPED delta.
inline constexpr std::size_t MaxEventsPerRead = 1024;

// One opened event node.
class TKernelNode {
 public:
  virtual ~TKernelNode() = default;
  // The device as the kernel described it when the node was opened, and its values
  // at that moment.
  virtual const libevdev* Device() const = 0;
  // Appends the events waiting on the node, at most MaxEventsPerRead of them (and
  // a whole delta). After a SYN_DROPPED, the events that
  // bring the device's state up to date follow it, ending with a SYN_REPORT.
  virtual TReadStatus Read(std::vector<input_event>& events, int& error) = 0;
  // Whether the device behind the node still exists.
  virtual bool Alive() = 0;
  // Tells this node's TWake::Readable apart from those of earlier nodes of the same name.
  virtual std::uint64_t Serial() const = 0;
};

struct TOpenResult {
  std::unique_ptr<TKernelNode> Node;  // null on failure
  int Error = 0;                      // the errno of the failure
};

struct TWake {
  enum class TKind : std::uint8_t {
    Readable,       // Serial's node has events (or hung up)
    Created,        // Name appeared in the directory (or was moved into it)
    Deleted,        // Name left the directory
    AttribChanged,  // Name's permissions or owner changed
    Overflow,       // directory events were lost: list the directory again
    Interrupted,    // Interrupt() was called
  };
  TKind Kind = TKind::Interrupted;
  std::string Name;  // a node name such as "event7"
  std::uint64_t Serial = 0;
};

class TKernelIo {
 public:
  virtual ~TKernelIo() = default;
  // The watched directory, e.g. "/dev/input".
  virtual const std::string& Directory() const = 0;
  // Starts watching the directory for nodes coming and going; call it before the
  // first List so that no node is missed. Returns the errno on failure (0 on success).
  virtual int Watch() = 0;
  // The event node names in the directory ("event0", "event12", ...), in no order.
  virtual std::vector<std::string> List() = 0;
  // Opens a node for reading. An opened node is watched by Wait until it is destroyed.
  virtual TOpenResult Open(const std::string& name) = 0;
  // Blocks until something happens; returns what did.
  virtual std::vector<TWake> Wait() = 0;
  // Makes a Wait that is blocked, or the next one, return. Callable from any thread.
  virtual void Interrupt() = 0;
};

// The kernel: a directory of event nodes, "/dev/input" normally.
std::unique_ptr<TKernelIo> CreateKernelIo(std::string directory = "/dev/input");

// "event" followed by decimal digits.
bool IsEventNodeName(std::string_view name);

}  // namespace vorlane::JoystickService::EvdevBackend
