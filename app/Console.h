#pragma once

// Keeps the console open after a fatal error until the player presses Enter.
// Returns at once when standard input is not a terminal (scripts, CI), so a
// failed run never hangs.
void waitForKeyPress();
