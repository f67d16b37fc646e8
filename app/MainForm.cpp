#include "app/MainForm.h"

#include "ui_MainForm.h"

#include "app/AdapterDialog.h"
#include "app/AppIcon.h"
#include "app/Classroom.h"
#include "app/ExceptionHandler.h"
#include "app/GroupFrame.h"
#include "app/HelpWindow.h"
#include "app/InfoForm.h"
#include "app/RunTableModel.h"
#include "app/RunReport.h"
#include "app/SaveDialog.h"
#include "app/StatisticsStrip.h"
#include "i18n/Translation.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/Shell.h"
#include "protocol/CsvExport.h"
#include "protocol/ExportFile.h"
#include "protocol/ModeRuns.h"
#include "protocol/NumberFormat.h"
#include "protocol/RunCsv.h"
#include "protocol/RunTexts.h"

#include "assets/Pictures.h"
#include "Version.h"
#include <QApplication>
#include <QItemSelectionModel>
#include <QPrintDialog>
#include <QPrinter>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QWindow>

#include <array>
#include <cmath>
#include <optional>

namespace app {

using timing::Ticks;

namespace {

// Lamp colour by line state: the lamps show the chronometer's memory of each line.
constexpr widgets::TColor LineColors[2] = {widgets::clMaroon, widgets::clLime};

QString runSaveDialogModally(QFileDialog &dialog)
{
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles().value(0);
}

// A second file type for spreadsheets; the name's extension decides what is written.
const QString CsvFilter = QStringLiteral("CSV, UTF-8 (*.csv)");
const QString PdfFilter = QStringLiteral("PDF-Bericht (*.pdf)");

// The window's width without the chart, and what the chart adds.
constexpr int BaseWidth = 787;
constexpr int ChartWidth = 384;
constexpr int WindowHeight = 644;

bool runPrintDialogModally(QPrinter &printer, QWidget *parent)
{
    QPrintDialog dialog(&printer, parent);
    return dialog.exec() == QDialog::Accepted;
}

// The distance as the protocol and the export show it.
QString distanceText(double meters)
{
    return protocol::formatFixed3(meters, platform::locale().decimalSeparator()) +
           QStringLiteral(" m");
}

// Why a distance is refused, empty if it is taken: a number above 0 and at most 1000 m,
// short enough that a space keeps the export's distance column apart from the next.
// `what` names the field: "Die Entfernung", "Die Fahnenlänge".
QString distanceRefusal(std::optional<double> meters, double kept,
                        const QString &what = QStringLiteral("Die Entfernung"))
{
    const QString stays = QStringLiteral("; sie bleibt %1").arg(distanceText(kept));
    if (!meters || !std::isfinite(*meters))
        return what + QStringLiteral(" muss eine Zahl sein") + stays;
    if (!(*meters > 0))
        return what + QStringLiteral(" muss größer als 0 m sein") + stays;
    if (*meters > 1000)
        return what + QStringLiteral(" darf höchstens 1000 m betragen") + stays;
    const QString text = distanceText(*meters);
    if (protocol::exportRow({}, {}, text + u' ', {}).size() !=
        protocol::exportRow({}, {}, {}, {}).size())
        return what + QStringLiteral(" %1 passt nicht in die Spalte des Exports").arg(text) +
               stays;
    return {};
}

const QString FlagName = QStringLiteral("Die Fahnenlänge");

// A minimum is whole milliseconds from 0 to 100.
constexpr int MaxMinimumMs = 100;
QString minimumRefusal(std::optional<double> ms, double kept)
{
    if (ms && *ms >= 0 && *ms <= MaxMinimumMs && *ms == std::floor(*ms))
        return {};
    return QStringLiteral("Die Mindestzeit muss eine ganze Zahl von 0 bis %1 ms sein; "
                          "sie bleibt %2 ms")
        .arg(MaxMinimumMs)
        .arg(qRound(kept));
}

} // namespace

TForm1::TForm1(timing::LineSource &lines, QWidget *parent)
    : QWidget(parent), m_ui(std::make_unique<Ui::TForm1>()), m_lines(lines)
{
    // The face before the controls, so that they measure their texts in it only once.
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    m_ui->setupUi(this);
    setWindowTitle(QStringLiteral(TACHOFLUX_TITLE));
    setObjectName(QStringLiteral("Form1"));

    btn46 = m_ui->btn46;
    btn78 = m_ui->btn78;
    btnReset = m_ui->btnReset;
    btnInfo = m_ui->btnInfo;
    btnHelp = m_ui->btnHelp;
    btnExport = m_ui->btnExport;
    imgWiring = m_ui->imgWiring;
    led4 = m_ui->led4;
    led6 = m_ui->led6;
    led7 = m_ui->led7;
    led8 = m_ui->led8;
    Prot = m_ui->Prot;
    edtM = m_ui->edtM;
    edtLabel = m_ui->edtLabel;
    cmbPort = m_ui->cmbPort;
    cmbAlg = m_ui->cmbAlg;
    cmbMode = m_ui->cmbMode;
    edtFlag = m_ui->edtFlag;
    edtMin = m_ui->edtMin;
    Digits = m_ui->Digits;
    btnChart = m_ui->btnChart;
    btnPrint = m_ui->btnPrint;
    Statistik = m_ui->Statistik;
    ChartBox = m_ui->GroupBox7;
    Diagramm = m_ui->Diagramm;

    // The diagram is built into the program from its drawing.
    assets::usePictures();
    imgWiring->loadBitmap(QStringLiteral(":/pictures/wiring.pic"));
    imgWiring->setAccessibleDescription(
        QStringLiteral("Schaltbild: Kontakt 1 verbindet Pin 4 und 6, Kontakt 2 Pin 7 und 8"));

    // The framework's after-loading step, once every stored property is in place.
    Digits->loaded();
    imgWiring->loaded();
    for (widgets::TIAgaloLED *led : {led4, led7, led6, led8})
        led->loaded();
    edtM->loaded();
    edtM->setAcceptance([this](std::optional<double> meters) {
        return distanceRefusal(meters, edtM->TakenValue());
    });
    edtFlag->loaded();
    edtFlag->setAcceptance([this](std::optional<double> meters) {
        return distanceRefusal(meters, edtFlag->TakenValue(), FlagName);
    });
    edtMin->loaded();
    edtMin->setAcceptance(
        [this](std::optional<double> ms) { return minimumRefusal(ms, edtMin->TakenValue()); });
    showMinimum();
    // A minimum taken in the field is the chosen mode's from now on.
    connect(edtMin, &widgets::TFloatSpinEdit::OnChange, this,
            [this] { minimumMs(m_engine.mode()) = qRound(edtMin->AcceptedValue()); });

    // The header would otherwise take the style's own, larger face.
    Prot->horizontalHeader()->setFont(font);
    for (QGroupBox *box : findChildren<QGroupBox *>())
        GroupFrame::apply(box);
    setWindowIcon(applicationIcon());
    setWindowIconText(QLatin1StringView(ApplicationTitle));
    setFixedSize(BaseWidth, WindowHeight);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    m_runModel = new app::RunTableModel(m_runs, this);
    Prot->setModel(m_runModel);
    applyColumnWidths();
    connect(m_runModel, &QAbstractItemModel::modelReset, this, [this] { applyColumnWidths(); });
    Prot->verticalHeader()->setDefaultSectionSize(17);
    Prot->verticalHeader()->setMinimumSectionSize(15);
    // The window's face would otherwise give the strip's rows the style's own height.
    Statistik->verticalHeader()->setDefaultSectionSize(17);

    // Every handler runs under the application's default error handler.
    const auto handler = [this](auto action) {
        return [this, action] { app::guarded([this, action] { action(this); }); };
    };
    const auto call = [handler](void (TForm1::*method)()) {
        return handler([method](TForm1 *form) { (form->*method)(); });
    };

    DigitsTimer = new QTimer(this);
    DigitsTimer->setObjectName(QStringLiteral("DigitsTimer"));
    DigitsTimer->setInterval(100);
    connect(DigitsTimer, &QTimer::timeout, this, call(&TForm1::DigitsTimerTimer));
    DigitsTimer->start();

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    QAction *resetProtocol = PopupMenu1->addAction(QStringLiteral("Reset Protokoll"));
    resetProtocol->setObjectName(QStringLiteral("ResetProtokoll1"));
    connect(resetProtocol, &QAction::triggered, this, call(&TForm1::Reset1Click));
    QAction *loadRuns = PopupMenu1->addAction(QStringLiteral("Letzte Messungen laden"));
    loadRuns->setObjectName(QStringLiteral("LetzteMessungen1"));
    connect(loadRuns, &QAction::triggered, this, call(&TForm1::loadLatestRuns));
    PopupMenu1->addSeparator();
    QAction *deleteRun = PopupMenu1->addAction(QStringLiteral("Messung löschen"));
    deleteRun->setObjectName(QStringLiteral("MessungLoeschen1"));
    deleteRun->setShortcut(QKeySequence::Delete);
    // Only while the list has the focus: Del in a field deletes text.
    deleteRun->setShortcutContext(Qt::WidgetShortcut);
    Prot->addAction(deleteRun);
    connect(deleteRun, &QAction::triggered, this, call(&TForm1::deleteSelectedRuns));
    UndoProtokoll1 = PopupMenu1->addAction(QStringLiteral("Rückgängig"));
    UndoProtokoll1->setObjectName(QStringLiteral("Rueckgaengig1"));
    UndoProtokoll1->setShortcut(QKeySequence::Undo);
    UndoProtokoll1->setShortcutContext(Qt::WindowShortcut);
    UndoProtokoll1->setEnabled(false);
    // A focused field keeps its own Ctrl+Z.
    addAction(UndoProtokoll1);
    connect(UndoProtokoll1, &QAction::triggered, this, call(&TForm1::undoProtocol));
    QAction *editLabel = PopupMenu1->addAction(QStringLiteral("Bezeichnung ändern …"));
    editLabel->setObjectName(QStringLiteral("BezeichnungAendern1"));
    connect(editLabel, &QAction::triggered, this, call(&TForm1::editRunLabel));
    // Del works whenever rows are selected, with or without the menu.
    const auto offerDelete = [this, deleteRun] {
        deleteRun->setEnabled(!Prot->selectedRowNumbers().isEmpty());
    };
    offerDelete();
    connect(Prot->selectionModel(), &QItemSelectionModel::selectionChanged, this, offerDelete);
    connect(m_runModel, &QAbstractItemModel::modelReset, this, offerDelete);
    connect(m_runModel, &QAbstractItemModel::rowsRemoved, this, offerDelete);
    connect(PopupMenu1, &QMenu::aboutToShow, this,
            [this, editLabel] { editLabel->setEnabled(Prot->currentIndex().isValid()); });
    m_runs.addObserver(this);
    // A new selection is a new subset for the statistics.
    connect(Prot->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { recountStatistics(); });

    Drucken1 = new QAction(QStringLiteral("Drucken …"), this);
    Drucken1->setObjectName(QStringLiteral("Drucken1"));
    Drucken1->setShortcut(QKeySequence::Print);
    Drucken1->setShortcutContext(Qt::WindowShortcut);
    addAction(Drucken1);
    PopupMenu1->addSeparator();
    PopupMenu1->addAction(Drucken1);
    connect(Drucken1, &QAction::triggered, this, call(&TForm1::printReport));
    connect(btnPrint, &QPushButton::clicked, this, call(&TForm1::printReport));
    connect(btnChart, &QPushButton::toggled, this,
            [this, handler](bool on) { handler([on](TForm1 *f) { f->showChart(on); })(); });
    m_runPrintDialog = [this](QPrinter &printer) { return runPrintDialogModally(printer, this); };
    Prot->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(Prot, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &pos) { PopupMenu1->popup(Prot->viewport()->mapToGlobal(pos)); });

