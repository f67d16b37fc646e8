#include "app/SelfTestDialog.h"

#include "app/SelfTestText.h"
#include "comm/MyCommStatus.h"
#include "platform/Locale.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialogButtonBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

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
    m_text->setAccessibleName(QStringLiteral("Ergebnis des Selbsttests"));
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
