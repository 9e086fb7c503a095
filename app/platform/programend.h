// The program's way out, taken by closing the main window and by "Exit" answered Yes. Every wait passes through the
// event pump, so a close is handled from the main loop or from inside a wait; from there the process ends at once:
// no further handler, timer, destructor or exit routine runs, so nothing more is sent or written. The window
// system and the session bus take the notification icon away with the process's connections.
//
// Like the event pump, the way out is installed by the program: the desktop program installs endProcess at
// start-up. A process that installed none (a test) and still reaches the way out ends with status 1 and says so,
// so that a test cannot pass by ending before it checked anything.
#pragma once

namespace platform {

// Takes the installed way out; never returns.
[[noreturn]] void endProgram();

// The real way out: kills the child processes still running (the system ping's, where the pinger falls back to
// it), so that none outlives the program, and ends the process with status 0.
[[noreturn]] void endProcess();

// Installs the way out that endProgram takes (endProcess, or nullptr for none); it must not return.
void setProgramEnd(void (*end)());

} // namespace platform