    // The port selector's own menu leads to the adapter dialog; the layout stays as it is.
    auto *portMenu = new QMenu(this);
    portMenu->setObjectName(QStringLiteral("PortMenu"));
    QAction *chooseAdapter = portMenu->addAction(QStringLiteral("&Adapter wählen …"));
    chooseAdapter->setObjectName(QStringLiteral("AdapterWaehlen1"));
    connect(chooseAdapter, &QAction::triggered, this, call(&TForm1::chooseAdapter));
    cmbPort->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmbPort, &QWidget::customContextMenuRequested, this,
            [this, portMenu](const QPoint &pos) { portMenu->popup(cmbPort->mapToGlobal(pos)); });

    m_runSaveDialog = runSaveDialogModally;

    connect(btn46, &widgets::TSpeedButton::mouseDown, this,
            handler([](TForm1 *f) { f->DoContact1(); }));
    connect(btn78, &widgets::TSpeedButton::mouseDown, this,
            handler([](TForm1 *f) { f->DoContact2(); }));
    connect(btnReset, &widgets::TSpeedButton::mouseDown, this, call(&TForm1::DoReset));
    connect(btnInfo, &QPushButton::clicked, this, call(&TForm1::btnInfoClick));
    connect(btnHelp, &QPushButton::clicked, this, call(&TForm1::btnHelpClick));
    connect(btnExport, &QPushButton::clicked, this, call(&TForm1::btnExportClick));
    connect(cmbPort, &widgets::TComboBox::clickPicked, this, call(&TForm1::cmbPortClick));
    connect(cmbPort, &widgets::TComboBox::changePicked, this, call(&TForm1::cmbPortChange));
    connect(cmbAlg, &widgets::TComboBox::clickPicked, this, call(&TForm1::cmbAlgClick));
    connect(cmbAlg, &widgets::TComboBox::changePicked, this, call(&TForm1::cmbAlgChange));
    connect(cmbMode, &widgets::TComboBox::changePicked, this, call(&TForm1::cmbModeChange));

    // Key preview: the window sees every key before the focused control does.
    qApp->installEventFilter(this);

    FormCreate();
    // After the window's settings, so that a problem with the file is reported once.
    m_classroom = new app::Classroom(*this, [this] { return app::summarize(m_runs.runs()); });
}

