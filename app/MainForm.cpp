#include "app/MainForm.h"

#include "ui_MainForm.h"

#include "app/AdapterDialog.h"
#include "app/AnalysisCommands.h"
#include "app/AnalysisWindow.h"
#include "app/AppIcon.h"
#include "app/Classroom.h"
#include "app/ContactLogWindow.h"
#include "app/CommLineSource.h"
#include "app/SelfTestDialog.h"
#include "app/ExceptionHandler.h"
#include "app/FieldRules.h"
#include "app/WindowLayout.h"
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
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
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
        return distanceRefusal(meters, edtFlag->TakenValue(), lengthField(m_session.mode()).name);
    });
    edtMin->loaded();
    edtMin->setAcceptance(
        [this](std::optional<double> ms) { return minimumRefusal(ms, edtMin->TakenValue()); });
    showMinimum();
    // A value taken in a field counts for the next run and is kept at once.
    connect(edtMin, &widgets::TFloatSpinEdit::OnChange, this, [this] {
        m_session.setMinimumMs(m_session.mode(), qRound(edtMin->AcceptedValue()));
        storeSettings();
    });
    connect(edtM, &widgets::TFloatSpinEdit::OnChange, this, [this] {
        m_session.setDistance(edtM->AcceptedValue());
        storeSettings();
    });
    connect(edtFlag, &widgets::TFloatSpinEdit::OnChange, this, [this] {
        m_session.setModeLength(m_session.mode(), edtFlag->AcceptedValue());
        storeSettings();
    });
    connect(edtLabel, &QLineEdit::textChanged, this,
            [this](const QString &text) { m_session.setLabel(text); });

    // The header would otherwise take the style's own, larger face.
    Prot->horizontalHeader()->setFont(font);
    for (QGroupBox *box : findChildren<QGroupBox *>())
        GroupFrame::apply(box);
    setWindowIcon(applicationIcon());
    setWindowIconText(QLatin1StringView(ApplicationTitle));
    // The layout of the controls is the smallest the window gets; list, statistics and
    // chart take what it grows by.
    setMinimumSize(BaseWidth, WindowHeight);
    resize(BaseWidth, WindowHeight);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint);

    m_layout = std::make_unique<app::WindowLayout>(
        *this, app::WindowLayout::Parts{Prot, Statistik, Diagramm});
    m_runModel = new app::RunTableModel(m_session.runs(), this);
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
    QAction *relabel = PopupMenu1->addAction(QStringLiteral("Bezeichnung für Auswahl …"));
    relabel->setObjectName(QStringLiteral("BezeichnungAuswahl1"));
    connect(relabel, &QAction::triggered, this, call(&TForm1::relabelSelectedRuns));
    PopupMenu1->addSeparator();
    QAction *newSession = PopupMenu1->addAction(QStringLiteral("Neue Sitzung"));
    newSession->setObjectName(QStringLiteral("NeueSitzung1"));
    connect(newSession, &QAction::triggered, this, call(&TForm1::newSession));
    QAction *openSession = PopupMenu1->addAction(QStringLiteral("Sitzung öffnen …"));
    openSession->setObjectName(QStringLiteral("SitzungOeffnen1"));
    connect(openSession, &QAction::triggered, this, call(&TForm1::openSession));
    // Del works whenever rows are selected, with or without the menu.
    const auto offerDelete = [this, deleteRun] {
        deleteRun->setEnabled(!Prot->selectedRowNumbers().isEmpty());
    };
    offerDelete();
    connect(Prot->selectionModel(), &QItemSelectionModel::selectionChanged, this, offerDelete);
    connect(m_runModel, &QAbstractItemModel::modelReset, this, offerDelete);
    connect(m_runModel, &QAbstractItemModel::rowsRemoved, this, offerDelete);
    connect(PopupMenu1, &QMenu::aboutToShow, this, [this, editLabel, relabel] {
        editLabel->setEnabled(Prot->currentIndex().isValid());
        relabel->setEnabled(!Prot->selectedRowNumbers().isEmpty());
    });
    m_session.addObserver(this);
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
    m_analysis = std::make_unique<app::AnalysisCommands>(
        this, PopupMenu1, m_session, [this] { return Prot->currentIndex().row(); });
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
    QAction *contactLog = portMenu->addAction(QStringLiteral("&Kontaktanzeige …"));
    contactLog->setObjectName(QStringLiteral("Kontaktanzeige1"));
    connect(contactLog, &QAction::triggered, this, call(&TForm1::showContactLog));
    QAction *selfTest = portMenu->addAction(QStringLiteral("&Selbsttest der Messkette …"));
    selfTest->setObjectName(QStringLiteral("Selbsttest1"));
    connect(selfTest, &QAction::triggered, this, handler([](TForm1 *f) {
                auto *comm = dynamic_cast<app::CommLineSource *>(&f->m_lines);
                app::SelfTestDialog(comm ? &comm->status() : nullptr, f).exec();
            }));
    // The wiring picture leads there too: that is where one looks at the contacts.
    imgWiring->setContextMenuPolicy(Qt::ActionsContextMenu);
    imgWiring->addAction(contactLog);
    cmbPort->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cmbPort, &QWidget::customContextMenuRequested, this,
            [this, portMenu](const QPoint &pos) { portMenu->popup(cmbPort->mapToGlobal(pos)); });

    m_runSaveDialog = runSaveDialogModally;

    connect(btn46, &widgets::TSpeedButton::mouseDown, this,
            handler([](TForm1 *f) { f->m_session.keyContact1(); }));
    connect(btn78, &widgets::TSpeedButton::mouseDown, this,
            handler([](TForm1 *f) { f->m_session.keyContact2(); }));
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

    m_session.setJournal(&m_journal);
    FormCreate();
    // After the window's settings, so that a problem with the file is reported once.
    m_classroom = new app::Classroom(*this, m_session, *Digits);
    // Where the work was left: after a close, a crash or a kill alike.
    const QStringList problems = m_session.restore(&m_store);
    if (!problems.isEmpty())
        problem(QStringLiteral("Die letzte Sitzung ließ sich nicht ganz lesen:\n") +
                problems.mid(0, 10).join(u'\n'));
    recountStatistics();
}

