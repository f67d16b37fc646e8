// The help window as a user meets it: the help file beside the program (or the copy built
// into it), its table of contents, the find bar, links; and a help text that names every
// control of the main window.

#include "app/HelpWindow.h"

#include <sys/stat.h>
#include "app/AppIcon.h"
#include "app/InfoForm.h"
#include "app/MainForm.h"
#include "support/ConfigFolder.h"
#include "support/FakeLines.h"
#include "support/Installed.h"
#include "support/ProgramCatalogs.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "widgets/ComboBox.h"
#include "widgets/SpeedButton.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPixmap>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using app::HelpWindow;

namespace {

QString writeFile(const QTemporaryDir &dir, const QString &name, const QByteArray &text)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(text);
    return path;
}

const QByteArray SmallHelp = "<html><body><h1>Titel</h1><p>Einleitung</p>"
                             "<h2>Anschluss</h2><p>Pin 4 und Pin 6. Pin 7.</p>"
                             "<h3>USB-Adapter</h3><p>ttyUSB0</p>"
                             "<h3>Rechte</h3><p>dialout</p>"
                             "<h2>Export</h2><p>CSV mit Semikolon. <a href=\"#top\">oben</a> "
                             "<a href=\"https://example.org/x\">Netz</a></p>"
                             "<h4>Klein</h4><p>Ende Pin</p></body></html>";

// Chapters are top-level entries, sections below them; the page title and smaller
// headings are not listed.
TEST(HelpWindow, ReadsTheFileBesideTheProgramAndListsItsChapters)
{
    QTemporaryDir dir;
    HelpWindow window(writeFile(dir, "tachoflux.hlp", SmallHelp));
    EXPECT_TRUE(window.shownFromFile());
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tachoflux – Hilfe"));
    EXPECT_TRUE(window.browser()->toPlainText().contains("ttyUSB0"));

    QStringList tree;
    for (int i = 0; i < window.contents()->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *chapter = window.contents()->topLevelItem(i);
        tree << chapter->text(0);
        for (int j = 0; j < chapter->childCount(); ++j)
            tree << "  " + chapter->child(j)->text(0);
    }
    EXPECT_EQ(tree, QStringList({"Anschluss", "  USB-Adapter", "  Rechte", "Export"}));

    // Choosing an entry brings its heading to the top of the page.
    window.resize(400, 150);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    for (const HelpWindow::Heading &heading : HelpWindow::headings(*window.browser()->document())) {
        window.showHeading(heading.position);
        EXPECT_EQ(window.browser()->textCursor().block().text(), heading.text);
        const QRect at = window.browser()->cursorRect();
        EXPECT_GE(at.top(), 0) << heading.text.toStdString();
        EXPECT_LT(at.top(), window.browser()->viewport()->height() / 2)
            << heading.text.toStdString();
    }
}

TEST(HelpWindow, WithoutItsFileShowsTheCopyBuiltIntoTheProgramAndSaysSo)
{
    for (const QString &missing : {QStringLiteral("/nonexistent/tachoflux.hlp"), QString()}) {
        HelpWindow window(missing);
        EXPECT_FALSE(window.shownFromFile());
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Tachoflux – Hilfe (eingebaute Fassung)"));
        const QString text = window.browser()->toPlainText();
        EXPECT_TRUE(text.contains(QStringLiteral("Tachoflux – Stoppuhr mit zwei Lichtschranken")));
        EXPECT_GE(window.contents()->topLevelItemCount(), 10);
    }
}

// A help file that is no regular file, too big, empty or junk: the built-in copy at once.
TEST(HelpWindow, AFifoDevZeroJunkOrEmptyFileGiveTheBuiltInHelp)
{
    QTemporaryDir dir;
    const QString fifo = dir.filePath("fifo.hlp");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const QString zero = dir.filePath("zero.hlp");
    ASSERT_TRUE(QFile::link("/dev/zero", zero));
    const QString huge = dir.filePath("huge.hlp");
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(HelpWindow::MaxHelpBytes + 1));
    }
    const QString files[] = {fifo, zero, huge, dir.path(), writeFile(dir, "empty.hlp", {}),
                             writeFile(dir, "junk.hlp", QByteArray("\xff\xfe\x00junk\x80", 8)),
                             writeFile(dir, "plain.hlp", "no chapters, no page")};
    for (const QString &path : files) {
        HelpWindow window(path);
        EXPECT_FALSE(window.shownFromFile()) << path.toStdString();
        EXPECT_EQ(window.windowTitle(), QStringLiteral("Tachoflux – Hilfe (eingebaute Fassung)"));
        EXPECT_GE(window.contents()->topLevelItemCount(), 10);
    }
}