TForm1::~TForm1()
{
    // The model watches the runs, which go before the children do.
    delete m_runModel;
    m_runs.removeObserver(this);
    m_lines.setOnChanged({});
}

void TForm1::FormCreate()
{
    app::guarded([this] { i18n::TranslateComponentTexts(this, QString()); });
    m_lines.setOnChanged([this] { CommChanged(); });
    app::guarded([this] { LoadSettings(); });
}

// --- Chronometer engine -------------------------------------------------------------

void TForm1::DoContact1(std::optional<Ticks> at, bool late)
{
    // The other modes make their runs from the lines alone.
    if (m_engine.mode() != timing::MeasurementMode::BetweenBarriers)
        return;
    if (m_chrono.DoContact1(at, late))
        mirrorRun();
}

void TForm1::DoContact2(std::optional<Ticks> at, bool late)
{
    if (m_engine.mode() != timing::MeasurementMode::BetweenBarriers)
        return;
    if (!m_chrono.DoContact2(at, late))
        return;
    mirrorRun();
    AddProtocolEntry();
}

void TForm1::DoReset()
{
    m_chrono.DoReset();
    m_engine.reset();
    mirrorRun();
}

void TForm1::EvaluateLines()
{
    m_chrono.setInverted(cmbAlg->currentIndex() != 0);
    if (engineEvaluates()) {
        timing::ModeOutput out;
        syncEngine();
        m_engine.evaluateLines(m_chrono, m_lines, out);
        setLamps(m_chrono.line1(), m_chrono.line2());
        takeModeOutput(out);
        return;
    }
    const timing::Fired fired = m_chrono.EvaluateLines();
    if (fired.contact1 || fired.contact2)
        mirrorRun();
    setLamps(m_chrono.line1(), m_chrono.line2());
    if (fired.contact2)
        AddProtocolEntry();
}

