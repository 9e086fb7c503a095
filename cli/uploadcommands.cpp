#include "commands.h"

namespace cli {

int encodeCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

int decodeCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

int vendorsCommand(const QStringList &) { return usageError(QStringLiteral("PLACEHOLDER")); }

} // namespace cli
