#include "channel.h"

#include "reading/conditions.h"
#include "store/alertsettings.h"
#include "store/globals.h"
#include "store/inifile.h"
#include "store/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTextStream>

#include <algorithm>

namespace alerts {
namespace {

const QString MailPrefix = QStringLiteral("Mail ");
const QString WebhookPrefix = QStringLiteral("Webhook ");

const QStringList CommonKeys = {"MinimumSeverity", "Kinds", "SkipKinds", "Hosts", "Clears", "SummaryAt", "Verify",
                                "CAFile"};
const QStringList MailKeys = {"Server", "User", "Password", "PasswordFile", "From", "To"};
const QStringList WebhookKeys = {"URL"}; // and Header, Header2, ...

bool isHeaderKey(const QString &key) {
    static const QRegularExpression header(QStringLiteral("^header[0-9]*$"), QRegularExpression::CaseInsensitiveOption);
    return header.match(key).hasMatch();
}

// One section's reading: its values, and the problems of the ones it cannot use.
struct Section {
    const store::IniFile &ini;
    QString name;
    QStringList &problems;

    QString text(const QString &key) const { return ini.value(name, key).value_or(QString()).trimmed(); }
    void problem(const QString &why) const { problems << QStringLiteral("[%1] %2").arg(name, why); }

