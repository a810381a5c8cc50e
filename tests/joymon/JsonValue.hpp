// A minimal JSON reader for the joymon tests: parses a whole document into a
// tree, and fails (throws std::runtime_error with the offset) on anything that is
// not JSON, so that a test reads joymon's output for real.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vorlane::JoyMon::testing {

struct TJson {
  enum class TKind { Null, Bool, Number, String, Array, Object } Kind = TKind::Null;
  bool Bool = false;
  double Number = 0;
  std::string String;
  std::vector<TJson> Array;
  std::map<std::string, TJson> Object;
  std::vector<std::string> Keys;  // the object's keys in document order

  bool Has(const std::string& key) const { return Object.count(key) != 0; }
  const TJson& operator[](const std::string& key) const {
    auto it = Object.find(key);
    if (Kind != TKind::Object || it == Object.end())
      throw std::runtime_error("no key \"" + key + "\"");
    return it->second;
  }
  const TJson& operator[](std::size_t index) const { return Array.at(index); }
  bool IsInteger() const {
    return Kind == TKind::Number &&
           Number == static_cast<double>(static_cast<std::int64_t>(Number));
  }
  // The element names of an array of strings.
  std::vector<std::string> Strings() const {
    std::vector<std::string> out;
    for (const TJson& v : Array) out.push_back(v.String);
    return out;
  }
};

TJson ParseJson(std::string_view text);

}  // namespace vorlane::JoyMon::testing
