// The console's walk of one OID on an open SnmpV1 session: the starting get, then get-next steps until a value
// holds "Error", the returned OID holds ".iso.", the first part of the OID changes (unless fullWalk), or the
// 10000th step. Component faults reach the caller.
#pragma once

#include "platform/componentfactory.h"

#include <QString>

#include <functional>

namespace discovery {

constexpr int WalkStepLimit = 10000;

// Adds the lines "=S= ", "=1= ", "=2= " ... as the walk makes them.
void walkOid(platform::ComponentObject &session, QString oid, bool fullWalk,
             const std::function<void(const QString &line)> &addLine);

} // namespace discovery