    // yes or no, else the default kept with a problem.
    bool yesNo(const QString &key, bool fallback) const {
        const QString value = text(key).toLower();
        if (value.isEmpty()) return fallback;
        if (value == u"yes" || value == u"no") return value == u"yes";
        problem(QStringLiteral("%1=%2 is neither yes nor no: %3 is used")
                    .arg(key, store::oneLine(value), fallback ? QStringLiteral("yes") : QStringLiteral("no")));
        return fallback;
    }
};

void readCommon(const Section &section, Channel &channel) {
    if (const QString severity = section.text("MinimumSeverity"); !severity.isEmpty()) {
        if (const auto level = reading::conditions::severityNamed(severity)) channel.minimumSeverity = int(*level);
        else section.problem(QStringLiteral("MinimumSeverity=%1 is none of critical, warning, notice: warning is used")
                                 .arg(store::oneLine(severity)));
    }
    channel.kinds = store::commaList(section.text("Kinds"));
    channel.skipKinds = store::commaList(section.text("SkipKinds"));
    channel.clears = section.yesNo("Clears", true);
    const bool verify = section.yesNo("Verify", true);
    const QString caFile = section.text("CAFile");
    channel.mail.verify = channel.webhook.verify = verify;
    channel.mail.caFile = channel.webhook.caFile = caFile;
    if (const QString at = section.text("SummaryAt"); !at.isEmpty()) {
        const QTime time = QTime::fromString(at, QStringLiteral("H:mm"));
        if (time.isValid()) channel.summaryAt = time;
        else section.problem(QStringLiteral("SummaryAt=%1 is no time HH:MM: no daily summary").arg(store::oneLine(at)));
    }
}

// The password of a mail channel: as written, or the first line of its PasswordFile. False after a problem.
bool readPassword(const Section &section, const QString &folder, Channel &channel) {
    const QString file = section.text("PasswordFile");
    if (file.isEmpty()) {
        channel.mail.password = section.ini.value(section.name, QStringLiteral("Password")).value_or(QString());
        return true;
    }
    QFile source(QDir(folder).filePath(file));
    if (!source.open(QIODevice::ReadOnly)) {
        section.problem(QStringLiteral("left out: PasswordFile %1 cannot be read (%2)").arg(source.fileName(),
                                                                                           source.errorString()));
        return false;
    }
    channel.mail.password = QString::fromUtf8(source.readLine()).remove(u'\n').remove(u'\r');
    if (source.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
        section.problem(QStringLiteral("PasswordFile %1 is readable by other users: make it readable by its owner only "
                                       "(chmod 600)").arg(source.fileName()));
    return true;
}

bool readMail(const Section &section, const QString &folder, Channel &channel) {
    channel.mail.server = QUrl(section.text("Server"), QUrl::StrictMode);
    const QString scheme = channel.mail.server.scheme().toLower();
    if ((scheme != u"smtp" && scheme != u"smtps") || channel.mail.server.host().isEmpty() ||
        !channel.mail.server.userInfo().isEmpty()) {
        section.problem(QStringLiteral("left out: Server is no smtp://HOST:PORT or smtps://HOST:PORT"));
        return false;
    }
    channel.mail.user = section.text("User");
    channel.from = section.text("From");
    channel.to = store::commaList(section.text("To"));
    if (channel.from.isEmpty() || channel.to.isEmpty()) {
        section.problem(QStringLiteral("left out: it needs From and To"));
        return false;
    }
    if (!readPassword(section, folder, channel)) return false;
    if (channel.mail.user.isEmpty() != channel.mail.password.isEmpty()) {
        section.problem(QStringLiteral("left out: User and a password go together"));
        return false;
    }
    return true;
}

bool readWebhook(const Section &section, Channel &channel) {
    channel.webhook.url = QUrl(section.text("URL"), QUrl::StrictMode);
    const QString scheme = channel.webhook.url.scheme().toLower();
    if ((scheme != u"http" && scheme != u"https") || channel.webhook.url.host().isEmpty()) {
        section.problem(QStringLiteral("left out: URL is no http:// or https:// address"));
        return false;
    }
    QStringList keys = section.ini.keys(section.name);
    keys.removeIf([](const QString &key) { return !isHeaderKey(key); });
    std::sort(keys.begin(), keys.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a.compare(b, Qt::CaseInsensitive) < 0;
    });
    for (const QString &key : keys) {
        const QString line = section.ini.value(section.name, key).value_or(QString());
        const qsizetype colon = line.indexOf(u':');
        const QByteArray name = line.left(colon).trimmed().toLatin1();
        static const QRegularExpression token(QStringLiteral("^[!#$%&'*+.^_`|~0-9A-Za-z-]+$"));
        if (colon <= 0 || !token.match(QString::fromLatin1(name)).hasMatch()) {
            section.problem(QStringLiteral("left out: %1 is no header line NAME: VALUE").arg(key));
            return false;
        }
        channel.webhook.headers.append({name, line.mid(colon + 1).trimmed().toUtf8()});
    }
    return true;
}

// The channel of one section, or nothing after a problem.
std::optional<Channel> readChannel(const store::IniFile &ini, const QString &name, const QString &folder,
                                   QStringList &problems) {
    const Section section{ini, name, problems};
    Channel channel;
    const bool mail = name.startsWith(MailPrefix, Qt::CaseInsensitive);
    channel.road = mail ? Road::Mail : Road::Webhook;
    channel.name = name.mid((mail ? MailPrefix : WebhookPrefix).size()).trimmed();
    for (const QString &key : ini.keys(name))
        if (!CommonKeys.contains(key, Qt::CaseInsensitive) &&
            !(mail ? MailKeys : WebhookKeys).contains(key, Qt::CaseInsensitive) && (mail || !isHeaderKey(key)))
            section.problem(QStringLiteral("%1 is no key of a %2 channel: not used").arg(key, mail ? "mail" : "webhook"));
    QString why;
    if (!store::parseAddressBlocks(section.text("Hosts"), channel.blocks, why)) {
        section.problem(QStringLiteral("left out: ") + why);
        return std::nullopt;
    }
    channel.hosts = section.text("Hosts");
    readCommon(section, channel);
    if (!(mail ? readMail(section, folder, channel) : readWebhook(section, channel))) return std::nullopt;
    return channel;
}

bool holdsSecrets(const store::IniFile &ini, const QString &section) {
    for (const QString &key : ini.keys(section))
        if (key.compare(QStringLiteral("Password"), Qt::CaseInsensitive) == 0 || isHeaderKey(key)) return true;
    return false;
}

void say(const QString &message) {
    store::WriteLog(message);
    QTextStream(stderr) << message << "\n";
}

} // namespace

bool Channel::takes(const ConditionEvent &event) const {
    if (event.severity < minimumSeverity || (!event.raised && !clears)) return false;
    if (!kinds.isEmpty() && !kinds.contains(event.kind, Qt::CaseInsensitive)) return false;
    if (skipKinds.contains(event.kind, Qt::CaseInsensitive)) return false;
    if (blocks.isEmpty()) return true;
    const auto address = store::parseIpv4(event.printer.address);
    return address && std::any_of(blocks.begin(), blocks.end(),
                                  [&](const store::AddressBlock &block) { return block.contains(*address); });
}

QString Channel::title() const { return (road == Road::Mail ? QStringLiteral("mail ") : QStringLiteral("webhook ")) + name; }

QString Channel::target() const {
    if (road == Road::Mail)
        return QStringLiteral("%1%2 to %3")
            .arg(mail.server.toString(), mail.user.isEmpty() ? QString() : QStringLiteral(" as ") + mail.user,
                 to.join(QStringLiteral(", ")));
    QUrl shown = webhook.url;
    if (shown.hasQuery()) shown.setQuery(QStringLiteral("********"));
    QStringList parts{shown.toString(QUrl::RemoveUserInfo)};
    for (const auto &header : webhook.headers) parts << QString::fromLatin1(header.first) + QStringLiteral(": ********");
    return parts.join(QStringLiteral(", "));
}

QByteArray Channel::write(const QString &id, const QDateTime &created, const Content &content) const {
    return road == Road::Mail ? mailMessage(id, created, from, to, content) : webhookBody(id, created, content);
}

void Channel::send(const QByteArray &body, Delivered delivered) const {
    if (road == Road::Mail) sendMail(mail, from, to, body, std::move(delivered));
    else postWebhook(webhook, body, std::move(delivered));
}

const Channel *Channels::find(const QString &name) const {
    for (const Channel &channel : channels)
        if (channel.name.compare(name, Qt::CaseInsensitive) == 0) return &channel;
    return nullptr;
}

Channels parseChannels(const QByteArray &bytes, const QString &folder) {
    const store::IniFile ini = store::IniFile::parse(bytes);
    Channels parsed;
    for (const QString &section : ini.sections()) {
        if (!section.startsWith(MailPrefix, Qt::CaseInsensitive) &&
            !section.startsWith(WebhookPrefix, Qt::CaseInsensitive))
            continue;
        parsed.holdsSecrets = parsed.holdsSecrets || holdsSecrets(ini, section);
        auto channel = readChannel(ini, section, folder, parsed.problems);
        if (!channel) continue;
        if (channel->name.isEmpty() || parsed.find(channel->name)) {
            parsed.problems << QStringLiteral("[%1] left out: a channel needs a name of its own").arg(section);
            continue;
        }
        parsed.channels << *channel;
    }
    return parsed;
}

Channels channels() {
    static Channels loaded;
    static QString loadedStamp;
    const QString path = store::handedInFile(store::AlertsFileName);
    const QFileInfo info(path);
    const QString stamp = store::changeStamp(path);
    if (stamp == loadedStamp) return loaded;
    loadedStamp = stamp;
    loaded = Channels();
    QFile file(path);
    if (info.exists() && file.open(QIODevice::ReadOnly)) loaded = parseChannels(file.readAll(), info.absolutePath());
    for (const QString &problem : loaded.problems) say(path + QStringLiteral(": ") + problem);
    if (loaded.holdsSecrets && (info.permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther)))
        say(path + QStringLiteral(" holds passwords or tokens and is readable by other users: make it readable by its "
                                  "owner only (chmod 600)"));
    return loaded;
}

} // namespace alerts
