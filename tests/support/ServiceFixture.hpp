// The GoogleTest fixture of every test that talks to the joystick service.
#pragma once

#include <gtest/gtest.h>

#include "HermeticService.hpp"
#include "Pump.hpp"
#include "joystick/Service.hpp"
#include "vorlane/VirtualJoystick.hpp"

namespace vorlane::testing {

// Each test starts with a hermetic service (UseHermeticService), no faults and no
// call log. Afterwards the deferred releases the test left queued are carried out
// (so no window outlives its test) and the service starts afresh once more, so
// that a capture the test left behind cannot post into the next one.
class THermeticServiceTest : public ::testing::Test {
 protected:
  void SetUp() override { UseHermeticService(); }
  void TearDown() override {
    EXPECT_TRUE(DrainMessages()) << "the loop did not go quiet after the test";
    JoystickService::ResetForTesting();
  }

  JoystickTesting::TTestScope FScope;
};

}  // namespace vorlane::testing
