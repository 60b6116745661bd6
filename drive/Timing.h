// Timing of the drive commands, one block per command class: how often a wait
// asks the drive again, how long it goes on, and the pauses around immediate
// commands.  Every wait measures and sleeps on the platform clock, so under
// the simulated machine a ten-minute bound costs no real time.
//
// The bounds lie far beyond what a drive takes; a wait that reaches one ends
// with the drive's last sense as its failure.
#pragma once

#include <cstdint>

namespace drive {

// A request the ASPI library has not completed yet is looked at again after
// this pause (its bound is TransportSettings::AspiWaitBoundMs).
inline constexpr uint32_t kAspiPollMs = 1;

// Closing a track or session.  Before the close, when the write parameters
// could not be selected, the drive may still be busy: it is asked again every
// kBeforeClosePollMs.  After an immediate close the caller waits for the
// drive every kAfterClosePollMs.
inline constexpr uint32_t kBeforeClosePollMs = 300;
inline constexpr uint32_t kAfterClosePollMs = 500;
inline constexpr uint32_t kCloseWaitBoundMs = 10 * 60 * 1000;

// Blanking and formatting (both immediate): the drive is asked once a second
// until it is ready, and given a pause to settle before its cache is flushed.
inline constexpr uint32_t kFormatPollMs = 1000;
inline constexpr uint32_t kFormatWaitBoundMs = 90 * 60 * 1000;
inline constexpr uint32_t kFormatSettleMs = 3000;

}  // namespace drive
