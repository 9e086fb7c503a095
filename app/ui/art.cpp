#include "art.h"

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerArtResources() { Q_INIT_RESOURCE(art); }

namespace ui::art {

void registerResources() {
    static const bool registered = (registerArtResources(), true);
    Q_UNUSED(registered);
}

QIcon icon(const QString &path) {
    registerResources();
    return QIcon(path);
}

} // namespace ui::art
