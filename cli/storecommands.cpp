// meterlane-cli ini: reads or writes one value of an ini file through the program's own routines, so scripts see
// exactly what the program sees (case-insensitive names, 249-character values, atomic writes).
#include "commands.h"

#include "store/config.h"

#include <QFileInfo>
#include <QTextStream>

namespace cli {

int iniCommand(const QStringList &arguments) {
    QStringList args = arguments;
    args.removeOne(QStringLiteral("--")); // a value beginning with "-" goes after "--"
    const QString operation = args.value(0);
    if (operation != QLatin1String("get") && operation != QLatin1String("set"))
        return usageError(QStringLiteral("ini needs an operation: get or set"));
    const bool set = operation == QLatin1String("set");
    if (args.size() != (set ? 5 : 4))
        return usageError(QStringLiteral("ini %1 takes FILE SECTION KEY%2")
                              .arg(operation, set ? QStringLiteral(" VALUE") : QString()));

    const QString &file = args[1], &section = args[2], &key = args[3];
    QTextStream err(stderr);
    if (!set) {
        if (!QFileInfo(file).isFile()) {
            err << "meterlane-cli: no such file: " << file << "\n";
            return ExitFailed;
        }
        QTextStream(stdout) << store::ReadIniValue(file, section, key) << "\n";
        return ExitOk;
    }
    if (!store::WriteIniValue(file, section, key, args[4])) {
        err << "meterlane-cli: could not write " << file << "\n";
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace cli