void TForm1::mirrorRun()
{
    const bool running = m_chrono.running();
    // The contact buttons belong to the run between the barriers.
    const bool contacts = m_engine.mode() == timing::MeasurementMode::BetweenBarriers;
    btn46->setEnabled(!running && contacts);
    btn78->setEnabled(running && contacts);
    cmbPort->setEnabled(!running);
    cmbAlg->setEnabled(!running);
    cmbMode->setEnabled(!running);
    if (m_classroom)
        m_classroom->runChanged();
}

bool TForm1::engineEvaluates() const
{
    return m_engine.mode() != timing::MeasurementMode::BetweenBarriers || m_minContactMs > 0;
}

void TForm1::syncEngine()
{
    // Read when a result is made, so the fields' current values count.
    m_engine.setDistanceMeters(edtM->AcceptedValue());
    m_engine.setFlagMeters(edtFlag->AcceptedValue());
    m_engine.setMinDark(Ticks(minimumMs(m_engine.mode())) * 10);
}

void TForm1::takeModeOutput(const timing::ModeOutput &out)
{
    for (const timing::Contact &contact : out.contacts) {
        if (contact.line == 1)
            DoContact1(contact.at, contact.late);
        else
            DoContact2(contact.at, contact.late);
    }
    const platform::Locale &locale = platform::locale();
    for (const timing::ModeRun &result : out.runs) {
        const QDate today = locale.currentDate();
        const QTime now = locale.currentTime();
        protocol::Run run = protocol::runOf(result, today, now);
        run.label = edtLabel->text();
        addRun(std::move(run));
    }
}