TForm1::~TForm1()
{
    // The model and the strip watch the session, which goes before the children do.
    delete m_runModel;
    delete m_classroom;
    m_session.removeObserver(this);
    m_lines.setOnChanged({});
}

void TForm1::FormCreate()
{
    app::guarded([this] { i18n::TranslateComponentTexts(this, QString()); });
    m_lines.setOnChanged([this] { CommChanged(); });
    app::guarded([this] { LoadSettings(); });
    m_settingsLoaded = true;
}

// --- Chronometer engine -------------------------------------------------------------

void TForm1::DoContact1(std::optional<Ticks> at, bool late)
{
    if (m_session.mode() == timing::MeasurementMode::BetweenBarriers)
        m_session.contact1(at, late);
}

void TForm1::DoContact2(std::optional<Ticks> at, bool late)
{
    if (m_session.mode() == timing::MeasurementMode::BetweenBarriers)
        m_session.contact2(at, late);
}

void TForm1::DoReset()
{
    m_session.reset();
}

void TForm1::EvaluateLines()
{
    m_session.linesChanged();
}

void TForm1::mirrorRun()
{
    const bool running = m_session.running();
    // The contact buttons belong to the run between the barriers.
    const bool contacts = m_session.mode() == timing::MeasurementMode::BetweenBarriers;
    btn46->setEnabled(!running && contacts);
    btn78->setEnabled(running && contacts);
    cmbPort->setEnabled(!running);
    cmbAlg->setEnabled(!running);
    cmbMode->setEnabled(!running);
}

void TForm1::linesChanged()
{
    setLamps(chronometer().line1(), chronometer().line2());
    mirrorRun();
}

void TForm1::showMinimum()
{
    edtMin->setValue(m_session.minimumMs(m_session.mode()));
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
    const bool plain = m_session.mode() == timing::MeasurementMode::BetweenBarriers;
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
}

void TForm1::DigitsTimerTimer()
{
    const Ticks now = timing::GetTicks();
    m_session.poll(now);
    Digits->setIndicatorstring(m_session.digitsText(now));
    if (m_classroom)
        m_classroom->refresh();
}

