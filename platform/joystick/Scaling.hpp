// How the service turns a device's readings into the API's units, the same for
// every backend:
//   calibrated   [Min, Max] -> 0..65535, linear, rounded down (a device resting in
//                the middle of a symmetric range reads 32767);
//   centred      [Min, Rest] -> 0..32767 and [Rest, Max] -> 32767..65535, so the
//                rest position reads 32767 however far from the middle it lies;
//   raw          reading - Min.
// A reading outside [Min, Max] is clamped first, so none of them is ever negative.
// An axis the device lacks reads 0 in every mode. Hat angles are hundredths of a
// degree clockwise from forward, or PovCentered.
#pragma once

#include <algorithm>
#include <cstdint>

#include "joystick/JoystickDriver.hpp"

namespace vorlane::JoystickService::Scaling {

inline constexpr std::uint32_t CalibratedMax = 65535;
inline constexpr std::uint32_t CenteredRest = 32767;

constexpr std::int64_t Clamp(const TAxisRange& range, std::int32_t value) {
  return std::clamp<std::int64_t>(value, range.Min, range.Max);
}

constexpr std::uint32_t Calibrated(const TAxisRange& range, std::int32_t value) {
  if (!range.Present) return 0;
  const std::int64_t span = std::int64_t{range.Max} - range.Min;
  if (span <= 0) return CenteredRest;
  return static_cast<std::uint32_t>((Clamp(range, value) - range.Min) * CalibratedMax / span);
}

constexpr std::uint32_t Centered(const TAxisRange& range, std::int32_t value) {
  if (!range.Present) return 0;
  const std::int64_t v = Clamp(range, value);
  const std::int64_t rest = std::clamp<std::int64_t>(range.Rest, range.Min, range.Max);
  if (v <= rest) {
    const std::int64_t below = rest - range.Min;
    if (below == 0) return CenteredRest;
    return static_cast<std::uint32_t>((v - range.Min) * CenteredRest / below);
  }
  // v > rest implies Max > rest.
  const std::int64_t above = std::int64_t{range.Max} - rest;
  return static_cast<std::uint32_t>(CenteredRest +
                                    (v - rest) * (CalibratedMax - CenteredRest) / above);
}

constexpr std::uint32_t Raw(const TAxisRange& range, std::int32_t value) {
  if (!range.Present) return 0;
  return static_cast<std::uint32_t>(Clamp(range, value) - range.Min);
}

// A hat reading as the API reports it: an angle 0..35999 or PovCentered. Anything
// else a backend might give counts as centred.
constexpr std::uint32_t PovContinuous(std::uint32_t pov) {
  return pov < 36000 ? pov : PovCentered;
}

// The nearest of the eight directions 0, 4500, ..., 31500 (halfway rounds up,
// 35000 and above round to forward).
constexpr std::uint32_t PovDiscrete(std::uint32_t pov) {
  if (pov >= 36000) return PovCentered;
  return (pov + 2250) / 4500 % 8 * 4500;
}

}  // namespace vorlane::JoystickService::Scaling
