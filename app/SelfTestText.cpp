#include "app/SelfTestText.h"

#include "platform/Locale.h"
#include "protocol/NumberFormat.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace app {

namespace {

QString ms(double us)
{
    return protocol::formatFixed(us / 1000.0, 3, platform::locale().decimalSeparator()) +
           QStringLiteral(" ms");
}

QString lineText(const QString &name, const comm::SelfTestLine &line)
{
    return QStringLiteral("%1: Median %2, 99 %% %3, höchstens %4 (%5 Wechsel)")
        .arg(name, ms(line.medianUs), ms(line.p99Us), ms(line.maxUs))
        .arg(line.edges)
        .replace(QStringLiteral("%%"), QStringLiteral("%"));
}

QString bufferingText(const comm::SelfTestResult &result)
{
    if (result.buffering)
        return QStringLiteral("Der Treiber des Adapters hält Änderungen zurück (Latenz-Timer "
                              "%1 ms). Mit 1 ms werden die Zeiten genauer.")
            .arg(result.latencyMs);
    if (result.latencyMs >= 0)
        return QStringLiteral("Der Adapter hält Änderungen nicht zurück (Latenz-Timer %1 ms).")
            .arg(result.latencyMs);
    return QStringLiteral("Der Treiber meldet kein Zurückhalten von Änderungen.");
}

} // namespace

double betweenBarriersUs(const comm::SelfTestResult &result)
{
    const double spread = std::max(result.dsr.p99Us - result.dsr.medianUs,
                                   result.cts.p99Us - result.cts.medianUs);
    return std::abs(result.systematicUs) + std::max(0.0, spread);
}

QString selfTestText(const comm::SelfTestResult &result)
{
    QStringList lines;
    if (!result.loopback) {
        lines << QStringLiteral("Die Eingänge folgen den Ausgängen nicht: Es ist kein Prüfstecker "
                                "gesteckt, und die Kontakte sind nicht beide geschlossen.")
              << QStringLiteral("Stecken Sie einen Prüfstecker, der DTR mit DSR (Pin 4 mit Pin 6) "
                                "und RTS mit CTS (Pin 7 mit Pin 8) verbindet, oder schließen Sie "
                                "beide Kontakte, und starten Sie den Selbsttest erneut.");
        if (result.buffering)
            lines << bufferingText(result);
        return lines.join(u'\n');
    }
    lines << lineText(QStringLiteral("Kontakt 1 (DTR → DSR)"), result.dsr)
          << lineText(QStringLiteral("Kontakt 2 (RTS → CTS)"), result.cts);
    // Below the clock's and the read's grain the paths count as alike.
    if (std::abs(result.systematicUs) < 20.0)
        lines << QStringLiteral("Beide Kontakte werden gleich schnell erfasst (Unterschied %1).")
                     .arg(ms(result.systematicUs));
    else
        lines << QStringLiteral("Kontakt 2 wird im Mittel %1 %2 erfasst als Kontakt 1. Dieser "
                                "Unterschied geht in jede Zeit zwischen den beiden Kontakten ein.")
                     .arg(ms(std::abs(result.systematicUs)),
                          result.systematicUs > 0 ? QStringLiteral("später")
                                                  : QStringLiteral("früher"));
    lines << bufferingText(result);
    const double off = betweenBarriersUs(result);
    if (off <= LastDigitUs / 2)
        lines << QStringLiteral("Die vierte Nachkommastelle (0,1 ms) ist verlässlich.");
    else
        lines << QStringLiteral("Die vierte Nachkommastelle (0,1 ms) ist um bis zu %1 unsicher "
                                "(eine Zeit zwischen den Kontakten um bis zu %2).")
                     .arg(int(std::ceil(off / LastDigitUs)))
                     .arg(ms(off));
    return lines.join(u'\n');
}

QString adapterIdentity(const comm::SerialPortFacts &facts, int port, const QString &devRoot)
{
    if (facts.device.isEmpty())
        return QStringLiteral("COM %1").arg(port);
    const QString device = QFileInfo(facts.device).canonicalFilePath();
    QDirIterator links(devRoot + QStringLiteral("/serial/by-id"), QDir::System | QDir::Files);
    QStringList names;
    while (links.hasNext()) {
        const QFileInfo link(links.next());
        if (!device.isEmpty() && link.canonicalFilePath() == device)
            names << link.fileName();
    }
    if (names.isEmpty())
        return facts.device;
    names.sort();
    return QStringLiteral("by-id/") + names.first();
}

} // namespace app
