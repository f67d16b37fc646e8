#include "app/HelpWindow.h"

#include "platform/Files.h"
#include "platform/Shell.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScrollBar>
#include <QShortcut>
#include <QStringDecoder>
#include <QSplitter>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace app {

namespace {

// The copy of the help that is built into the program, for a program file without its
// help beside it (a build tree, a copied program).
constexpr char BuiltInHelp[] = ":/help/tachoflux.html";

// Esc in the find field closes the bar; Enter finds on, Shift+Enter back.
class FindField : public QLineEdit
{
public:
    FindField(HelpWindow *window, QWidget *parent) : QLineEdit(parent), m_window(window) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        switch (event->key()) {
        case Qt::Key_Escape:
            m_window->findBar()->hide();
            m_window->browser()->setFocus();
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            m_window->findNext(event->modifiers() & Qt::ShiftModifier);
            return;
        default:
            QLineEdit::keyPressEvent(event);
        }
    }

private:
    HelpWindow *m_window;
};

QToolButton *toolButton(const QString &text, const QString &tip, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setText(text);
    button->setToolTip(tip);
    button->setAccessibleName(tip);
    button->setAutoRaise(true);
    return button;
}

} // namespace

HelpWindow::HelpWindow(const QString &helpFile, QWidget *parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    resize(940, 700);

    m_contents = new QTreeWidget;
    m_contents->setObjectName(QStringLiteral("contents"));
    m_contents->setHeaderHidden(true);
    m_contents->setAccessibleName(QStringLiteral("Inhalt"));
    m_contents->setColumnCount(1);
    m_contents->header()->setSectionResizeMode(QHeaderView::ResizeToContents);

    m_browser = new QTextBrowser;
    m_browser->setObjectName(QStringLiteral("page"));
    m_browser->setAccessibleName(QStringLiteral("Hilfetext"));
    // Links are ours to follow: anchors in the page here, everything else in the browser.
    m_browser->setOpenLinks(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &HelpWindow::followLink);

    auto *splitter = new QSplitter;
    splitter->addWidget(m_contents);
    splitter->addWidget(m_browser);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({280, 620});

    m_findBar = new QWidget;
    m_findBar->setObjectName(QStringLiteral("findBar"));
    auto *findLayout = new QHBoxLayout(m_findBar);
    findLayout->setContentsMargins(4, 2, 4, 2);
    auto *findLabel = new QLabel(QStringLiteral("&Suchen:"));
    m_findField = new FindField(this, m_findBar);
    m_findField->setAccessibleName(QStringLiteral("Suchbegriff"));
    m_findField->setClearButtonEnabled(true);
    findLabel->setBuddy(m_findField);
    auto *previous =
        toolButton(QStringLiteral("▲"), QStringLiteral("Vorherige Fundstelle"), m_findBar);
    auto *next =
        toolButton(QStringLiteral("▼"), QStringLiteral("Nächste Fundstelle (F3)"), m_findBar);
    auto *close =
        toolButton(QStringLiteral("✕"), QStringLiteral("Suche schließen (Esc)"), m_findBar);
    m_findResult = new QLabel;
    findLayout->addWidget(findLabel);
    findLayout->addWidget(m_findField, 1);
    findLayout->addWidget(previous);
    findLayout->addWidget(next);
    findLayout->addWidget(m_findResult);
    findLayout->addWidget(close);
    m_findBar->hide();

    connect(previous, &QToolButton::clicked, this, [this] { findNext(true); });
    connect(next, &QToolButton::clicked, this, [this] { findNext(false); });
    connect(close, &QToolButton::clicked, m_findBar, &QWidget::hide);
    // Typing finds as you go, from where the last match began.
    connect(m_findField, &QLineEdit::textEdited, this, [this] {
        QTextCursor cursor = m_browser->textCursor();
        cursor.setPosition(cursor.selectionStart());
        m_browser->setTextCursor(cursor);
        findNext(false);
    });

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(splitter, 1);
    layout->addWidget(m_findBar);

    auto *find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, &HelpWindow::openFindBar);
    auto *findAgain = new QShortcut(QKeySequence::FindNext, this);
    connect(findAgain, &QShortcut::activated, this, [this] {
        openFindBar();
        findNext(false);
    });
    auto *closeWindow = new QShortcut(QKeySequence::Close, this);
    connect(closeWindow, &QShortcut::activated, this, &QWidget::close);

    connect(m_contents, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem *item) { showHeading(item->data(0, Qt::UserRole).toInt()); });
    connect(m_contents, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem *item) { showHeading(item->data(0, Qt::UserRole).toInt()); });

    load(helpFile);
}

