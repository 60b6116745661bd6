// The program's version and date, as the about box and the test log show them.
#pragma once

inline constexpr const char* kProgramVersion = "d.01.0";
inline constexpr const char* kProgramDate = "2009.11.05";
