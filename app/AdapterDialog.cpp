#include "app/AdapterDialog.h"

#include "comm/SerialPort.h"

#include <QFileInfo>

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace app {

namespace {

QString portName(int number)
{
    return QStringLiteral("COM %1").arg(number);
}

// The "Leitungen" column and its explanation.
std::pair<QString, QString> describeLines(const comm::SerialProbe &probe)
{
    if (!probe.opened || !probe.answersStatus)
        return {QStringLiteral("antworten nicht"),
                QStringLiteral("Das Gerät liefert keine Leitungszustände; an ihm lassen sich "
                               "keine Kontakte anschließen.")};
    if (probe.changeWait)
        return {QStringLiteral("Änderungen gemeldet"),
                QStringLiteral("Der Treiber meldet jede Änderung der Leitungen.")};
    return {QStringLiteral("werden abgefragt"),
            QStringLiteral("Der Treiber meldet keine Änderungen; Tachoflux fragt die Leitungen "
                           "laufend ab.")};
}

} // namespace

AdapterDialog::AdapterDialog(QWidget *parent, QString devRoot, comm::SerialProbeFunction probe)
    : QDialog(parent), m_devRoot(std::move(devRoot)), m_probe(std::move(probe))
{
    setObjectName(QStringLiteral("frmAdapter"));
    setWindowTitle(QStringLiteral("Adapter für COM 1 und COM 2"));
    setSizeGripEnabled(true);

    auto *intro = new QLabel(
        QStringLiteral("Serielle Geräte an diesem Rechner. Wählen Sie ein Gerät und den Anschluss, "
                       "für den Tachoflux es benutzen soll."),
        this);
    intro->setWordWrap(true);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("lstDevices"));
    m_list->setHeaderLabels(
        {QStringLiteral("Gerät"), QStringLiteral("Anschluss"), QStringLiteral("Leitungen")});
    m_list->setRootIsDecorated(false);
    m_list->setAllColumnsShowFocus(true);
    m_list->setAccessibleName(QStringLiteral("Serielle Geräte"));
    m_list->setMinimumSize(560, 160);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    intro->setBuddy(m_list);

    m_com1 = new QRadioButton(QStringLiteral("COM &1"), this);
    m_com1->setObjectName(QStringLiteral("rbCom1"));
    m_com2 = new QRadioButton(QStringLiteral("COM &2"), this);
    m_com2->setObjectName(QStringLiteral("rbCom2"));
    m_com1->setChecked(true);

    m_current = new QLabel(this);
    m_current->setObjectName(QStringLiteral("lblCurrent"));
    m_current->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblStatus"));
    m_status->setWordWrap(true);

    m_link = new QPushButton(QStringLiteral("&Verknüpfen"), this);
    m_link->setObjectName(QStringLiteral("btnLink"));
    m_unlink = new QPushButton(QStringLiteral("Verknüpfung &entfernen"), this);
    m_unlink->setObjectName(QStringLiteral("btnUnlink"));
    auto *again = new QPushButton(QStringLiteral("&Aktualisieren"), this);
    again->setObjectName(QStringLiteral("btnRefresh"));
    auto *close = new QPushButton(QStringLiteral("&Schließen"), this);
    close->setObjectName(QStringLiteral("btnClose"));

    auto *ports = new QHBoxLayout;
    ports->addWidget(new QLabel(QStringLiteral("Anschluss:"), this));
    ports->addWidget(m_com1);
    ports->addWidget(m_com2);
    ports->addStretch();
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_link);
    buttons->addWidget(m_unlink);
    buttons->addWidget(again);
    buttons->addStretch();
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addWidget(m_list, 1);
    layout->addLayout(ports);
    layout->addWidget(m_current);
    layout->addWidget(m_status);
    layout->addLayout(buttons);

    // Enter closes the dialog; linking is always a deliberate click.
    for (QPushButton *button : {m_link, m_unlink, again})
        button->setAutoDefault(false);
    close->setDefault(true);
    m_confirm = [this](const QString &question) {
        return QMessageBox::question(this, windowTitle(), question,
                                     QMessageBox::Yes | QMessageBox::No,
                                     QMessageBox::No) == QMessageBox::Yes;
    };

    connect(m_link, &QPushButton::clicked, this, [this] { linkSelected(); });
    connect(m_unlink, &QPushButton::clicked, this, [this] { removeLink(); });
    connect(again, &QPushButton::clicked, this, &AdapterDialog::refresh);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_list, &QTreeWidget::itemDoubleClicked, this, [this] { linkSelected(); });

    refresh();
}