int &TForm1::minimumMs(timing::MeasurementMode mode)
{
    return mode == timing::MeasurementMode::BetweenBarriers ? m_minContactMs : m_minDarkMs;
}

void TForm1::showMinimum()
{
    edtMin->setValue(minimumMs(m_engine.mode()));
}

void TForm1::applyColumnWidths()
{
    const int widths[app::RunTableModel::ColumnCount] = {120, 80, 70, 115, 100};
    const QList<protocol::CsvExtraColumn> &extra = m_runModel->extraColumns();
    for (int c = 0; c < m_runModel->columnCount(); ++c) {
        const int e = c - app::RunTableModel::ColumnCount;
        Prot->setColumnWidth(c, e < 0 ? widths[c] : extra.at(e).unit.isEmpty() ? 60 : 100);
    }
    // In the other modes the list shows their own columns in place of distance and speed,
    // which say nothing of a pendulum and repeat a flag's speed; the exports keep all.
    const bool plain = m_engine.mode() == timing::MeasurementMode::BetweenBarriers;
    Prot->setColumnHidden(app::RunTableModel::Distance, !plain);
    Prot->setColumnHidden(app::RunTableModel::Speed, !plain);
    // A mode's columns are shown beside the speed; the label stays the model's fifth column.
    QHeaderView *header = Prot->horizontalHeader();
    for (int c = app::RunTableModel::ColumnCount; c < m_runModel->columnCount(); ++c)
        header->moveSection(header->visualIndex(c), c - 1);
}

void TForm1::setLamps(bool a, bool b)
{
    led4->setLedPlasticColor(LineColors[a]);
    led6->setLedPlasticColor(LineColors[a]);
    led7->setLedPlasticColor(LineColors[b]);
    led8->setLedPlasticColor(LineColors[b]);
    // Both lamps of a contact show the line that the contact drives.
    const auto state = [](const char *line, bool active) {
        return QStringLiteral("%1: %2").arg(QLatin1StringView(line),
                                            active ? QStringLiteral("ein") : QStringLiteral("aus"));
    };
    led4->setAccessibleName(state("DSR", a));
    led6->setAccessibleName(state("DSR", a));
    led7->setAccessibleName(state("CTS", b));
    led8->setAccessibleName(state("CTS", b));
    if (m_classroom)
        m_classroom->linesChanged();
}

void TForm1::DigitsTimerTimer()
{
    if (!engineEvaluates()) {
        Digits->setIndicatorstring(m_chrono.DigitsText());
    } else {
        // A minimum is settled by the time that has passed since the last edge.
        const Ticks now = timing::GetTicks();
        timing::ModeOutput out;
        syncEngine();
        m_engine.poll(now, out);
        takeModeOutput(out);
        Digits->setIndicatorstring(m_engine.mode() == timing::MeasurementMode::BetweenBarriers
                                       ? m_chrono.DigitsText()
                                       : m_engine.DigitsText(now));
    }
    if (m_classroom)
        m_classroom->refresh();
}

void TForm1::CommChanged()
{
    // The chosen port went away (adapter removed): back to no port, as if it had never
    // opened, and the run it was timing ends.
    if (!m_chrono.suppressed() && cmbPort->currentIndex() > 0 && !m_lines.Active()) {
        cmbPort->setItemIndexQuiet(0);
        DoReset();
        showPortMessage();
    }
    EvaluateLines();
}