QString HelpWindow::title()
{
    return QStringLiteral("Tachoflux – Hilfe");
}

QString HelpWindow::builtInTitle()
{
    return title() + QStringLiteral(" (eingebaute Fassung)");
}

QList<HelpWindow::Heading> HelpWindow::headings(const QTextDocument &document)
{
    QList<Heading> result;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const int level = block.blockFormat().headingLevel();
        if (level >= 2 && level <= 3)
            result.append({level, block.text().simplified(), block.position()});
    }
    return result;
}

void HelpWindow::load(const QString &helpFile)
{
    // Only a regular file of a help's size: a FIFO would block, /dev/zero never end.
    const platform::SideFile file = platform::readSideFile(helpFile, MaxHelpBytes);
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString page = utf8.decode(file.bytes);
    m_fromFile = false;
    if (file.error.isEmpty() && !utf8.hasError()) {
        m_browser->setHtml(page);
        // Junk or an empty file shows no page: the built-in help takes its place.
        m_fromFile = !headings(*m_browser->document()).isEmpty();
    }
    if (!m_fromFile) {
        QFile builtIn(QString::fromLatin1(BuiltInHelp));
        builtIn.open(QIODevice::ReadOnly);
        m_browser->setHtml(QString::fromUtf8(builtIn.readAll()));
    }
    m_browser->document()->setDocumentMargin(12);
    setWindowTitle(m_fromFile ? title() : builtInTitle());
    fillContents();
}

void HelpWindow::fillContents()
{
    m_contents->clear();
    QTreeWidgetItem *chapter = nullptr;
    for (const Heading &heading : headings(*m_browser->document())) {
        QTreeWidgetItem *item = heading.level == 2 || !chapter ? new QTreeWidgetItem(m_contents)
                                                               : new QTreeWidgetItem(chapter);
        if (heading.level == 2)
            chapter = item;
        item->setText(0, heading.text);
        item->setToolTip(0, heading.text);
        item->setData(0, Qt::UserRole, heading.position);
    }
    m_contents->expandAll();
}

void HelpWindow::showHeading(int position)
{
    QTextCursor cursor(m_browser->document());
    cursor.setPosition(position);
    m_browser->setTextCursor(cursor);
    const QTextBlock block = m_browser->document()->findBlock(position);
    const qreal top = m_browser->document()->documentLayout()->blockBoundingRect(block).top();
    m_browser->verticalScrollBar()->setValue(int(top));
}

void HelpWindow::openFindBar()
{
    m_findBar->show();
    m_findField->setFocus();
    m_findField->selectAll();
}

bool HelpWindow::findNext(bool backward)
{
    const QString text = m_findField->text();
    m_findResult->clear();
    if (text.isEmpty())
        return false;
    const QTextDocument::FindFlags flags =
        backward ? QTextDocument::FindBackward : QTextDocument::FindFlags();
    if (m_browser->find(text, flags))
        return true;
    // On from the other end of the page.
    QTextCursor cursor = m_browser->textCursor();
    cursor.movePosition(backward ? QTextCursor::End : QTextCursor::Start);
    m_browser->setTextCursor(cursor);
    if (m_browser->find(text, flags))
        return true;
    m_findResult->setText(QStringLiteral("Nicht gefunden"));
    return false;
}

void HelpWindow::followLink(const QUrl &url)
{
    if (url.isRelative() && url.path().isEmpty()) {
        m_browser->scrollToAnchor(url.fragment());
        return;
    }
    if (!platform::shell().openLink(url, this))
        QMessageBox::information(
            this, title(),
            QStringLiteral("Der Link konnte nicht geöffnet werden, weil kein Browser "
                           "eingerichtet ist. Die Adresse lautet:\n\n%1")
                .arg(url.toString()));
}

} // namespace app
