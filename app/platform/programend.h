// The program's way out, taken by closing the main window and by "Exit" answered Yes. Every wait passes through the
// event pump, so a close is handled from the main loop or from inside a wait; from there the process ends at once:
// no further handler, timer, destructor or exit routine runs, so nothing more is sent or written. The window
// system and the session bus take the notification icon away with the process's connections.
#pragma once

namespace platform {

// Kills the child processes still running (the system ping's, where the pinger falls back to it), so that none
// outlives the program, and ends the process with status 0.
[[noreturn]] void endProgram();

} // namespace platform
