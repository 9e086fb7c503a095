#include "printerdialog.h"

#include "platform/hostresolution.h"
#include "platform/window.h"
#include "reading/brand.h"
#include "store/globals.h"
#include "store/log.h"
#include "upload/servicerequests.h"

namespace discovery {

void updateServer(QString &host, QString &location) {
    host = platform::ResolveHost(host);
    const QString identity = reading::GetSerialByBrand(host);
    if (location.isEmpty()) location = QStringLiteral("-");
    const store::Globals &values = store::globals();
    const upload::ServiceRequest request =
        upload::announcementRequest(values.vendorId, values.appCode, identity, location);
    store::WriteLog(request.text());
    platform::window().navigate(request.url());
}

} // namespace discovery
