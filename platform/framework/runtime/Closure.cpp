// The process-wide table of call signatures behind Closure::SignatureId.
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <string_view>

#include "vorlane/runtime/Closure.hpp"

namespace vorlane::Closure::detail {

namespace {

struct TSignatureTable {
  std::mutex Lock;
  // Nodes never move: the address of a key is its id.
  std::set<std::string, std::less<>> Keys;
};

// Never destroyed: modules may ask while the process exits, after ordinary static
// objects are gone.
TSignatureTable& Table() {
  static TSignatureTable* table = new TSignatureTable;
  return *table;
}

}  // namespace

const void* SignatureIdOf(const char* key) {
  TSignatureTable& t = Table();
  const std::string_view name(key);
  std::lock_guard lock(t.Lock);
  auto it = t.Keys.find(name);
  if (it == t.Keys.end()) it = t.Keys.emplace(name).first;
  return &*it;
}

}  // namespace vorlane::Closure::detail
