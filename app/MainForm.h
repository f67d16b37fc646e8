#pragma once

#include "protocol/CsvExport.h"
#include "protocol/ProtocolExport.h"
#include "protocol/RunJournal.h"
#include "protocol/RunLog.h"
#include "protocol/Statistics.h"
#include "settings/Settings.h"
#include "timing/Chronometer.h"
#include "timing/LineSource.h"
#include "timing/ModeEngine.h"
#include "timing/TimeBase.h"
#include "widgets/ReportList.h"

#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QFileDialog;
class QGroupBox;
class QPrinter;
class QLineEdit;
class QMenu;
class QTimer;
namespace widgets {
class RunChart;
class TComboBox;
class TFloatSpinEdit;
class TIAeverLiquidIndicator;
class TIAgaloLED;
class TPicturePanel;
class TSpeedButton;
} // namespace widgets

namespace Ui {
class TForm1;
}

namespace app {

class Classroom;
class RunTableModel;
class StatisticsStrip;
class TfrmInfo;
struct ReportContent;

// The main window: the chronometer, its controls, the protocol list and its export.
class TForm1 : public QWidget, private settings::SettingsTarget, private protocol::RunLog::Observer
{
    Q_OBJECT

public:
    explicit TForm1(timing::LineSource &lines, QWidget *parent = nullptr);
    ~TForm1() override;

    // Chronometer engine.
    // `at` is the instant a line change was read; keys and buttons take the current one.
    // `late`: that instant was found late and may lie well after the contact.
    void DoContact1(std::optional<timing::Ticks> at = std::nullopt, bool late = false);
    void DoContact2(std::optional<timing::Ticks> at = std::nullopt, bool late = false);
    void DoReset();
    void EvaluateLines();
    void DigitsTimerTimer();
    // The line source's change report. Errors are not caught here: they belong to
    // whoever reported the change.
    void CommChanged();

    // Protocol list and export.
    void AddProtocolEntry();
    void Reset1Click();
    void btnExportClick();
    QList<protocol::ProtocolRow> protocolRows() const;
    // The selected rows of the list ("Messung löschen", Del); undoable.
    void deleteSelectedRuns();
    // Brings back what the last delete, reset or load removed ("Rückgängig", Ctrl+Z).
    void undoProtocol();
    // Puts the runs of the newest journal file into the list ("Letzte Messungen laden").
    void loadLatestRuns();
    // Opens the label of the current row for editing ("Bezeichnung ändern …").
    void editRunLabel();
    const protocol::RunJournal &journal() const { return m_journal; }
    // The runs of the protocol: the list shows them, the exports write them.
    protocol::RunLog &runs() { return m_runs; }
    const protocol::RunLog &runs() const { return m_runs; }
    app::RunTableModel *runModel() const { return m_runModel; }

    // Statistics, chart and report read the selected rows when two or more are
    // selected, otherwise every row.
    const QList<qsizetype> &statisticsRows() const { return m_statisticsRows; }
    // Shows or hides the chart beside the protocol; the window grows to the right.
    void showChart(bool shown);
    // The report page of the runs, as the PDF export and the printer get it.
    app::ReportContent reportContent() const;
    // "Drucken …" (Ctrl+P): the print dialog, then the report page on the chosen printer.
    void printReport();
    // The print command asks this to set up the printer; false cancels. Tests replace it.
    using PrintDialogRunner = std::function<bool(QPrinter &printer)>;
    void setPrintDialogRunner(PrintDialogRunner runner) { m_runPrintDialog = std::move(runner); }

    // Settings.
    void LoadSettings();
    void SaveSettings();

    // Selectors.
    void cmbPortChange();
    void cmbPortClick();
    void cmbAlgClick();
    void cmbAlgChange();
    // The measurement mode: its columns, its minimum in the field, a fresh start.
    void cmbModeChange();
    timing::MeasurementMode mode() const { return m_engine.mode(); }
    const timing::ModeEngine &modeEngine() const { return m_engine; }
    // The port selector's menu: which device COM 1 and COM 2 stand for.
    void chooseAdapter();

    void btnInfoClick();
    void btnHelpClick();

    const timing::Chronometer &chronometer() const { return m_chrono; }
    bool running() const { return m_chrono.running(); }
    bool portActive() const { return m_lines.Active(); }
    // The armed state, the projector view and the tones.
    app::Classroom *classroom() const { return m_classroom; }
    bool suppressed() const { return m_chrono.suppressed(); }
    timing::Ticks startTicks() const { return m_chrono.startTicks(); }
    timing::Ticks stopTicks() const { return m_chrono.stopTicks(); }

    // The export asks this for the file name; an empty result cancels. Tests replace it.
    using SaveDialogRunner = std::function<QString(QFileDialog &dialog)>;
    void setSaveDialogRunner(SaveDialogRunner runner) { m_runSaveDialog = std::move(runner); }
    // Null until the first export: only that command needs it.
    QFileDialog *saveDialog() const { return m_saveDialog; }
    // The dialog as the export uses it, built on first use.
    QFileDialog &ensureSaveDialog();

