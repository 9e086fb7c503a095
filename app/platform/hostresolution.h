// Host resolution: turns a printer's host into a dotted IPv4 address.
#pragma once

#include <QString>

namespace platform {

// A host that contains "." and splits at "." into exactly four parts is returned as it stands (the parts are not
// checked to be numbers). Any other host is looked up (IPv4 only) and its first address returned in dotted decimal;
// the empty text when it cannot be a host name at all or the lookup fails.
QString ResolveHost(const QString &host);

} // namespace platform
