// The process-wide hook that processes pending events while a long operation waits: the window's event loop in
// the desktop program, nothing in the command-line tool and in tests.
#pragma once

#include <functional>

namespace platform {

void setEventPump(std::function<void()> pump);
void pumpEvents();

} // namespace platform
