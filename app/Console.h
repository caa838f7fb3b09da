#pragma once

// Opens the null device onto each of standard input, output and error that
// the program was started without, so that the next file or connection opened
// cannot take that descriptor and receive the log lines. Call it first of all.
void openMissingStandardStreams();

// Keeps the console open after a fatal error until the player presses Enter.
// Returns at once when standard input is not a terminal (scripts, CI), so a
// failed run never hangs.
void waitForKeyPress();