void TForm1::showPortMessage()
{
    const QString message = m_lines.portMessage();
    if (message.isEmpty())
        return;
    // Not from inside the handler: a line report would wait for the message box, and an
    // error there would end the watcher.
    QTimer::singleShot(0, this,
                       [message] { app::guarded([&] { throw platform::TfError(message); }); });
}

// --- Protocol list and export -------------------------------------------------------

void TForm1::AddProtocolEntry()
{
    const platform::Locale &locale = platform::locale();
    // The date is read first and the time separately after it.
    const QDate today = locale.currentDate();
    const QTime now = locale.currentTime();
    addRun(protocol::makeRun(m_chrono.entry(edtM->AcceptedValue()), today, now,
                             edtLabel->text()));
}

void TForm1::addRun(protocol::Run run)
{
    const platform::Locale &locale = platform::locale();
    // On the disk before it is shown; a journal that cannot be written stops nothing.
    const auto convention =
        protocol::CsvConvention::forDecimalSeparator(locale.decimalSeparator());
    if (const int error = m_journal.append(run, convention))
        reportJournalError(error, m_journal.filePath(run.date));
    m_runs.add(std::move(run));
}

void TForm1::reportJournalError(int error, const QString &path)
{
    if (m_journalErrorShown)
        return;
    m_journalErrorShown = true;
    const QString message = protocol::journalErrorText(error, path);
    // After the run is in the list, and not inside a line report.
    QTimer::singleShot(0, this,
                       [message] { app::guarded([&] { throw platform::TfError(message); }); });
}

QList<protocol::ProtocolRow> TForm1::protocolRows() const
{
    return protocol::protocolRows(m_runs.runs(), platform::locale());
}

void TForm1::deleteSelectedRuns()
{
    m_runs.removeRows(Prot->selectedRowNumbers());
}

void TForm1::undoProtocol()
{
    m_runs.undo();
}

void TForm1::loadLatestRuns()
{
    const QString path = m_journal.latestFile();
    if (path.isEmpty())
        throw platform::TfError(QStringLiteral("Es gibt noch keine gesicherten Messungen (%1).")
                                    .arg(m_journal.folder()));
    QList<protocol::Run> runs = protocol::RunJournal::read(path);
    if (runs.isEmpty())
        throw platform::TfError(QStringLiteral("In %1 stehen keine Messungen.").arg(path));
    m_runs.replace(std::move(runs));
}

void TForm1::editRunLabel()
{
    const QModelIndex current = Prot->currentIndex();
    if (!current.isValid())
        return;
    const QModelIndex label = m_runModel->index(current.row(), app::RunTableModel::Label);
    Prot->setCurrentIndex(label);
    Prot->edit(label);
}

void TForm1::runsInserted(int first, int last)
{
    // Only runs appended to a statistics over every row can be counted on; a selection
    // keeps its own rows.
    const bool allRows = m_statisticsRows.size() == first
                         && (m_statisticsRows.isEmpty() || m_statisticsRows.back() == first - 1)
                         && Prot->selectedRowNumbers().size() < 2;
    if (!allRows || last != m_runs.size() - 1)
        return;
    for (int row = first; row <= last; ++row) {
        m_statistics.add(m_runs.at(row));
        m_statisticsRows << row;
    }
    m_appended = true;
}

void TForm1::runLogChanged()
{
    UndoProtokoll1->setEnabled(m_runs.canUndo());
    if (m_appended)
        showStatistics();
    else
        recountStatistics();
    m_appended = false;
}

void TForm1::recountStatistics()
{
    QList<qsizetype> selected;
    for (const int row : Prot->selectedRowNumbers())
        selected << row;
    m_statisticsRows = protocol::statisticsRows(selected, m_runs.size());
    m_statistics = protocol::LabelStatistics(m_runs.runs(), m_statisticsRows);
    showStatistics();
}

void TForm1::showStatistics()
{
    const QChar separator = platform::locale().decimalSeparator();
    const QList<protocol::RunStatistics> groups = m_statistics.groups();
    Statistik->showStatistics(groups, separator);
    // A hidden chart is brought up to date when it is shown.
    if (ChartBox->isVisible())
        Diagramm->setData(app::chartData(m_runs.runs(), m_statisticsRows, groups, separator));
}

