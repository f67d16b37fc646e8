#pragma once

#include "protocol/CsvExport.h"
#include "protocol/ProtocolExport.h"
#include "protocol/RunJournal.h"
#include "protocol/RunLog.h"
#include "protocol/Statistics.h"
#include "session/Session.h"
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

class AnalysisCommands;
class Classroom;
class ContactLogWindow;
class WindowLayout;
class RunTableModel;
class StatisticsStrip;
class TfrmInfo;
struct ReportContent;

// The main window: the session's controls and views, the protocol list and its export.
// The experiment itself lives in the session; the window hands it what the user sets and
// shows what it holds.
class TForm1 : public QWidget, private settings::SettingsTarget, private session::Session::Observer
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
    // Gives the selected rows one label ("Bezeichnung für Auswahl …"); undoable.
    void relabelSelectedRuns();
    // "Neue Sitzung": the list starts empty in a new session file; undoable.
    void newSession();
    // "Sitzung öffnen …": a kept session in place of this one.
    void openSession();
    const protocol::RunJournal &journal() const { return m_journal; }
    // The experiment: runs, series, clock and modes.
    session::Session &session() { return m_session; }
    const session::Session &session() const { return m_session; }
    // The runs of the protocol: the list shows them, the exports write them.
    protocol::RunLog &runs() { return m_session.runs(); }
    const protocol::RunLog &runs() const { return m_session.runs(); }
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
    timing::MeasurementMode mode() const { return m_session.mode(); }
    const timing::ModeEngine &modeEngine() const { return m_session.engine(); }
    // The port selector's menu: which device COM 1 and COM 2 stand for.
    void chooseAdapter();
    // "Kontaktanzeige …": every edge of both lines as it happens. Null until first opened.
    void showContactLog();
    app::ContactLogWindow *contactLog() const { return m_contactLog; }
    app::AnalysisCommands *analysisCommands() const { return m_analysis.get(); }

    void btnInfoClick();
    void btnHelpClick();

    const timing::Chronometer &chronometer() const { return m_session.chronometer(); }
    bool running() const { return m_session.running(); }
    bool portActive() const { return m_lines.Active(); }
    // The armed state, the projector view and the tones.
    app::Classroom *classroom() const { return m_classroom; }
    bool suppressed() const { return chronometer().suppressed(); }
    timing::Ticks startTicks() const { return chronometer().startTicks(); }
    timing::Ticks stopTicks() const { return chronometer().stopTicks(); }

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
    void resizeEvent(QResizeEvent *event) override;

private:
    void FormCreate();
    void FormShow();
    void FormClose();
    void FormKeyDown(int key);
    // Opens the port the selector shows, under the polarity it shows.
    void openChosenPort();
    // Buttons, selectors and lamps follow the chronometer.
    void mirrorRun();
    void setLamps(bool a, bool b);
    // Shows the line source's message about the port, once the current handler is done.
    void showPortMessage();

    // session::Session::Observer
    void clockChanged() override { mirrorRun(); }
    void linesChanged() override;
    void sessionChanged() override;
    void problem(const QString &message) override;
    void lineEdge(const timing::LineEdge &edge) override;
    // Statistics anew over the chosen rows, then strip and chart.
    void recountStatistics();
    // The settings as they are now, stored at once: a crash keeps them.
    void storeSettings();

    // SettingsTarget
    void applyComPort(int index) override;
    void applyComAlg(int index) override;
    void applyMeters(long double meters) override;
    void applyMode(int index) override;
    void applyFlagMeters(long double meters) override;
    void applyMinDarkMs(int ms) override;
    void applyMinContactMs(int ms) override;
    void applyPicketMeters(long double meters) override;
    void applyPendulumMeters(long double meters) override;

    void showMinimum();
    // The flag field as the mode's length: caption and value.
    void showModeLength();
    void applyColumnWidths();

    std::unique_ptr<Ui::TForm1> m_ui;
    timing::LineSource &m_lines;
    protocol::RunJournal m_journal{protocol::RunJournal::defaultFolder()};
    session::SessionStore m_store{session::SessionStore::defaultFolder()};
    session::Session m_session{m_lines};
    app::RunTableModel *m_runModel = nullptr;
    QList<qsizetype> m_statisticsRows;
    bool m_settingsLoaded = false;
    std::unique_ptr<app::WindowLayout> m_layout;

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
    app::ContactLogWindow *m_contactLog = nullptr;
    std::unique_ptr<app::AnalysisCommands> m_analysis;
    bool m_shown = false;
};

} // namespace app
