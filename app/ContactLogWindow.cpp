#include "app/ContactLogWindow.h"

#include "app/ContactLogModel.h"
#include "app/ContactLogRows.h"
#include "app/ContactLogView.h"
#include "app/SaveDialog.h"
#include "platform/Locale.h"
#include "protocol/ExportFile.h"
#include "protocol/RunCsv.h"
#include "timing/TimeBase.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QHideEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace app {

namespace {

// Often enough that the traces move smoothly, seldom enough to cost little.
constexpr int RefreshMs = 50;

QString runDialogModally(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

QPushButton *button(QWidget *parent, const char *name, const QString &text,
                    const QString &accessible)
{
    auto *b = new QPushButton(text, parent);
    b->setObjectName(QLatin1String(name));
    b->setAccessibleName(accessible);
    b->setFocusPolicy(Qt::TabFocus);
    return b;
}

} // namespace

ContactLogWindow::ContactLogWindow(QWidget *parent, std::size_t capacity)
    : QWidget(parent, Qt::Window), m_log(capacity), m_runSaveDialog(runDialogModally)
{
    setObjectName(QStringLiteral("ContactLogWindow"));
    setWindowTitle(QStringLiteral("Kontaktanzeige"));

    m_view = new ContactLogView(m_log, this);
    m_model = new ContactLogModel(m_log, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("ContactTable"));
    m_table->setAccessibleName(QStringLiteral("Flanken der Kontakte"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    // Fixed row heights keep a table of a hundred thousand rows quick.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);

    m_pause = button(this, "PauseButton", QStringLiteral("Anhalten"), QStringLiteral("Anhalten"));
    m_pause->setCheckable(true);
    auto *zoomIn = button(this, "ZoomInButton", QStringLiteral("+"), QStringLiteral("Vergrößern"));
    auto *zoomOut =
        button(this, "ZoomOutButton", QStringLiteral("−"), QStringLiteral("Verkleinern"));
    auto *clearButton =
        button(this, "ClearButton", QStringLiteral("Leeren"), QStringLiteral("Leeren"));
    auto *exportButton = button(this, "ExportButton", QStringLiteral("Als CSV speichern …"),
                                QStringLiteral("Als CSV speichern"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Status"));

    auto *buttons = new QHBoxLayout;
    for (QWidget *w : {static_cast<QWidget *>(m_pause), static_cast<QWidget *>(zoomIn),
                       static_cast<QWidget *>(zoomOut), static_cast<QWidget *>(clearButton),
                       static_cast<QWidget *>(exportButton)})
        buttons->addWidget(w);
    buttons->addWidget(m_status, 1);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    splitter->addWidget(m_view);
    splitter->addWidget(m_table);
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(splitter, 1);
    resize(820, 560);

    connect(m_pause, &QPushButton::toggled, m_view, &ContactLogView::setPaused);
    connect(m_view, &ContactLogView::pausedChanged, this, [this](bool paused) {
        const QSignalBlocker quiet(m_pause);
        m_pause->setChecked(paused);
        m_pause->setText(paused ? QStringLiteral("Weiter") : QStringLiteral("Anhalten"));
        m_pause->setAccessibleName(m_pause->text());
        updateStatus();
    });
    connect(m_view, &ContactLogView::spanChanged, this, &ContactLogWindow::updateStatus);
    connect(zoomIn, &QPushButton::clicked, m_view, [this] { m_view->zoom(+1); });
    connect(zoomOut, &QPushButton::clicked, m_view, [this] { m_view->zoom(-1); });
    connect(clearButton, &QPushButton::clicked, this, &ContactLogWindow::clear);
    connect(exportButton, &QPushButton::clicked, this, &ContactLogWindow::exportChosen);
    // A row picked in the table is shown in the traces, held still.
    connect(m_table, &QTableView::clicked, this, [this](const QModelIndex &index) {
        if (const std::optional<std::size_t> at = m_model->logIndex(index.row()))
            m_view->showAt(m_log.at(*at).edge.at);
    });

    m_timer = new QTimer(this);
    m_timer->setInterval(RefreshMs);
    connect(m_timer, &QTimer::timeout, this, &ContactLogWindow::refresh);
    updateStatus();
}

ContactLogWindow::~ContactLogWindow() = default;

void ContactLogWindow::add(const timing::LineEdge &edge)
{
    if (isOpen())
        m_log.add(edge);
}

void ContactLogWindow::setLineStates(std::optional<bool> line1Active,
                                     std::optional<bool> line2Active)
{
    m_log.setStates(line1Active, line2Active);
    m_view->update();
}

void ContactLogWindow::refresh()
{
    const bool fresh = m_log.added() != m_shownAdded;
    m_shownAdded = m_log.added();
    if (fresh) {
        QScrollBar *bar = m_table->verticalScrollBar();
        const bool atEnd = bar->value() == bar->maximum();
        m_model->sync();
        // The newest row stays in sight while the display runs and the user has not
        // scrolled away.
        if (atEnd && !m_view->isPaused())
            m_table->scrollToBottom();
        updateStatus();
    }
    // Running, the time axis moves even without edges.
    if (fresh || !m_view->isPaused())
        m_view->update();
}

void ContactLogWindow::clear()
{
    m_log.clear(timing::GetTicks());
    m_shownAdded = 0;
    m_model->sync();
    m_view->update();
    updateStatus();
}

void ContactLogWindow::updateStatus()
{
    const QChar decimal = platform::locale().decimalSeparator();
    QString text = QStringLiteral("%1 Flanken, Zeitfenster %2")
                       .arg(m_log.size())
                       .arg(ContactLogView::lengthText(m_view->span().length, decimal));
    if (m_log.added() > m_log.size())
        text += QStringLiteral(" (nur die letzten %1)").arg(m_log.capacity());
    if (m_view->isPaused())
        text += QStringLiteral(", angehalten");
    m_status->setText(text);
}

void ContactLogWindow::exportCsv(const QString &path) const
{
    protocol::writeFileReplacing(path,
                                 contactLogCsv(m_log, protocol::CsvConvention::forDecimalSeparator(
                                                          platform::locale().decimalSeparator())));
}

void ContactLogWindow::exportChosen()
{
    TSaveDialog dialog(this);
    dialog.setObjectName(QStringLiteral("ContactLogSaveDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({QStringLiteral("CSV, UTF-8 (*.csv)")});
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    const QString path = m_runSaveDialog(dialog);
    if (!path.isEmpty())
        exportCsv(path);
}

void ContactLogWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    clear();
    m_timer->start();
}

void ContactLogWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (event->spontaneous())
        return;
    // Closed, the display keeps nothing.
    m_timer->stop();
    m_log.clear(0);
    m_shownAdded = 0;
    m_model->sync();
}

} // namespace app
