// SNMP credential profiles: the ordered list of ways a site's printers may be asked (a version 1 or 2c community, a
// version 3 user with its protocols and passphrases), each optionally limited to some addresses. They live in a file
// of their own, snmp-credentials.ini, which the program never writes and a new version never renews (meterlane.ini is
// renewed), and which holds secrets: nothing here ever writes a passphrase anywhere. Without the file every printer
// is asked as always: version 1, community "public".
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace store {

inline const QString CredentialsFileName = QStringLiteral("snmp-credentials.ini");

// IPv4 addresses first to last, both included, as numbers.
struct AddressBlock {
    quint32 first = 0, last = 0;
    bool contains(quint32 address) const { return address >= first && address <= last; }
};

// A dotted IPv4 address as a number; nothing unless it is four decimal parts of at most 255.
std::optional<quint32> parseIpv4(const QString &text);

// The addresses one item names: "a.b.c.d", "a.b.c.d-e" (the last part alone), "a.b.c.d-a.b.c.e" or "a.b.c.d/n";
// nothing when it is none of these or a range ends before it starts.
std::optional<AddressBlock> parseAddressBlock(const QString &item);

// The blocks of a list of items separated by commas or blanks; false with why (naming the item) when one is not a
// block.
bool parseAddressBlocks(const QString &list, QList<AddressBlock> &blocks, QString &why);

struct SnmpProfile {
    QString name;
    QString version = QStringLiteral("1"); // "1", "2c" or "3"
    QString community = QStringLiteral("public");
    QString user, authProtocol, authPassphrase, privProtocol, privPassphrase, context; // version 3
    QString hosts;              // as written; empty: every host
    QList<AddressBlock> blocks; // what hosts names

    // Whether the profile may be tried on host: every host when it names none, else a dotted address it names.
    bool appliesTo(const QString &host) const;
};

struct SnmpProfiles {
    bool present = false;    // the file exists: its profiles, and only they, are tried
    bool unreadable = false; // it exists but cannot be read (problems says why): a failure at start-up
    QString path;
    QList<SnmpProfile> profiles; // in file order
    QStringList problems;        // each profile left out and why, or why the file could not be read
    int generation = 0;          // changes whenever the file is read anew
};

// Sets key (Version, Community, User, AuthProtocol, AuthPassphrase, PrivProtocol, PrivPassphrase, Context or Hosts,
// any letter case) from the value as Net-SNMP's tools spell it, in any letter case; false with why, which never
// quotes a value that is not one of the names a key takes (it may be a passphrase written under the wrong key).
bool setProfileKey(SnmpProfile &profile, const QString &key, const QString &value, QString &why);

// Whether the keys set go together: a version 3 profile has a user, a privacy protocol comes with an authentication
// protocol, each protocol with its passphrase and each passphrase with its protocol. False with why.
bool checkProfile(const SnmpProfile &profile, QString &why);

// The profiles of a file's bytes, one per section in file order. A section with an unknown key, a value that cannot
// be used, keys that do not go together or an empty Community is left out, with a problem that names it; so is
// every section of a name that heads more than one.
SnmpProfiles parseSnmpProfiles(const QByteArray &bytes);

// The profiles in effect: snmp-credentials.ini of the folder that systemd's LoadCredential= hands in
// ($CREDENTIALS_DIRECTORY), else of the program folder, else of the system folder; read again when it changes. Each
// reading says its problems (log and standard error), and the first in a process that finds the file readable by
// other users than its owner says that too, without anything of its content. A copy: a read nested in another's wait
// may read the file anew.
SnmpProfiles snmpProfiles();

} // namespace store