void AdapterDialog::refresh()
{
    m_entries = comm::listSerialDevices(m_devRoot, m_probe);
    m_list->clear();
    for (const comm::SerialDeviceEntry &e : m_entries) {
        const auto [lines, explanation] = describeLines(e.probe);
        // Adapter names are long; the whole path is one hover away.
        auto *item = new QTreeWidgetItem(m_list, {QFileInfo(e.path).fileName(), e.device, lines});
        item->setToolTip(0, e.path);
        item->setToolTip(2, explanation);
    }
    m_list->resizeColumnToContents(1);
    m_list->resizeColumnToContents(2);
    if (m_list->topLevelItemCount() > 0)
        m_list->setCurrentItem(m_list->topLevelItem(0));
    m_link->setEnabled(!m_entries.isEmpty());
    report(m_entries.isEmpty() ? QStringLiteral("Keine seriellen Geräte gefunden.") : QString(),
           false);
    showCurrentLinks();
}

void AdapterDialog::showCurrentLinks()
{
    QStringList lines;
    for (int n : {1, 2}) {
        const QString link = comm::DeviceSerialPorts::linkPath(std::uint8_t(n));
        const QFileInfo info(link);
        if (info.isSymLink())
            lines << QStringLiteral("%1 benutzt %2").arg(portName(n), info.symLinkTarget());
        else
            lines << QStringLiteral("%1 benutzt %2 (keine Verknüpfung)")
                         .arg(portName(n), comm::DeviceSerialPorts::devicePath(std::uint8_t(n)));
    }
    m_current->setText(lines.join(u'\n'));
}

int AdapterDialog::chosenPort() const
{
    return m_com2->isChecked() ? 2 : 1;
}

void AdapterDialog::report(const QString &text, bool error)
{
    m_status->setText(text);
    m_status->setStyleSheet(error ? QStringLiteral("color: #a00000;") : QString());
}

bool AdapterDialog::linkSelected()
{
    const int row = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (row < 0 || row >= m_entries.size()) {
        report(QStringLiteral("Bitte zuerst ein Gerät wählen."), true);
        return false;
    }
    const int port = chosenPort();
    const QString &target = m_entries[row].path;
    // A link to a device that is there may be the adapter in use: replacing it is asked.
    const QFileInfo old(comm::DeviceSerialPorts::linkPath(std::uint8_t(port)));
    if (old.isSymLink() && old.exists() &&
        old.canonicalFilePath() != QFileInfo(target).canonicalFilePath() && m_confirm &&
        !m_confirm(QStringLiteral("%1 benutzt %2. Stattdessen %3 verknüpfen?")
                       .arg(portName(port), old.symLinkTarget(), target))) {
        report(QStringLiteral("%1 benutzt weiter %2.").arg(portName(port), old.symLinkTarget()),
               false);
        return false;
    }
    if (const QString error = comm::writePortLink(port, target); !error.isEmpty()) {
        report(error, true);
        return false;
    }
    if (!m_changed.contains(port))
        m_changed << port;
    showCurrentLinks();
    report(QStringLiteral("%1 benutzt jetzt %2.").arg(portName(port), target), false);
    return true;
}

bool AdapterDialog::removeLink()
{
    const int port = chosenPort();
    const bool existed =
        QFileInfo(comm::DeviceSerialPorts::linkPath(std::uint8_t(port))).isSymLink();
    if (const QString error = comm::removePortLink(port); !error.isEmpty()) {
        report(error, true);
        return false;
    }
    showCurrentLinks();
    if (!existed) {
        report(QStringLiteral("%1 hat keine Verknüpfung.").arg(portName(port)), false);
        return false;
    }
    if (!m_changed.contains(port))
        m_changed << port;
    report(QStringLiteral("%1 benutzt wieder %2.")
               .arg(portName(port), comm::DeviceSerialPorts::devicePath(std::uint8_t(port))),
           false);
    return true;
}

} // namespace app
