#pragma once

#include <chrono>

// Wall time the main thread spends inside GL calls. Every GL entry point the
// renderer calls in a frame is routed through a timing wrapper (GLEW's
// function pointers are swapped, the GL 1.1 functions are overridden in this
// executable), so that the frame time can be split into driver time and the
// game's own CPU time.
namespace DriverClock {

// Routes the GL calls through the wrappers. Call after glewInit.
void install();

// Time inside GL since the last reset.
std::chrono::nanoseconds elapsed();
void reset();

// What timing one call adds outside the call itself, measured on empty calls.
std::chrono::nanoseconds overheadPerCall();

// Number of GL calls since the last reset.
long calls();

}  // namespace DriverClock
