// The command-line ping: one echo request through the system's ping program, its output taken from a temporary
// file.
#pragma once

#include <QString>

#include <optional>

class QIODevice;

namespace discovery {

// Full name of a new, empty file with the prefix "pin", made in the folder named by the environment variable
// "temp", else TMPDIR, else /tmp; a folder that cannot take the file passes to the next. Raises
// platform::Fault 51 when none can.
QString MakeTempFileName();

// Round-trip time in ms of one ping of host by `ping -c 1 -W 1 HOST` (a time under 1 ms counts as 1), or -1 when
// there was no reply line, its time cannot be read, the host text is refused (empty, a leading "-", blanks or
// control characters) or ping cannot be run. Waits at most about 10 s. Raises platform::Fault 51 when no temporary
// file can be made; the temporary file never outlives the call.
short PingViaShell(const QString &host);

// The time a line of ping output reports when it is a reply line, i.e. holds a number right after "=" or "<"
// followed by "ms" (optionally after one blank): "time=0.045 ms" (Linux), "time<1ms", "time=23ms" (the other
// wording). Whole milliseconds, at least 1; -1 for a reply line whose time does not fit a signed 16-bit number;
// nothing for any other line (ping's statistics line "..., time 0ms" among them).
std::optional<short> replyTime(const QString &line);

// The time of the first reply line of a ping output read line by line, or -1 when there is none.
short roundTripFromOutput(QIODevice &output);

} // namespace discovery
