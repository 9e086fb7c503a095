#include "snmpprofiles.h"

#include "globals.h"
#include "inifile.h"
#include "log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>
#include <optional>

namespace store {
namespace {

const QStringList Versions{QStringLiteral("1"), QStringLiteral("2c"), QStringLiteral("3")};
const QStringList AuthProtocols{QStringLiteral("MD5"),     QStringLiteral("SHA"),     QStringLiteral("SHA-224"),
                                QStringLiteral("SHA-256"), QStringLiteral("SHA-384"), QStringLiteral("SHA-512")};
const QStringList PrivProtocols{QStringLiteral("DES"), QStringLiteral("AES"), QStringLiteral("AES-192"),
                                QStringLiteral("AES-256")};
constexpr qsizetype ShortestPassphrase = 8; // what the user-based security model asks, and Net-SNMP's tools check

struct TextKey {
    const char *name;
    QString SnmpProfile::*field;
};
constexpr TextKey TextKeys[] = {
    {"Community", &SnmpProfile::community},           {"User", &SnmpProfile::user},
    {"AuthPassphrase", &SnmpProfile::authPassphrase}, {"PrivPassphrase", &SnmpProfile::privPassphrase},
    {"Context", &SnmpProfile::context},
};

bool isDecimal(const QString &text, qsizetype maxDigits) {
    return !text.isEmpty() && text.size() <= maxDigits &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

bool setHosts(SnmpProfile &profile, const QString &value, QString &why) {
    profile.hosts = value;
    profile.blocks.clear();
    if (parseAddressBlocks(value, profile.blocks, why)) return true;
    why.prepend(QStringLiteral("Hosts: "));
    return false;
}

// Said once per reading of the file: in the log and on standard error.
void say(const QString &message) {
    WriteLog(message);
    QTextStream(stderr) << message << "\n";
}

} // namespace

std::optional<quint32> parseIpv4(const QString &text) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4) return std::nullopt;
    quint32 address = 0;
    for (const QString &part : parts) {
        if (!isDecimal(part, 3) || part.toUInt() > 255) return std::nullopt;
        address = address << 8 | part.toUInt();
    }
    return address;
}

std::optional<AddressBlock> parseAddressBlock(const QString &item) {
    if (const qsizetype slash = item.indexOf(u'/'); slash >= 0) {
        const auto base = parseIpv4(item.left(slash));
        const QString bits = item.mid(slash + 1);
        if (!base || !isDecimal(bits, 2) || bits.toUInt() > 32) return std::nullopt;
        const quint32 mask = bits.toUInt() == 0 ? 0 : ~quint32(0) << (32 - bits.toUInt());
        return AddressBlock{*base & mask, (*base & mask) | ~mask};
    }
    const qsizetype dash = item.indexOf(u'-');
    const auto first = parseIpv4(item.left(dash));
    if (!first || dash < 0) return first ? std::optional(AddressBlock{*first, *first}) : std::nullopt;
    const QString end = item.mid(dash + 1);
    std::optional<quint32> last = parseIpv4(end);
    if (isDecimal(end, 3) && end.toUInt() <= 255) last = (*first & ~0xFFu) | end.toUInt(); // the last part alone
    if (!last || *last < *first) return std::nullopt;
    return AddressBlock{*first, *last};
}

bool parseAddressBlocks(const QString &list, QList<AddressBlock> &blocks, QString &why) {
    static const QRegularExpression separators(QStringLiteral("[,\\s]+"));
    for (const QString &item : list.split(separators, Qt::SkipEmptyParts)) {
        const auto block = parseAddressBlock(item);
        if (!block) {
            why = QStringLiteral("%1 is not an address, a range or a CIDR block").arg(item);
            return false;
        }
        blocks << *block;
    }
    return true;
}

bool SnmpProfile::appliesTo(const QString &host) const {
    if (blocks.isEmpty()) return true;
    const auto address = parseIpv4(host.trimmed());
    const auto holds = [&](const AddressBlock &block) { return block.contains(*address); };
    return address && std::any_of(blocks.begin(), blocks.end(), holds);
}

