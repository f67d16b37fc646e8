#pragma once

#include <QList>
#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QTextBrowser;
class QTextDocument;
class QTreeWidget;
class QTreeWidgetItem;
class QUrl;

namespace app {

// The program's own help window. Desktops have no viewer for a ".hlp" file, so the help
// file beside the program is shown here, with a table of contents and a find bar (Ctrl+F).
// Links that leave the page go to the desktop's browser through the shell.
class HelpWindow : public QWidget
{
    Q_OBJECT

public:
    // `helpFile` is read when it is a regular file of at most MaxHelpBytes, in UTF-8, with
    // at least one chapter; otherwise the copy built into the program is shown, and the
    // title says so (the help file beside the program is missing, unreadable or junk).
    explicit HelpWindow(const QString &helpFile, QWidget *parent = nullptr);

    static constexpr qint64 MaxHelpBytes = 4 * 1024 * 1024;

    static QString title();
    static QString builtInTitle();

    // A heading of the page: its level (2 = chapter, 3 = section), text and place.
    struct Heading
    {
        int level = 0;
        QString text;
        int position = 0;
    };
    // Chapters and sections in page order; the page title (level 1) is not listed.
    static QList<Heading> headings(const QTextDocument &document);

    bool shownFromFile() const { return m_fromFile; }
    QTextBrowser *browser() const { return m_browser; }
    QTreeWidget *contents() const { return m_contents; }
    QWidget *findBar() const { return m_findBar; }
    QLineEdit *findField() const { return m_findField; }

    void openFindBar();
    // Finds the find field's text after (or before) the current match, wrapping around the
    // page; false when the page does not hold it.
    bool findNext(bool backward = false);
    // Scrolls the page so that the heading at `position` is at the top.
    void showHeading(int position);

private:
    void load(const QString &helpFile);
    void fillContents();
    void followLink(const QUrl &url);

    QTextBrowser *m_browser = nullptr;
    QTreeWidget *m_contents = nullptr;
    QWidget *m_findBar = nullptr;
    QLineEdit *m_findField = nullptr;
    QLabel *m_findResult = nullptr;
    bool m_fromFile = false;
};

} // namespace app
