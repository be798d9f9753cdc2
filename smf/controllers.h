#pragma once
#include <cstdint>

#include "smf/image.h"

// Traces the control change with status `status` whose two data bytes,
// controller and value, stand at `data` (right after the status byte, or
// where the status is left out under running status). Prints the line of a
// known controller; nothing for any other controller or when the status is
// not a control change. Returns 2, the data bytes, or 0 when they do not lie
// wholly inside the image (nothing printed then).
uint32_t report_controller(const Image& image, uint8_t status, uint32_t data);
