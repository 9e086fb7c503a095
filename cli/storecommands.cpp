#include "commands.h"

namespace cli {

int iniCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

} // namespace cli
