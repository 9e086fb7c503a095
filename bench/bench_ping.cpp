// The console's ping phase over a /24, run after run: ClassPingBase with the console's parameters (100 requests in
// flight, 100 ms per request, 50 ms per address for the whole phase). bench/run calls it inside a network namespace
// of its own, where 30 addresses of 198.18.0.1-254 answer and the others stay silent.
//   bench_ping [NETWORK [RUNS]]   NETWORK: 198.18.0 (default) or 127.x.y; prints each run and "median_ms=..."
#include "discovery/console.h"
#include "discovery/pingbase.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[]) {
    QCoreApplication app(argc, argv);
    const QString network = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("198.18.0");
    const int runs = argc > 2 ? std::max(QByteArray(argv[2]).toInt(), 1) : 5;
    if (network != QLatin1String("198.18.0") && !network.startsWith(QLatin1String("127."))) {
        std::fprintf(stderr, "bench_ping: only 198.18.0 or a 127.x.y network, not %s\n", qPrintable(network));
        return 2;
    }
    QStringList addresses;
    for (int host = 1; host <= 254; ++host) addresses << network + u'.' + QString::number(host);
    const int count = static_cast<int>(addresses.size());
    addresses << QString(); // the pinger never uses its last element

    std::vector<qint64> times;
    for (int run = 1; run <= runs; ++run) {
        discovery::ClassPingBase pinger;
        pinger.setNumParalellActions(discovery::ConsolePingWidth);
        int answered = 0, silent = 0;
        QObject::connect(&pinger, &discovery::ClassPingBase::PingSuccess, [&answered] { ++answered; });
        QObject::connect(&pinger, &discovery::ClassPingBase::PingFail, [&silent] { ++silent; });
        QElapsedTimer clock;
        clock.start();
        pinger.PingHostList(addresses, discovery::ConsolePingTimeOutMs, count * discovery::ConsolePingMsPerAddress);
        times.push_back(clock.elapsed());
        std::printf("run %d: %lld ms, %d answered, %d silent (%s)%s%s\n", run, static_cast<long long>(times.back()),
                    answered, silent, qPrintable(pinger.lastMethod()), pinger.lastError().isEmpty() ? "" : ": ",
                    qPrintable(pinger.lastError()));
    }
    std::sort(times.begin(), times.end());
    std::printf("median_ms=%lld\n", static_cast<long long>(times[times.size() / 2]));
    return 0;
}
