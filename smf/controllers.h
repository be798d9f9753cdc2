#pragma once
#include <cstdint>

#include "smf/image.h"

// Traces the control change at `pos`:
//   0 status Bn   1 controller   2 value
// Prints the line of a known controller; nothing for any other controller
// or when the status is not a control change. Returns 3, or 0 when the three
// bytes do not lie wholly inside the image (nothing printed then).
uint32_t report_controller(const Image& image, uint32_t pos);