// Ctrl+F opens the bar; typing finds as you go, Enter goes on and wraps around, Shift+Enter
// goes back, a text the page lacks is reported, Esc closes the bar.
TEST(HelpWindow, FindBarFindsOnWrapsAndReportsWhatIsMissing)
{
    QTemporaryDir dir;
    HelpWindow window(writeFile(dir, "tachoflux.hlp", SmallHelp));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_FALSE(window.findBar()->isVisible());
    QTest::keyClick(&window, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(window.findBar()->isVisible());
    EXPECT_TRUE(window.findField()->hasFocus());

    const QString plain = window.browser()->toPlainText();
    const auto matchedBlock = [&] { return window.browser()->textCursor().block().text(); };
    QTest::keyClicks(window.findField(), "Pin");
    EXPECT_EQ(window.browser()->textCursor().selectedText(), "Pin");
    const struct
    {
        Qt::KeyboardModifiers modifiers;
        int position; // of the match, in the page's text
    } steps[] = {
        {Qt::NoModifier, int(plain.indexOf("Pin 6"))},
        {Qt::NoModifier, int(plain.indexOf("Pin 7"))},
        {Qt::NoModifier, int(plain.indexOf("Pin", plain.indexOf("Ende")))},
        {Qt::NoModifier, int(plain.indexOf("Pin 4"))}, // wrapped around
        {Qt::ShiftModifier, int(plain.indexOf("Pin", plain.indexOf("Ende")))},
    };
    for (const auto &step : steps) {
        QTest::keyClick(window.findField(), Qt::Key_Return, step.modifiers);
        EXPECT_EQ(window.browser()->textCursor().selectionStart(), step.position)
            << matchedBlock().toStdString();
    }

    window.findField()->clear();
    QTest::keyClicks(window.findField(), "Lichtschranke");
    EXPECT_FALSE(window.findNext());
    bool reported = false;
    for (const QLabel *label : window.findBar()->findChildren<QLabel *>())
        reported |= label->text() == QStringLiteral("Nicht gefunden");
    EXPECT_TRUE(reported);

    QTest::keyClick(window.findField(), Qt::Key_Escape);
    EXPECT_FALSE(window.findBar()->isVisible());
}

// An anchor stays in the page; a web address goes to the desktop's browser, and where none
// can be started the user is told the address instead of getting nothing.
TEST(HelpWindow, LinksLeaveThePageOnlyThroughTheShell)
{
    QTemporaryDir dir;
    platform::RecordingShell shell;
    ShellInstalled installed(shell);
    HelpWindow window(writeFile(dir, "tachoflux.hlp", SmallHelp));
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    emit window.browser()->anchorClicked(QUrl(QStringLiteral("#top")));
    EXPECT_TRUE(shell.links.isEmpty());
    EXPECT_TRUE(window.browser()->toPlainText().contains("Einleitung"));

    emit window.browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/x")));
    ASSERT_EQ(shell.links.size(), 1);
    EXPECT_EQ(shell.links[0], QUrl(QStringLiteral("https://example.org/x")));

    shell.linksOpen = false;
    QString told;
    QTimer::singleShot(0, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            told = box->text();
            box->accept();
        }
    });
    emit window.browser()->anchorClicked(QUrl(QStringLiteral("https://example.org/x")));
    EXPECT_TRUE(told.contains("https://example.org/x")) << told.toStdString();
    EXPECT_TRUE(told.contains("kein Browser")) << told.toStdString();
}

// --- The main window's Hilfe and its icon --------------------------------------------------

class MainWindowHelp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        form = std::make_unique<app::TForm1>(lines);
        info = new app::TfrmInfo(form.get());
        form->setInfoForm(info);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
    }

    ProgramCatalogs catalogs{QStringLiteral(TACHOFLUX_PROGRAM)};
    ConfigFolder config;
    FakeLines lines;
    platform::RecordingShell shell;
    ShellInstalled shellInstalled{shell};
    std::unique_ptr<app::TForm1> form;
    app::TfrmInfo *info = nullptr;
};