void TForm1::showChart(bool shown)
{
    if (btnChart->isChecked() != shown) {
        btnChart->setChecked(shown); // comes back here through toggled
        return;
    }
    ChartBox->setVisible(shown);
    // The height stays: strips below the statistics have added theirs.
    setFixedSize(BaseWidth + (shown ? ChartWidth : 0), height());
    if (shown)
        showStatistics();
}

app::ReportContent TForm1::reportContent() const
{
    const platform::Locale &locale = platform::locale();
    return {m_runs.runs(), m_statisticsRows, QDateTime(locale.currentDate(), locale.currentTime())};
}

void TForm1::printReport()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setDocName(QString::fromUtf8(app::ReportTitle));
    if (!m_runPrintDialog(printer))
        return;
    app::printReport(printer, reportContent(), platform::locale());
}

void TForm1::Reset1Click()
{
    m_runs.clear();
}

QFileDialog &TForm1::ensureSaveDialog()
{
    // Built when the export first runs: its file-system model would otherwise scan the
    // working folder while the program starts.
    if (!m_saveDialog) {
        m_saveDialog = new TSaveDialog(this);
        m_saveDialog->setObjectName(QStringLiteral("SaveDialog"));
        m_saveDialog->setOption(QFileDialog::DontUseNativeDialog);
        m_saveDialog->setAcceptMode(QFileDialog::AcceptSave);
        m_saveDialog->setFileMode(QFileDialog::AnyFile);
        m_saveDialog->setNameFilters({QStringLiteral("*.txt (*.txt)"), CsvFilter, PdfFilter});
        m_saveDialog->setDefaultSuffix(QStringLiteral("txt"));
        connect(m_saveDialog, &QFileDialog::filterSelected, m_saveDialog,
                [this](const QString &filter) {
                    m_saveDialog->setDefaultSuffix(filter == CsvFilter   ? QStringLiteral("csv")
                                                   : filter == PdfFilter ? QStringLiteral("pdf")
                                                                         : QStringLiteral("txt"));
                });
        m_saveDialog->setSizeGripEnabled(true);
    }
    return *m_saveDialog;
}

void TForm1::btnExportClick()
{
    const QString path = m_runSaveDialog(ensureSaveDialog());
    if (path.isEmpty())
        return;
    // Rows added by a line change while the dialog was open are included.
    if (app::isReportFileName(path)) {
        app::writeReport(path, reportContent(), platform::locale());
        platform::shell().open(path, this);
        return;
    }
    const auto convention =
        protocol::CsvConvention::forDecimalSeparator(platform::locale().decimalSeparator());
    const QByteArray bytes =
        protocol::isCsvFileName(path)
            ? protocol::csvBytes(m_runs.runs(), convention)
            : protocol::toAnsi(protocol::exportText(m_runs.runs(), m_runModel->extraColumns(),
                                                    platform::locale()));
    protocol::writeFileReplacing(path, bytes);
    platform::shell().open(path, this);
}

// --- Settings -----------------------------------------------------------------------

void TForm1::LoadSettings()
{
    settings::LoadSettings(*this);
}

void TForm1::SaveSettings()
{
    minimumMs(m_engine.mode()) = qRound(edtMin->AcceptedValue());
    settings::SaveSettings({cmbPort->currentIndex(), cmbAlg->currentIndex(), edtM->AcceptedValue(),
                            cmbMode->currentIndex(), edtFlag->AcceptedValue(), m_minDarkMs,
                            m_minContactMs});
}

void TForm1::applyComPort(int index)
{
    cmbPort->setItemIndexQuiet(index);
}

void TForm1::applyComAlg(int index)
{
    cmbAlg->setItemIndexQuiet(index);
}

void TForm1::applyMeters(long double meters)
{
    // A stored distance the field would refuse keeps the field's own.
    if (distanceRefusal(double(meters), edtM->TakenValue()).isEmpty())
        edtM->setValue(double(meters));
}

void TForm1::applyMode(int index)
{
    const timing::MeasurementMode mode = timing::measurementModeOf(index);
    cmbMode->setItemIndexQuiet(int(mode));
    m_engine.setMode(mode);
    m_runModel->setMode(mode);
    applyColumnWidths();
    showMinimum();
    mirrorRun();
}

