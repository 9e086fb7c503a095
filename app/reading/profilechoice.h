// Which credential profile reads which printer. At the first read of a host in a process, and again after its profile
// stopped answering, the profiles that apply to it are tried in order with one sysDescr get each and a single try, so
// that a wrong privacy passphrase (the agent cannot decrypt the request and stays silent) costs one time-out and the
// next profile is still tried. A profile that applies alone keeps the transport's retries: nothing would be tried
// after it, and one lost datagram would make the printer silent. The first that answers reads the host from then on,
// and snmp-state.ini in the program folder remembers it, so that the next process tries it first.
#pragma once

#include "store/snmpprofiles.h"

#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace reading {

inline const QString StateFileName = QStringLiteral("snmp-state.ini");

// One profile tried on a host: the library's text for its sysDescr get, and how long the try took.
struct ProfileTry {
    store::SnmpProfile profile;
    QString reply;
    qint64 milliseconds = 0;
    bool answered = false;
};

// Asks the host with a profile, with a single try when singleTry, else with the transport's retries; the library's
// text, nothing when the library could not ask as the profile says.
using ProfileTrial = std::function<std::optional<QString>(const store::SnmpProfile &, bool singleTry)>;

// Whether a library text came from the agent: a value or the agent's error status; not a time-out, a security report
// (unknown user, wrong digest, decryption error, ...) or a failure before anything was sent.
bool agentAnswered(const QString &reply);

// The profiles that apply to host in the order a choice tries them: the one snmp-state.ini remembers for it first,
// then the others in file order.
QList<store::SnmpProfile> trialOrder(const QString &host, const store::SnmpProfiles &profiles);

// Tries the profiles in order until one answers, each with a single try unless it is the only one; every try made.
QList<ProfileTry> tryProfiles(const QList<store::SnmpProfile> &order, const ProfileTrial &trial);

// The profile that reads host: the one chosen for it earlier in this process (while the file stays as it was), else
// the first of trialOrder that answers, which is then remembered. Nothing when none answers; why then holds the last
// try's text, or says that no profile applies.
std::optional<store::SnmpProfile> chosenProfile(const QString &host, const store::SnmpProfiles &profiles,
                                                const ProfileTrial &trial, QString &why);

// The name of the profile that reads host as far as is known without asking: the one chosen in this process, else
// the one snmp-state.ini remembers; empty when neither.
QString knownProfile(const QString &host, const store::SnmpProfiles &profiles);

// Takes the profile as the one that reads host in this process, as a search that saw it answer there does;
// snmp-state.ini stays as it is.
void choose(const QString &host, const store::SnmpProfiles &profiles, const QString &profileName);

// Forgets the choice for host, whose profile no longer answered: the next read chooses again.
void dropChoice(const QString &host);

} // namespace reading