// Pressing Hilfe twice shows one help window, in front, and asks the desktop for nothing.
TEST_F(MainWindowHelp, HilfeShowsTheProgramsOwnHelpWindow)
{
    for (int press = 0; press < 2; ++press) {
        QTest::mouseClick(form->btnHelp, Qt::LeftButton);
        const QList<HelpWindow *> windows = form->findChildren<HelpWindow *>();
        ASSERT_EQ(windows.size(), 1);
        EXPECT_TRUE(windows[0]->isVisible());
        EXPECT_TRUE(windows[0]->isWindow());
        EXPECT_TRUE(windows[0]->windowTitle().startsWith(QStringLiteral("Tachoflux – Hilfe")));
        windows[0]->close();
    }
    EXPECT_TRUE(shell.opened.isEmpty());
    EXPECT_TRUE(shell.links.isEmpty());
}

// Every text by which a user or a screen reader knows a control of the main window (its
// caption, items, column titles, accessible name, tooltip) is found in the help.
TEST_F(MainWindowHelp, HelpNamesEveryControlOfTheMainWindow)
{
    ASSERT_TRUE(catalogs.loaded());
    QFile file(QStringLiteral(":/help/tachoflux.html"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    const auto normal = [](QString text) { return text.remove(u'&').simplified().toCaseFolded(); };
    const QString help = normal(document.toPlainText());

    QStringList names;
    for (QWidget *control : form->findChildren<QWidget *>()) {
        if (!control->isVisibleTo(form.get()) || control->isWindow())
            continue;
        QStringList texts{control->accessibleName(), control->toolTip()};
        if (auto *button = qobject_cast<QAbstractButton *>(control))
            texts << button->text();
        if (auto *group = qobject_cast<QGroupBox *>(control))
            texts << group->title();
        if (auto *label = qobject_cast<QLabel *>(control))
            texts << label->text();
        if (auto *combo = qobject_cast<QComboBox *>(control))
            for (int i = 0; i < combo->count(); ++i)
                texts << combo->itemText(i);
        if (auto *table = qobject_cast<QTableWidget *>(control))
            for (int c = 0; c < table->columnCount(); ++c)
                if (const QTableWidgetItem *header = table->horizontalHeaderItem(c))
                    texts << header->text();
        if (auto *tree = qobject_cast<QTreeWidget *>(control))
            for (int c = 0; c < tree->columnCount(); ++c)
                texts << tree->headerItem()->text(c);
        for (const QString &text : texts)
            if (!text.trimmed().isEmpty())
                names << text;
    }
    ASSERT_GE(names.size(), 20);
    QStringList missing;
    for (const QString &name : names)
        if (!help.contains(normal(name)))
            missing << name;
    missing.removeDuplicates();
    EXPECT_TRUE(missing.isEmpty()) << missing.join(" | ").toStdString();
}

// The window and the info dialog carry the icon in every size, drawn at that size.
TEST_F(MainWindowHelp, WindowsCarryTheIconInEverySize)
{
    const QIcon icon = app::applicationIcon();
    QList<QSize> sizes = icon.availableSizes();
    std::sort(sizes.begin(), sizes.end(),
              [](const QSize &a, const QSize &b) { return a.width() < b.width(); });
    EXPECT_EQ(
        sizes,
        QList<QSize>(
            {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}}));
    for (QWidget *window : {static_cast<QWidget *>(form.get()), static_cast<QWidget *>(info)}) {
        const QIcon shown = window->windowIcon();
        for (const int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
            SCOPED_TRACE(size);
            const QPixmap pixmap = shown.pixmap(QSize(size, size));
            EXPECT_EQ(pixmap.size(), QSize(size, size));
            EXPECT_EQ(pixmap.toImage(), icon.pixmap(QSize(size, size)).toImage());
        }
    }
    // The large sizes are drawings of their own, not the small picture blown up: a 16-pixel
    // picture scaled to 256 has runs of 16 equal pixels in every row.
    const QImage large = icon.pixmap(QSize(256, 256)).toImage();
    const QImage blownUp = icon.pixmap(QSize(16, 16))
                               .toImage()
                               .scaled(256, 256, Qt::IgnoreAspectRatio, Qt::FastTransformation)
                               .convertToFormat(large.format());
    EXPECT_NE(large, blownUp);
    int changes = 0;
    for (int x = 1; x < 256; ++x)
        changes += large.pixel(x, 128) != large.pixel(x - 1, 128);
    EXPECT_GT(changes, 16);
}

} // namespace

TF_QT_TEST_MAIN
