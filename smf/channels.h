#pragma once
#include <cstdint>

#include "smf/event.h"

// What the control changes so far have chosen on each channel: the bank
// (controllers 0 and 32) and the parameter that data entry sets, registered
// (101 and 100) or not (99 and 98). Kept over the whole walk, in file order.
struct ChannelState {
  enum Parameter : uint8_t { none, rpn, nrpn };
  struct Channel {
    int16_t bank[2] = {-1, -1};  // MSB, LSB; -1: not set
    Parameter parameter = none;  // the one chosen last
    int16_t rpn[2] = {-1, -1};
    int16_t nrpn[2] = {-1, -1};
  };
  Channel channels[kChannels];
};

// Takes in what event `e` chooses, after it has been shown.
inline void update_channels(ChannelState& state, const Event& e) {
  if (e.kind != Kind::control) return;
  ChannelState::Channel& c = state.channels[e.channel];
  const int16_t value = e.data[1];
  switch (e.data[0]) {
    case 0:
      c.bank[0] = value;
      break;
    case 32:
      c.bank[1] = value;
      break;
    case 101:
      c.rpn[0] = value, c.parameter = ChannelState::rpn;
      break;
    case 100:
      c.rpn[1] = value, c.parameter = ChannelState::rpn;
      break;
    case 99:
      c.nrpn[0] = value, c.parameter = ChannelState::nrpn;
      break;
    case 98:
      c.nrpn[1] = value, c.parameter = ChannelState::nrpn;
      break;
  }
}

// Whether controller `number` sets the chosen parameter: data entry and
// data increment and decrement.
constexpr bool sets_parameter(uint8_t number) {
  return number == 6 || number == 38 || number == 96 || number == 97;
}
