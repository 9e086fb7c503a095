#include "commands.h"

namespace cli {

int resolveCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

int shellpingCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

} // namespace cli
