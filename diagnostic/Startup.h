// The diagnostic program's start-up, after the machine is chosen and the
// application object initialised: the title, the five windows in their
// order, the splash for one second, then the test window, modally.  When it
// closes, the program ends.
#pragma once

inline constexpr unsigned kSplashMs = 1000;

void RunCorvan();

// Frees the program's windows and forgets them, so that a process that
// runs the program more than once (tests, benchmarks) starts afresh.
void ResetCorvan();
