#include "app/SelfTestDialog.h"

#include "comm/MyCommStatus.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "protocol/NumberFormat.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <unistd.h>

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

QJsonArray lineJson(const comm::SelfTestLine &line)
{
    return {line.edges, line.medianUs, line.p99Us, line.maxUs};
}

bool lineFromJson(const QJsonValue &value, comm::SelfTestLine &line)
{
    const QJsonArray a = value.toArray();
    if (a.size() != 4)
        return false;
    for (const QJsonValue &v : a)
        if (!v.isDouble() || !std::isfinite(v.toDouble()))
            return false;
    line.edges = a[0].toInt();
    line.medianUs = a[1].toDouble();
    line.p99Us = a[2].toDouble();
    line.maxUs = a[3].toDouble();
    return true;
}

// A file of this size is not ours.
constexpr qint64 MaxFileBytes = 64 * 1024;

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

QString SelfTestStore::defaultPath()
{
    const QString folder = platform::configFolder();
    return folder.isEmpty() ? QString() : folder + QStringLiteral("/selbsttest.json");
}

SelfTestStore::SelfTestStore(QString path) : m_path(std::move(path)) {}

QMap<QString, KeptSelfTest> SelfTestStore::read() const
{
    m_damaged = false;
    QMap<QString, KeptSelfTest> kept;
    if (m_path.isEmpty() || !QFileInfo::exists(m_path))
        return kept;
    const platform::SideFile file = platform::readSideFile(m_path, MaxFileBytes);
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.bytes, &error);
    if (!file.error.isEmpty() || error.error != QJsonParseError::NoError || !document.isObject()) {
        m_damaged = true;
        return kept;
    }
    const QJsonObject adapters = document.object().value(QStringLiteral("adapters")).toObject();
    for (auto it = adapters.begin(); it != adapters.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        KeptSelfTest entry;
        entry.when = QDateTime::fromString(o.value(QStringLiteral("when")).toString(), Qt::ISODate);
        comm::SelfTestResult &r = entry.result;
        r.loopback = o.value(QStringLiteral("loopback")).toBool();
        r.buffering = o.value(QStringLiteral("buffering")).toBool();
        r.latencyMs = o.value(QStringLiteral("latencyMs")).toInt(-1);
        r.systematicUs = o.value(QStringLiteral("systematicUs")).toDouble(NAN);
        // An entry that does not read whole is no result at all.
        if (!entry.when.isValid() || !std::isfinite(r.systematicUs) ||
            !lineFromJson(o.value(QStringLiteral("dsr")), r.dsr) ||
            !lineFromJson(o.value(QStringLiteral("cts")), r.cts)) {
            m_damaged = true;
            continue;
        }
        kept.insert(it.key(), entry);
    }
    return kept;
}

std::optional<KeptSelfTest> SelfTestStore::find(const QString &adapter) const
{
    const QMap<QString, KeptSelfTest> kept = read();
    const auto it = kept.constFind(adapter);
    if (it == kept.cend())
        return std::nullopt;
    return *it;
}

QString SelfTestStore::keep(const QString &adapter, const KeptSelfTest &kept)
{
    if (m_path.isEmpty())
        return QStringLiteral("Es gibt keinen Ordner für die Einstellungen.");
    QMap<QString, KeptSelfTest> all = read();
    all.insert(adapter, kept);
    while (all.size() > MaxAdapters) {
        auto oldest = std::min_element(all.begin(), all.end(), [](const auto &a, const auto &b) {
            return a.when < b.when;
        });
        all.erase(oldest);
    }
    QJsonObject adapters;
    for (auto it = all.cbegin(); it != all.cend(); ++it) {
        const comm::SelfTestResult &r = it->result;
        adapters.insert(it.key(),
                        QJsonObject{{QStringLiteral("when"), it->when.toString(Qt::ISODateWithMs)},
                                    {QStringLiteral("loopback"), r.loopback},
                                    {QStringLiteral("buffering"), r.buffering},
                                    {QStringLiteral("latencyMs"), r.latencyMs},
                                    {QStringLiteral("systematicUs"), r.systematicUs},
                                    {QStringLiteral("dsr"), lineJson(r.dsr)},
                                    {QStringLiteral("cts"), lineJson(r.cts)}});
    }
    const QByteArray bytes =
        QJsonDocument(QJsonObject{{QStringLiteral("adapters"), adapters}}).toJson();
    const QString folder = QFileInfo(m_path).absolutePath();
    errno = 0;
    if (!QDir().mkpath(folder))
        return QStringLiteral("Der Ordner %1 lässt sich nicht anlegen.").arg(folder);
    const QByteArray target = QFile::encodeName(m_path);
    platform::ReplaceOptions options;
    options.temporaryTemplate = platform::folderOf(target) + "/.selbsttest-" +
                                QByteArray::number(::getpid()) + "-XXXXXX";
    const platform::ReplaceResult result = platform::replaceFile(target, nullptr, bytes, options);
    if (!result)
        return QStringLiteral("Das Ergebnis ließ sich nicht in %1 speichern: %2")
            .arg(m_path, QString::fromLocal8Bit(std::strerror(result.error ? result.error : EIO)));
    m_damaged = false;
    return {};
}