void TForm1::applyFlagMeters(long double meters)
{
    if (distanceRefusal(double(meters), edtFlag->TakenValue(), FlagName).isEmpty())
        edtFlag->setValue(double(meters));
}

void TForm1::applyMinDarkMs(int ms)
{
    if (minimumRefusal(ms, 0).isEmpty())
        m_minDarkMs = ms;
    showMinimum();
}

void TForm1::applyMinContactMs(int ms)
{
    if (minimumRefusal(ms, 0).isEmpty())
        m_minContactMs = ms;
    showMinimum();
}

// --- Selectors ----------------------------------------------------------------------

void TForm1::cmbPortChange()
{
    const auto suppression = m_chrono.suppress();
    // No selection (-1) becomes port 255, which never opens.
    m_lines.setComm(static_cast<std::uint8_t>(cmbPort->currentIndex()));
    if (!m_lines.Active())
        cmbPort->setItemIndexQuiet(0);
    showPortMessage();
    EvaluateLines();
}

void TForm1::cmbPortClick()
{
    {
        const auto suppression = m_chrono.suppress();
        EvaluateLines();
    }
    DoReset();
}

void TForm1::cmbAlgClick()
{
    cmbPortClick();
}

void TForm1::cmbAlgChange()
{
    cmbPortClick();
}

void TForm1::cmbModeChange()
{
    // The minimum typed for the mode left stays with it.
    minimumMs(m_engine.mode()) = qRound(edtMin->AcceptedValue());
    const timing::MeasurementMode mode = timing::measurementModeOf(cmbMode->currentIndex());
    m_engine.setMode(mode);
    // Runs of the mode left stay in the list with their own columns.
    m_runModel->setMode(mode);
    applyColumnWidths();
    showMinimum();
    cmbPortClick();
}

void TForm1::chooseAdapter()
{
    AdapterDialog dialog(this);
    dialog.exec();
    // The port in use follows its new link at once.
    if (!m_chrono.running() && dialog.changedPorts().contains(cmbPort->currentIndex()))
        cmbPortChange();
}

// --- Info and help ------------------------------------------------------------------

void TForm1::btnInfoClick()
{
    if (!m_info && m_makeInfo)
        m_info = m_makeInfo();
    if (m_info)
        m_info->exec();
}

QString TForm1::helpFilePath(const QString &programPath)
{
    const qsizetype slash = programPath.lastIndexOf(u'/');
    const qsizetype dot = programPath.lastIndexOf(u'.');
    const QString base = dot > slash ? programPath.left(dot) : programPath;
    return base + QStringLiteral(".hlp");
}

void TForm1::btnHelpClick()
{
    // The program's own help window: desktops have no viewer for ".hlp". One window, brought
    // to the front again on every press.
    auto *help = findChild<app::HelpWindow *>(QString(), Qt::FindDirectChildrenOnly);
    if (!help)
        help = new app::HelpWindow(helpFilePath(QCoreApplication::applicationFilePath()), this);
    help->show();
    help->raise();
    help->activateWindow();
}

// --- Window events ------------------------------------------------------------------

void TForm1::FormShow()
{
    cmbPortChange();
    {
        const auto suppression = m_chrono.suppress();
        EvaluateLines();
    }
    DoReset();
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // Restoring from the task bar is no new showing.
    if (!m_shown && !event->spontaneous()) {
        m_shown = true;
        app::guarded([this] { FormShow(); });
    }
}

void TForm1::FormClose()
{
    SaveSettings();
}

void TForm1::closeEvent(QCloseEvent *event)
{
    // A failed save is shown; the window still closes, as the user asked.
    app::guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::FormKeyDown(int key)
{
    switch (key) {
    case Qt::Key_F5: DoContact1(); break;
    case Qt::Key_F6: DoContact2(); break;
    case Qt::Key_F8: DoReset(); break;
    default: break;
    }
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    // Every key of this window arrives at its native window first, exactly once, and
    // goes on to the focused control afterwards. Keys of dialogs arrive at theirs.
    if (event->type() == QEvent::KeyPress && windowHandle() && watched == static_cast<QObject *>(windowHandle())) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        app::guarded([this, key] { FormKeyDown(key); });
    }
    return false;
}

} // namespace app
