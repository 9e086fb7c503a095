// The parallel pinger: which addresses of a list answer an ICMP echo request. Many requests are in flight at once;
// their completion is polled in short waits on the caller's thread, the event pump runs between polls, and the
// outcome of every address is reported through PingSuccess or PingFail, whose handlers run synchronously inside
// the run. Requests go out as echochannel.h describes.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

namespace discovery {

class ClassPingBase : public QObject {
    Q_OBJECT

public:
    explicit ClassPingBase(QObject *parent = nullptr);

    // Width N of the scheduling window of PingHostList: the first window spans N+1 slots, every later one N.
    // 500 for a new object; a run takes anything below 1 as 1.
    int NumParalellActions() const { return numParalellActions_; }
    void setNumParalellActions(int width) { numParalellActions_ = width; }

    // True from the start to the normal end of a PingHostList run.
    bool ListPingRunning() const { return listPingRunning_; }

    // Round-trip time in ms when sHostIP answered within 1000 ms (TimeOut is not consulted), -1 when it did not,
    // -2 when no way to ping could be opened (see lastError).
    int PingHostSingle(const QString &sHostIP, int TimeOut);

    // Pings the addresses 0 to U-1 of saIpAdresses, U being its last index: the element at U is never pinged.
    // Each request may take TimeOutHost ms; the run stops after TimeOutAll ms. Exactly one PingSuccess or PingFail
    // is raised for every index 0 to U-1 before the call returns: as each request completes, and then, in index
    // order, PingFail for every one that did not (cut off by TimeOutAll, or no way to ping). Always returns false;
    // a call while a run is going returns at once, sends nothing and raises nothing. A handler may change the
    // caller's list: the run keeps the addresses it was given.
    bool PingHostList(QStringList &saIpAdresses, int TimeOutHost, int TimeOutAll);

    // How the last call sent its requests ("datagram ICMP socket", "raw ICMP socket", "system ping"), empty when
    // it could not.
    QString lastMethod() const { return lastMethod_; }
    // Why the last call could not ping, or what went wrong with its way of pinging; empty when nothing did.
    QString lastError() const { return lastError_; }

signals:
    void PingSuccess(const QString &sIPAdress, int lNewStatus, int ArrayIndex);
    void PingFail(const QString &sIPAdress, int lNewStatus, int ArrayIndex);

private:
    friend class PingRun;

    int numParalellActions_ = 500;
    bool listPingRunning_ = false;
    QString lastMethod_;
    QString lastError_;
};

} // namespace discovery
