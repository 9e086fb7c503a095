#include "profilechoice.h"

#include "store/config.h"
#include "store/globals.h"

#include <QDir>
#include <QElapsedTimer>
#include <QHash>

namespace reading {
namespace {

const QString StateSection = QStringLiteral("Profiles");

// The choices of this process, for one reading of the credentials file in one program folder.
struct Choices {
    int generation = 0;
    QString folder;
    QHash<QString, QString> profileOf; // host → profile name
};

Choices &choices() {
    static Choices made;
    return made;
}

// The choices, started afresh when the credentials file was read again or the program folder changed.
Choices &currentChoices(const store::SnmpProfiles &profiles) {
    Choices &made = choices();
    const QString folder = store::globals().programFolder;
    if (made.generation != profiles.generation || made.folder != folder)
        made = Choices{profiles.generation, folder, {}};
    return made;
}

QString stateFile() { return QDir(store::globals().programFolder).filePath(StateFileName); }

bool sameName(const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) == 0; }

} // namespace

bool agentAnswered(const QString &reply) {
    static const QString response = QStringLiteral("[Vantobe.Mod.SnmpResponseProcess][");
    return !reply.startsWith(QLatin1String("[Vantobe")) ||
           (reply.startsWith(response) && !reply.startsWith(response + QStringLiteral("USM")));
}

QList<store::SnmpProfile> trialOrder(const QString &host, const store::SnmpProfiles &profiles) {
    const QString remembered = store::ReadIniValue(stateFile(), StateSection, host);
    QList<store::SnmpProfile> order;
    for (const store::SnmpProfile &profile : profiles.profiles) {
        if (!profile.appliesTo(host)) continue;
        if (sameName(profile.name, remembered))
            order.prepend(profile);
        else
            order.append(profile);
    }
    return order;
}

QList<ProfileTry> tryProfiles(const QList<store::SnmpProfile> &order, const ProfileTrial &trial) {
    QList<ProfileTry> tries;
    for (const store::SnmpProfile &profile : order) {
        QElapsedTimer timer;
        timer.start();
        const std::optional<QString> reply = trial(profile, order.size() > 1);
        static const QString unusable = QStringLiteral("the library cannot ask as the profile says (see the log)");
        ProfileTry made{profile, reply.value_or(unusable)};
        made.milliseconds = timer.elapsed();
        made.answered = reply && agentAnswered(*reply);
        tries << made;
        if (made.answered) break;
    }
    return tries;
}

std::optional<store::SnmpProfile> chosenProfile(const QString &host, const store::SnmpProfiles &profiles,
                                                const ProfileTrial &trial, QString &why) {
    Choices &made = currentChoices(profiles);
    if (const auto chosen = made.profileOf.constFind(host); chosen != made.profileOf.cend())
        for (const store::SnmpProfile &profile : profiles.profiles)
            if (profile.name == *chosen) return profile;

    const QList<ProfileTry> tries = tryProfiles(trialOrder(host, profiles), trial);
    if (tries.isEmpty() || !tries.last().answered) {
        why = tries.isEmpty() ? QStringLiteral("no profile of %1 applies to %2").arg(profiles.path, host)
                              : tries.last().reply;
        return std::nullopt;
    }
    const store::SnmpProfile &profile = tries.last().profile;
    made.profileOf.insert(host, profile.name);
    if (store::ReadIniValue(stateFile(), StateSection, host) != profile.name)
        store::WriteIniValue(stateFile(), StateSection, host, profile.name);
    return profile;
}

QString knownProfile(const QString &host, const store::SnmpProfiles &profiles) {
    const QString chosen = currentChoices(profiles).profileOf.value(host);
    return chosen.isEmpty() ? store::ReadIniValue(stateFile(), StateSection, host) : chosen;
}

void choose(const QString &host, const store::SnmpProfiles &profiles, const QString &profileName) {
    currentChoices(profiles).profileOf.insert(host, profileName);
}

void dropChoice(const QString &host) { choices().profileOf.remove(host); }

} // namespace reading
