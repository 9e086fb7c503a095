// Arbitrary bytes read as snmp-credentials.ini: every profile kept has keys that go together, blocks that start
// before they end and a name no other kept profile has, and asking whether a profile applies to a host never fails.
#include "check.h"
#include "store/snmpprofiles.h"

#include <cstdint>

using fuzz::check;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    const QByteArray bytes(reinterpret_cast<const char *>(data), static_cast<qsizetype>(size));
    const store::SnmpProfiles parsed = store::parseSnmpProfiles(bytes);
    QString why;
    QStringList names;
    for (const store::SnmpProfile &profile : parsed.profiles) {
        check(!names.contains(profile.name, Qt::CaseInsensitive));
        names << profile.name;
        check(store::checkProfile(profile, why));
        for (const store::AddressBlock &block : profile.blocks) check(block.first <= block.last);
        profile.appliesTo(QString::fromUtf8(bytes.left(20)));
        profile.appliesTo(QStringLiteral("127.0.0.1"));
    }
    return 0;
}
