// Threads' ends on POSIX: the destructor of a thread-local list of hooks. C++
// destroys a thread's thread-locals in the reverse order of their construction,
// so a hook may use those made before its first registration on the thread.
#include <utility>
#include <vector>

#include "framework/os/Os.hpp"

namespace vorlane::Os {

namespace {

class THooks {
 public:
  ~THooks() {
    while (!FHooks.empty()) {
      const auto [onEnd, context] = FHooks.back();
      FHooks.pop_back();
      onEnd(context);
    }
  }
  void Add(TThreadEndHook onEnd, void* context) { FHooks.emplace_back(onEnd, context); }

 private:
  std::vector<std::pair<TThreadEndHook, void*>> FHooks;
};

thread_local THooks t_hooks;

}  // namespace

void AtThreadEnd(TThreadEndHook onEnd, void* context) {
  t_hooks.Add(onEnd, context);
}

}  // namespace vorlane::Os