    // The info dialog "Info" shows, or what makes it at the first click, so that the start
    // builds only the main window. Without either, "Info" does nothing.
    void setInfoForm(TfrmInfo *info) { m_info = info; }
    void setInfoFormMaker(std::function<TfrmInfo *()> make) { m_makeInfo = std::move(make); }

    // The help file beside the program: its path with the extension replaced by ".hlp".
    static QString helpFilePath(const QString &programPath);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormKeyDown(int key);
    // Buttons, selectors and lamps follow the chronometer.
    void mirrorRun();
    void setLamps(bool a, bool b);
    // Shows the line source's message about the port, once the current handler is done.
    void showPortMessage();

    // RunLog::Observer: the undo command is offered while there is something to undo;
    // statistics and chart follow the runs, a run appended at the end at a fixed cost.
    void runsInserted(int first, int last) override;
    void runLogChanged() override;
    // Statistics anew over the chosen rows, then strip and chart.
    void recountStatistics();
    void showStatistics();
    // Tells the user once that runs cannot be journaled.
    void reportJournalError(int error, const QString &path);

    // SettingsTarget
    void applyComPort(int index) override;
    void applyComAlg(int index) override;
    void applyMeters(long double meters) override;
    void applyMode(int index) override;
    void applyFlagMeters(long double meters) override;
    void applyMinDarkMs(int ms) override;
    void applyMinContactMs(int ms) override;

    // The engine takes the lines while a mode other than the default one is chosen, or the
    // default mode has a minimum; otherwise the chronometer alone, as it always did.
    bool engineEvaluates() const;
    void syncEngine();
    void takeModeOutput(const timing::ModeOutput &out);
    void addRun(protocol::Run run);
    // The stored minimum of a mode (ms): contacts in the default mode, darkness in the others.
    int &minimumMs(timing::MeasurementMode mode);
    void showMinimum();
    void applyColumnWidths();

    std::unique_ptr<Ui::TForm1> m_ui;
    timing::LineSource &m_lines;
    timing::Chronometer m_chrono{m_lines};
    timing::ModeEngine m_engine;
    int m_minContactMs = 0;
    int m_minDarkMs = 1;
    protocol::RunLog m_runs;
    app::RunTableModel *m_runModel = nullptr;
    protocol::RunJournal m_journal{protocol::RunJournal::defaultFolder()};
    bool m_journalErrorShown = false;
    protocol::LabelStatistics m_statistics;
    QList<qsizetype> m_statisticsRows;
    bool m_appended = false; // the last change was handled as an append

public:
    // Controls, named as in the window's layout.
    widgets::TSpeedButton *btn46 = nullptr;
    widgets::TSpeedButton *btn78 = nullptr;
    widgets::TSpeedButton *btnReset = nullptr;
    widgets::TSpeedButton *btnInfo = nullptr;
    widgets::TSpeedButton *btnHelp = nullptr;
    widgets::TSpeedButton *btnExport = nullptr;
    widgets::TPicturePanel *imgWiring = nullptr;
    widgets::TIAgaloLED *led4 = nullptr;
    widgets::TIAgaloLED *led6 = nullptr;
    widgets::TIAgaloLED *led7 = nullptr;
    widgets::TIAgaloLED *led8 = nullptr;
    widgets::TReportList *Prot = nullptr;
    widgets::TFloatSpinEdit *edtM = nullptr;
    QLineEdit *edtLabel = nullptr;
    widgets::TComboBox *cmbPort = nullptr;
    widgets::TComboBox *cmbAlg = nullptr;
    widgets::TComboBox *cmbMode = nullptr;
    widgets::TFloatSpinEdit *edtFlag = nullptr;
    widgets::TFloatSpinEdit *edtMin = nullptr;
    widgets::TIAeverLiquidIndicator *Digits = nullptr;
    QTimer *DigitsTimer = nullptr;
    QMenu *PopupMenu1 = nullptr;
    QAction *UndoProtokoll1 = nullptr;
    widgets::TSpeedButton *btnChart = nullptr;
    widgets::TSpeedButton *btnPrint = nullptr;
    QAction *Drucken1 = nullptr;
    app::StatisticsStrip *Statistik = nullptr;
    QGroupBox *ChartBox = nullptr;
    widgets::RunChart *Diagramm = nullptr;

private:
    QFileDialog *m_saveDialog = nullptr;
    SaveDialogRunner m_runSaveDialog;
    PrintDialogRunner m_runPrintDialog;
    TfrmInfo *m_info = nullptr;
    std::function<TfrmInfo *()> m_makeInfo;
    app::Classroom *m_classroom = nullptr;
    bool m_shown = false;
};

} // namespace app
