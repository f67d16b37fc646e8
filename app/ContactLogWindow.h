#pragma once

#include "app/ContactLog.h"

#include <QWidget>

#include <functional>
#include <optional>

class QFileDialog;
class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace app {

class ContactLogModel;
class ContactLogView;

// "Kontaktanzeige": every edge of both lines as it comes, as traces over the last seconds
// and as a table, for aligning a barrier (bounce, a flickering beam, a contact that never
// opens); exportable as CSV. It keeps edges only while it is open and forgets them when it
// closes, so that a closed display costs nothing.
//
//     if (contactLog->isOpen())
//         contactLog->add(edge); // on the user-interface thread, for each edge of the lines
class ContactLogWindow : public QWidget
{
    Q_OBJECT

public:
    explicit ContactLogWindow(QWidget *parent = nullptr,
                              std::size_t capacity = ContactLog::DefaultCapacity);
    ~ContactLogWindow() override;

    bool isOpen() const { return isVisible(); }
    // Keeps the edge while the window is open; does nothing while it is closed.
    void add(const timing::LineEdge &edge);
    // The lines' states when the window opened, shown until their first edge; call it
    // right after show().
    void setLineStates(std::optional<bool> line1Active, std::optional<bool> line2Active);

    // Writes every kept edge to `path` as CSV in the user's convention. Throws EInOutError.
    void exportCsv(const QString &path) const;
    // How the export's file dialog is run (tests answer it): the chosen path, empty to cancel.
    using SaveDialogRunner = std::function<QString(QFileDialog &dialog)>;
    void setSaveDialogRunner(SaveDialogRunner runner) { m_runSaveDialog = std::move(runner); }

    const ContactLog &log() const { return m_log; }
    ContactLogView *view() const { return m_view; }
    QTableView *table() const { return m_table; }

    // Brings table, traces and status up to the log now, as the window's timer does.
    void refresh();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void clear();
    void exportChosen();
    void updateStatus();

    ContactLog m_log;
    ContactLogView *m_view = nullptr;
    ContactLogModel *m_model = nullptr;
    QTableView *m_table = nullptr;
    QLabel *m_status = nullptr;
    QPushButton *m_pause = nullptr;
    QTimer *m_timer = nullptr;
    std::uint64_t m_shownAdded = 0;
    SaveDialogRunner m_runSaveDialog;
};

} // namespace app
