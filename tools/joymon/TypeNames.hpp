// Names of enumeration and set values, taken from the type information that the
// component publishes, so that joymon always spells them as the component does.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vorlane/runtime/TypInfo.hpp"

namespace vorlane::JoyMon {

// The element names of the set `bits` of the set type `setType`, in element order.
// Bits beyond the element type's range have no name and are left out.
std::vector<std::string_view> SetElementNames(TypInfo::PTypeInfo setType, std::uint64_t bits);

// "[joButton1, joButton3]"; "[]" for the empty set.
std::string SetText(TypInfo::PTypeInfo setType, std::uint64_t bits);

template <class S>
std::vector<std::string_view> SetNames(S set) {
  return SetElementNames(TypInfo::TypeInfo<S>(), set.Bits());
}
template <class S>
std::string SetText(S set) {
  return SetText(TypInfo::TypeInfo<S>(), set.Bits());
}
template <class E>
std::string_view EnumName(E value) {
  return TypInfo::GetEnumName(TypInfo::TypeInfo<E>(), static_cast<std::int64_t>(value));
}

}  // namespace vorlane::JoyMon
