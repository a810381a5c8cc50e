#include "TypeNames.hpp"

namespace vorlane::JoyMon {

std::vector<std::string_view> SetElementNames(TypInfo::PTypeInfo setType, std::uint64_t bits) {
  std::vector<std::string_view> names;
  const TypInfo::PTypeInfo element = TypInfo::GetTypeData(setType)->CompType;
  if (element == nullptr) return names;
  const std::int64_t last = TypInfo::GetTypeData(element)->MaxValue;
  for (std::int64_t n = 0; n <= last && n < 64; ++n)
    if (bits & (std::uint64_t{1} << n)) names.push_back(TypInfo::GetEnumName(element, n));
  return names;
}

std::string SetText(TypInfo::PTypeInfo setType, std::uint64_t bits) {
  std::string text = "[";
  for (std::string_view name : SetElementNames(setType, bits)) {
    if (text.size() > 1) text += ", ";
    text += name;
  }
  return text + "]";
}

}  // namespace vorlane::JoyMon
