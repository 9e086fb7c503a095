// What the printer dialog does beyond its fields: announcing a printer's identity and location to the service.
#pragma once

#include <QString>

namespace discovery {

// Resolves host (an unresolvable one becomes empty), reads the printer's identity with its brand's OID ("unknow"
// for an unrecognised or silent printer), takes "-" for an empty location, and hands the announcement request with
// identity and location to the window's browser after logging its whole address.
void updateServer(QString &host, QString &location);

} // namespace discovery