bool setProfileKey(SnmpProfile &profile, const QString &key, const QString &value, QString &why) {
    const auto is = [&](const char *name) { return key.compare(QLatin1String(name), Qt::CaseInsensitive) == 0; };
    const auto choose = [&](QString &field, const QStringList &spellings, bool noneAllowed) {
        const auto found = std::find_if(spellings.begin(), spellings.end(), [&](const QString &spelling) {
            return spelling.compare(value, Qt::CaseInsensitive) == 0;
        });
        if (found == spellings.end() && !(noneAllowed && value.isEmpty())) {
            // Never the value: it may be a passphrase written under the wrong key.
            why = QStringLiteral("%1 is not one of %2").arg(key, spellings.join(QStringLiteral(", ")));
            return false;
        }
        field = found == spellings.end() ? QString() : *found;
        return true;
    };
    if (is("Version")) return choose(profile.version, Versions, false);
    if (is("AuthProtocol")) return choose(profile.authProtocol, AuthProtocols, true);
    if (is("PrivProtocol")) return choose(profile.privProtocol, PrivProtocols, true);
    if (is("Hosts")) return setHosts(profile, value, why);
    for (const TextKey &text : TextKeys) {
        if (!is(text.name)) continue;
        profile.*text.field = value;
        return true;
    }
    why = QStringLiteral("unknown key %1").arg(key);
    return false;
}

bool checkProfile(const SnmpProfile &profile, QString &why) {
    const bool v3 = profile.version == QLatin1String("3");
    const auto shortPassphrase = [](const QString &passphrase) {
        return !passphrase.isEmpty() && passphrase.size() < ShortestPassphrase;
    };
    why.clear();
    if (!v3 && !(profile.user + profile.authProtocol + profile.authPassphrase + profile.privProtocol +
                 profile.privPassphrase + profile.context).isEmpty())
        why = QStringLiteral("User, the protocols, the passphrases and Context go with Version 3");
    else if (v3 && profile.user.isEmpty())
        why = QStringLiteral("Version 3 needs a User");
    else if (profile.authProtocol.isEmpty() != profile.authPassphrase.isEmpty())
        why = QStringLiteral("AuthProtocol and AuthPassphrase go together");
    else if (profile.privProtocol.isEmpty() != profile.privPassphrase.isEmpty())
        why = QStringLiteral("PrivProtocol and PrivPassphrase go together");
    else if (!profile.privProtocol.isEmpty() && profile.authProtocol.isEmpty())
        why = QStringLiteral("PrivProtocol needs an AuthProtocol");
    else if (shortPassphrase(profile.authPassphrase) || shortPassphrase(profile.privPassphrase))
        why = QStringLiteral("a passphrase has fewer than %1 characters").arg(ShortestPassphrase);
    return why.isEmpty();
}

SnmpProfiles parseSnmpProfiles(const QByteArray &bytes) {
    const IniFile ini = IniFile::parse(bytes);
    SnmpProfiles parsed;
    parsed.present = true;
    const QStringList repeated = ini.repeatedSections();
    for (const QString &section : ini.sections()) {
        // Only the first of them would be read, and which one was meant cannot be told.
        if (repeated.contains(section, Qt::CaseInsensitive)) {
            parsed.problems << QStringLiteral("profile [%1] left out: more than one section has this name, and each "
                                              "is left out")
                                   .arg(section);
            continue;
        }
        SnmpProfile profile;
        profile.name = section;
        QString why = section.isEmpty() ? QStringLiteral("it has no name") : QString();
        for (const QString &key : ini.keys(section))
            if (!why.isEmpty() || !setProfileKey(profile, key, ini.value(section, key).value_or(QString()), why)) break;
        if (why.isEmpty()) checkProfile(profile, why);
        if (why.isEmpty() && profile.version != QLatin1String("3") && profile.community.isEmpty())
            why = QStringLiteral("Community is empty");
        if (why.isEmpty())
            parsed.profiles << profile;
        else
            parsed.problems << QStringLiteral("profile [%1] left out: %2").arg(section, why);
    }
    return parsed;
}

SnmpProfiles snmpProfiles() {
    static SnmpProfiles loaded;
    static QString loadedStamp;
    static bool readableSaid = false;
    const QString path = handedInFile(CredentialsFileName);
    const QFileInfo info(path);
    // Read again only after the file changed: every read of a printer asks.
    const QString stamp = changeStamp(path);
    if (loaded.generation > 0 && stamp == loadedStamp) return loaded;

    SnmpProfiles profiles;
    if (info.exists()) {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly)) {
            profiles = parseSnmpProfiles(file.readAll());
        } else {
            profiles.unreadable = true;
            profiles.problems << QStringLiteral("cannot be read (%1): no printer is read").arg(file.errorString());
        }
        profiles.present = true;
        if (!profiles.unreadable && !readableSaid &&
            (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))) {
            readableSaid = true;
            say(path + QStringLiteral(" is readable by other users: make it readable by its owner only (chmod 600)"));
        }
    }
    for (const QString &problem : profiles.problems) say(path + QStringLiteral(": ") + problem);
    profiles.path = path;
    profiles.generation = loaded.generation + 1;
    loaded = profiles;
    loadedStamp = stamp;
    return loaded;
}

} // namespace store
