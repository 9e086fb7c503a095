#include "links.h"

#include "customercodedialog.h"
#include "store/config.h"
#include "store/globals.h"
#include "upload/servicerequests.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QUrl>

#include <cmath>

namespace ui {

using namespace Qt::StringLiterals;

namespace {

// Customer numbers stay far from where the token's arithmetic could overflow.
constexpr double LargestCustomerNumber = 1e15;

QString storedCustomerCode() {
    return store::ReadIniValue(store::globals().iniFile, u"Vendor"_s, u"CID"_s);
}

} // namespace

std::optional<qint64> customerNumber(const QString &customerCode) {
    bool isNumber = false;
    const double value = customerCode.trimmed().toDouble(&isNumber);
    if (!isNumber || !std::isfinite(value) || std::fabs(value) > LargestCustomerNumber) return std::nullopt;
    return static_cast<qint64>(std::floor(value));
}

void openPortal(QWidget *parent) {
    QString code = storedCustomerCode();
    if (code.isEmpty()) {
        CustomerCodeDialog::ask(parent);
        code = storedCustomerCode();
        if (code.isEmpty()) return;
    }
    const std::optional<qint64> number = customerNumber(code);
    if (!number) return;
    const upload::ServiceRequest request = upload::portalButtonRequest(store::globals().vendorId, *number);
    if (!request.isEmpty()) QDesktopServices::openUrl(request.url());
}

void jumpTo(QWidget *parent, const QString &address) {
    if (address.isEmpty()) return;
    const QUrl url(address);
    if (url.isValid() && QDesktopServices::openUrl(url)) return;
    QMessageBox::warning(parent, u"Warning"_s, u"Error jumping to:"_s + address);
}

QString mailText() {
    return u"mailto:"_s + MakerContact + u"?cc="_s + u"&bcc="_s + u"&subject=Yonderlook ZOV"_s + u"&body="_s;
}

void mailMaker() { QDesktopServices::openUrl(QUrl(mailText())); }

} // namespace ui