SelfTestDialog::SelfTestDialog(comm::TMyCommStatus *status, QWidget *parent, SelfTestStore store,
                               int toggles)
    : QDialog(parent), m_status(status), m_store(std::move(store)), m_toggles(toggles)
{
    setObjectName(QStringLiteral("frmSelbsttest"));
    setWindowTitle(QStringLiteral("Selbsttest der Messkette"));
    auto *layout = new QVBoxLayout(this);
    auto *intro = new QLabel(
        QStringLiteral("Der Selbsttest schaltet DTR und RTS %1-mal um und misst, wie spät "
                       "Tachoflux jede Änderung an DSR und CTS erfasst. Dazu muss ein Prüfstecker "
                       "stecken (DTR–DSR: Pin 4–6, RTS–CTS: Pin 7–8) oder beide Kontakte müssen "
                       "geschlossen sein.")
            .arg(m_toggles),
        this);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    m_progress = new QProgressBar(this);
    m_progress->setRange(0, 0);
    m_progress->setFormat(QString());
    m_progress->hide();
    layout->addWidget(m_progress);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lblErgebnis"));
    m_text->setWordWrap(true);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_text->setMinimumWidth(480);
    layout->addWidget(m_text, 1);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_start = buttons->addButton(QStringLiteral("&Starten"), QDialogButtonBox::ActionRole);
    m_start->setObjectName(QStringLiteral("btnStarten"));
    buttons->button(QDialogButtonBox::Close)->setText(QStringLiteral("&Schließen"));
    connect(m_start, &QPushButton::clicked, this, &SelfTestDialog::runTest);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    showKept();
}

void SelfTestDialog::showKept()
{
    if (!m_status || !m_status->Active()) {
        m_adapter.clear();
        m_text->setText(QStringLiteral("Es ist kein Anschluss geöffnet. Wählen Sie zuerst den "
                                       "Anschluss, an dem der Prüfstecker oder die Kontakte "
                                       "stecken."));
        return;
    }
    m_adapter = adapterIdentity(m_status->portFacts(), m_status->Comm());
    const std::optional<KeptSelfTest> kept = m_store.find(m_adapter);
    if (!kept) {
        m_text->setText(QStringLiteral("Für diesen Adapter (%1) gibt es noch kein Ergebnis.")
                            .arg(m_adapter));
        return;
    }
    m_result = kept->result;
    m_text->setText(QStringLiteral("Zuletzt geprüft am %1 um %2 (%3):\n")
                        .arg(platform::locale().shortDate(kept->when.date()),
                             platform::locale().longTime(kept->when.time()), m_adapter) +
                    selfTestText(kept->result));
}

void SelfTestDialog::runTest()
{
    if (!m_status || !m_status->Active()) {
        showKept();
        return;
    }
    m_adapter = adapterIdentity(m_status->portFacts(), m_status->Comm());
    m_start->setEnabled(false);
    m_progress->show();
    m_text->setText(QStringLiteral("Der Selbsttest läuft …"));
    // The switched lines are no runs: the window hears of them only once the test is over,
    // and then they are on again, as before.
    const comm::TNotifyEvent onChanged = m_status->OnChanged();
    m_status->setOnChanged(nullptr);
    const comm::SelfTestResult result = comm::runSelfTest(*m_status, m_toggles);
    // A test given up halfway switches the outputs back on at its end: that, too, is no
    // run. Without a plug the inputs never follow, and this waits its bound out.
    QDeadlineTimer deadline(200);
    while (m_status->Active() && !(m_status->DataSetReady() && m_status->ClearToSend()) &&
           !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    m_status->setOnChanged(onChanged);
    m_progress->hide();
    m_start->setEnabled(true);
    m_result = result;
    QString text = selfTestText(result);
    if (result.loopback) {
        const QString failed = m_store.keep(m_adapter, {QDateTime::currentDateTime(), result});
        if (!failed.isEmpty())
            text += u'\n' + failed;
    }
    m_text->setText(text);
}

QString SelfTestDialog::text() const
{
    return m_text->text();
}

} // namespace app
