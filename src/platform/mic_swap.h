// SPDX-License-Identifier: MIT
// Microphone swap: the platform swaps microphones as part of handling a roll request, so the
// current roll angle is read back and sent again.
#pragma once

// Re-applies the camera's roll angle over a connection of its own. Failures are only logged;
// the caller goes on whatever happens.
void request_mic_swap();