void TForm1::CommChanged()
{
    // The chosen port went away (adapter removed, or its watcher failed): back to no port,
    // as if it had never opened, and the run it was timing ends.
    if (!chronometer().suppressed() && cmbPort->currentIndex() > 0 && !m_lines.Active()) {
        cmbPort->setItemIndexQuiet(0);
        DoReset();
        showPortMessage();
    }
    m_session.linesChanged();
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

void TForm1::lineEdge(const timing::LineEdge &edge)
{
    // Nothing is kept while the log is closed.
    if (m_contactLog && m_contactLog->isOpen())
        m_contactLog->add(edge);
}

void TForm1::showContactLog()
{
    if (!m_contactLog)
        m_contactLog = new app::ContactLogWindow(this);
    m_contactLog->show();
    m_contactLog->setLineStates(chronometer().line1(), chronometer().line2());
    m_contactLog->raise();
    m_contactLog->activateWindow();
}

void TForm1::problem(const QString &message)
{
    // After the run is in the list, and not inside a line report.
    QTimer::singleShot(0, this,
                       [message] { app::guarded([&] { throw platform::TfError(message); }); });
}

// --- Protocol list and export -------------------------------------------------------

QList<protocol::ProtocolRow> TForm1::protocolRows() const
{
    return protocol::protocolRows(runs().runs(), platform::locale());
}

void TForm1::deleteSelectedRuns()
{
    runs().removeRows(Prot->selectedRowNumbers());
}

void TForm1::undoProtocol()
{
    runs().undo();
}

void TForm1::loadLatestRuns()
{
    const QString path = m_journal.latestFile();
    if (path.isEmpty())
        throw platform::TfError(QStringLiteral("Es gibt noch keine gesicherten Messungen (%1).")
                                    .arg(m_journal.folder()));
    protocol::LoadedRuns loaded = protocol::RunJournal::load(path);
    if (loaded.runs.isEmpty() && loaded.problems.isEmpty())
        throw platform::TfError(QStringLiteral("In %1 stehen keine Messungen.").arg(path));
    if (!loaded.runs.isEmpty())
        runs().replace(std::move(loaded.runs));
    // What could not be read is named, not dropped without a word.
    if (!loaded.problems.isEmpty())
        problem(QStringLiteral("Nicht alle Zeilen ließen sich lesen:\n") +
                loaded.problems.mid(0, 10).join(u'\n'));
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

void TForm1::relabelSelectedRuns()
{
    const QList<int> rows = Prot->selectedRowNumbers();
    if (rows.isEmpty())
        return;
    bool ok = false;
    const QString label = QInputDialog::getText(
        this, QStringLiteral("Bezeichnung für Auswahl"),
        QStringLiteral("Bezeichnung für %1 Messungen:").arg(rows.size()), QLineEdit::Normal,
        runs().at(rows.front()).label, &ok);
    if (ok)
        m_session.relabel(rows, label);
}

void TForm1::newSession()
{
    m_session.newSession();
}

void TForm1::openSession()
{
    QFileDialog dialog(this, QStringLiteral("Sitzung öffnen"), m_store.folder(),
                       QStringLiteral("Sitzungen (*.json)"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QStringList problems;
    if (!m_session.openSession(dialog.selectedFiles().front(), &problems))
        throw platform::TfError(problems.join(u'\n'));
    if (!problems.isEmpty())
        problem(problems.mid(0, 10).join(u'\n'));
}

void TForm1::sessionChanged()
{
    UndoProtokoll1->setEnabled(runs().canUndo());
    recountStatistics();
}

void TForm1::recountStatistics()
{
    QList<qsizetype> selected;
    for (const int row : Prot->selectedRowNumbers())
        selected << row;
    m_statisticsRows = protocol::statisticsRows(selected, runs().size());
    const QChar separator = platform::locale().decimalSeparator();
    const session::StatisticsView view = session::statisticsView(
        runs().runs(), m_session.series(), m_statisticsRows, separator);
    const QList<protocol::RunStatistics> groups = view.groups();
    Statistik->showStatistics(groups, separator);
    // A hidden chart is brought up to date when it is shown.
    if (ChartBox->isVisible())
        Diagramm->setData(app::chartData(runs().runs(), view, separator));
}

void TForm1::showChart(bool shown)
{
    if (btnChart->isChecked() != shown) {
        btnChart->setChecked(shown); // comes back here through toggled
        return;
    }
    ChartBox->setVisible(shown);
    // The window grows by the chart unless it has the room already.
    const int least = BaseWidth + (shown ? ChartWidth : 0);
    setMinimumWidth(least);
    if (shown && width() < least)
        resize(least, height());
    else if (!shown && width() == BaseWidth + ChartWidth)
        resize(BaseWidth, height());
    if (m_layout)
        m_layout->apply();
    if (shown)
        recountStatistics();
}

void TForm1::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    if (m_layout)
        m_layout->apply();
}

app::ReportContent TForm1::reportContent() const
{
    const platform::Locale &locale = platform::locale();
    app::ReportContent content{runs().runs(), m_statisticsRows, locale.currentDateTime()};
    const session::SessionData &texts = m_session.texts();
    content.title = texts.title;
    content.className = texts.className;
    content.notes = texts.notes;
    const app::AnalysisWindow *window = m_analysis ? m_analysis->analysisWindow() : nullptr;
    content.analysis = window ? window->analyse() : app::defaultAnalysis(content.runs, m_session.mode());
    return content;
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
    runs().clear();
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
            ? protocol::csvBytes(runs().runs(), convention)
            : protocol::toAnsi(protocol::exportText(runs().runs(), m_runModel->extraColumns(),
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
    m_session.setMinimumMs(m_session.mode(), qRound(edtMin->AcceptedValue()));
    settings::SaveSettings({cmbPort->currentIndex(), cmbAlg->currentIndex(), edtM->AcceptedValue(),
                            cmbMode->currentIndex(), double(m_session.flagLength()),
                            m_session.minimumMs(timing::MeasurementMode::DarkTime),
                            m_session.minimumMs(timing::MeasurementMode::BetweenBarriers),
                            double(m_session.picketSpacing()), double(m_session.pendulumLength())});
}

void TForm1::storeSettings()
{
    // Not while the settings are being loaded: that would write back what is being read.
    if (m_settingsLoaded)
        app::guarded([this] { SaveSettings(); });
}

void TForm1::applyComPort(int index)
{
    cmbPort->setItemIndexQuiet(index);
}

void TForm1::applyComAlg(int index)
{
    cmbAlg->setItemIndexQuiet(index);
    m_session.setInverted(index != 0);
}

void TForm1::applyMeters(long double meters)
{
    // A stored distance the field would refuse keeps the field's own.
    if (distanceRefusal(double(meters), edtM->TakenValue()).isEmpty())
        edtM->setValue(double(meters));
    m_session.setDistance(edtM->AcceptedValue());
}

void TForm1::applyMode(int index)
{
    const timing::MeasurementMode mode = timing::measurementModeOf(index);
    cmbMode->setItemIndexQuiet(int(mode));
    m_session.setMode(mode);
    m_runModel->setMode(mode);
    applyColumnWidths();
    showMinimum();
    showModeLength();
    mirrorRun();
}

void TForm1::showModeLength()
{
    // One field for the mode's length: the pendulum and the fence have no flag.
    m_ui->grpFlag->setTitle(app::lengthField(m_session.mode()).caption);
    edtFlag->setValue(double(m_session.modeLength(m_session.mode())));
}

void TForm1::applyFlagMeters(long double meters)
{
    if (distanceRefusal(double(meters), m_session.flagLength(), FlagName).isEmpty())
        m_session.setFlagLength(meters);
    showModeLength();
}

void TForm1::applyPicketMeters(long double meters)
{
    if (distanceRefusal(double(meters), m_session.picketSpacing()).isEmpty())
        m_session.setPicketSpacing(meters);
    showModeLength();
}

void TForm1::applyPendulumMeters(long double meters)
{
    if (distanceRefusal(double(meters), m_session.pendulumLength()).isEmpty())
        m_session.setPendulumLength(meters);
    showModeLength();
}

void TForm1::applyMinDarkMs(int ms)
{
    if (minimumRefusal(ms, 0).isEmpty())
        m_session.setMinimumMs(timing::MeasurementMode::DarkTime, ms);
    showMinimum();
}

void TForm1::applyMinContactMs(int ms)
{
    if (minimumRefusal(ms, 0).isEmpty())
        m_session.setMinimumMs(timing::MeasurementMode::BetweenBarriers, ms);
    showMinimum();
}

// --- Selectors ----------------------------------------------------------------------

void TForm1::cmbPortChange()
{
    openChosenPort();
    storeSettings();
}

void TForm1::openChosenPort()
{
    // The port opens under the polarity the selector shows.
    m_session.setInverted(cmbAlg->currentIndex() != 0);
    // No selection (-1) becomes port 255, which never opens.
    m_session.openPort(static_cast<std::uint8_t>(cmbPort->currentIndex()));
    if (!m_lines.Active())
        cmbPort->setItemIndexQuiet(0);
    showPortMessage();
}

void TForm1::cmbPortClick()
{
    m_session.reset();
}

void TForm1::cmbAlgClick()
{
    cmbPortClick();
}

void TForm1::cmbAlgChange()
{
    m_session.setInverted(cmbAlg->currentIndex() != 0);
    m_session.reset();
    storeSettings();
}

void TForm1::cmbModeChange()
{
    const timing::MeasurementMode mode = timing::measurementModeOf(cmbMode->currentIndex());
    m_session.setMode(mode);
    // Runs of the mode left stay in the list with their own columns.
    m_runModel->setMode(mode);
    applyColumnWidths();
    showMinimum();
    showModeLength();
    m_session.reset();
    storeSettings();
}

void TForm1::chooseAdapter()
{
    AdapterDialog dialog(this);
    dialog.exec();
    // The port in use follows its new link at once.
    if (!m_session.running() && dialog.changedPorts().contains(cmbPort->currentIndex()))
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
    // The stored port, opened as it was stored: nothing the user changed, nothing stored.
    openChosenPort();
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
    // A run being timed would be lost without a word.
    if (m_session.running() && isVisible()
        && QMessageBox::question(this, QStringLiteral("Tachoflux"),
                                 QStringLiteral("Eine Messung läuft. Trotzdem beenden?"),
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
               != QMessageBox::Yes) {
        event->ignore();
        return;
    }
    // A failed save is shown; the window still closes, as the user asked.
    app::guarded([this] { FormClose(); });
    event->accept();
}

void TForm1::FormKeyDown(int key)
{
    switch (key) {
    case Qt::Key_F5: m_session.keyContact1(); break;
    case Qt::Key_F6: m_session.keyContact2(); break;
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
