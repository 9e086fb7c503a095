// What the program and the service must agree on, in one place: the cipher key of the scrambler, the upload offset
// key, the portal token's offset, and the vendor table with every service address. Addresses are built at run time
// under one service root: the operator's [Vendor] ServiceRoot, which the environment variable METERLANE_SERVICE_URL
// overrides (for tests), else a built-in root that never resolves.
#pragma once

#include <QList>
#include <QString>

#include <array>
#include <optional>

namespace store {

// Rotation of the scrambler's 62-character alphabet (1 to 61).
constexpr int CipherKey = 23;

// Seven-digit offset that hides the customer code inside the portal token.
constexpr qint64 TokenOffset = 7305194;

// One constant per counter slot 2 to 26, each from 2^30 to 2^31 - 1: a counter is uploaded as its slot's constant
// minus the counter.
constexpr std::array<qint32, 25> UploadOffsetKey = {
    1094712233, 1188305647, 1276021539, 1352840921, 1431697403, 1507266871, 1583399201, 1662047359, 1730572913,
    1819203767, 1887415031, 1958820487, 2031667261, 2104938119, 1125899839, 1213607443, 1299827671, 1377032591,
    1459166327, 1532879113, 1611802039, 1693047787, 1770311951, 1849732589, 1927164373};

constexpr int FirstOffsetSlot = 2;

// The service addresses of one vendor identifier; each address ends with the leading part of its query.
struct VendorAddresses {
    QString vendorId;
    QString upload;
    QString download;
    QString announcement;
    QString startupPortal;
    QString portalButton;
    bool portalTakesToken = false;
};

// The service root without trailing slashes: METERLANE_SERVICE_URL when set and not empty, else the configured
// [Vendor] ServiceRoot (globals().serviceRoot) when not empty, else the built-in root.
QString serviceRoot();

// The ten vendor identifiers with their addresses, in table order.
QList<VendorAddresses> vendorTable();

// The download address for any identifier the table does not hold.
QString defaultDownloadAddress();

// The first entry whose identifier equals vendorId exactly (letter case counts).
std::optional<VendorAddresses> findVendor(const QString &vendorId);

} // namespace store
