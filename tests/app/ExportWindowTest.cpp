#include "app/MainForm.h"
#include "platform/Locale.h"
#include "platform/Shell.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/QtTestMain.h"
#include "widgets/FloatSpinEdit.h"
#include "widgets/SpeedButton.h"
#include "support/ConfigFolder.h"
#include "support/Installed.h"
#include "support/RecordingShell.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <clocale>
#include <string>

namespace {

// The system's own German formats and separators, read as the program reads them, at a
// pinned instant.
class PinnedSystemLocale : public platform::Locale
{
public:
    QChar decimalSeparator() const override { return m_system.decimalSeparator(); }
    QChar thousandSeparator() const override { return m_system.thousandSeparator(); }
    QString shortDate(const QDate &date) const override { return m_system.shortDate(date); }
    QString longTime(const QTime &time) const override { return m_system.longTime(time); }
    QDate currentDate() const override { return {2026, 12, 6}; }
    QTime currentTime() const override { return {14, 3, 27}; }

private:
    platform::SystemLocale m_system;
};

class ExportWindow : public ::testing::Test
{
protected:
    void TearDown() override { form.reset(); }

    app::TForm1 &open()
    {
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        EXPECT_TRUE(QTest::qWaitForWindowActive(form.get()));
        return *form;
    }

    void run(std::int64_t ticks)
    {
        QTest::keyClick(form->windowHandle(), Qt::Key_F5);
        clock.advance(ticks);
        QTest::keyClick(form->windowHandle(), Qt::Key_F6);
    }

    ConfigFolder config;
    FakeClock clock;
    FakeLines lines;
    platform::RecordingShell shell;
    ShellInstalled shellInstalled{shell};
    std::unique_ptr<app::TForm1> form;
};

} // namespace

TEST_F(ExportWindow, AGermanUsersExportFileByteForByte)
{
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr)
        << "the de_DE.UTF-8 locale is missing: scripts/install-deps.sh generates it";
    PinnedSystemLocale german;
    const LocaleInstalled installed(german);

    app::TForm1 &f = open();
    run(12345);
    run(0); // stop not after start
    f.edtM->setValue(0); // refused: the distance stays 0,150 m
    run(5);
    QTemporaryDir dir;
    const QString target = dir.filePath("runs.txt");
    f.setSaveDialogRunner([&](QFileDialog &) { return target; });
    f.btnExport->click();
    std::setlocale(LC_ALL, saved.c_str());

    QFile file(target);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(),
              "Tachoflux\r\n"
              "\r\n"
              "Datum/Zeit               Stoppuhrzeit   Entfernung     Geschwindigkeit\r\n"
              "                                                                      \r\n"
              "06.12.2026/14:03:27      00:01.2345     0,150 m              0,122 m/s\r\n"
              "06.12.2026/14:03:27      ???            ???                        ???\r\n"
              "06.12.2026/14:03:27      00:00.0005     0,150 m            300,000 m/s\r\n"
              "\r\n"
              "Kelvaro Software\r\n");
}

TEST_F(ExportWindow, TheSaveDialogRefusesAFolderThatDoesNotExistAndStaysOpen)
{
    app::TForm1 &f = open();
    QFileDialog *dialog = &f.ensureSaveDialog();
    QTemporaryDir dir;
    dialog->setDirectory(dir.path());
    dialog->show();
    auto *name = dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
    ASSERT_TRUE(name);

    QString warning;
    const auto answerTheWarning = [&] {
        QTimer::singleShot(0, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                warning = box->text();
                box->accept();
            }
        });
    };
    name->setText(QStringLiteral("missing/runs.txt"));
    answerTheWarning();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(warning.contains(dir.filePath("missing"))) << warning.toStdString();
    EXPECT_TRUE(warning.contains("Directory not found")) << warning.toStdString();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_NE(dialog->result(), QDialog::Accepted);

    warning.clear();
    name->setText(QStringLiteral("runs.txt"));
    answerTheWarning();
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_TRUE(warning.isEmpty());
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(dialog->selectedFiles(), QStringList{dir.filePath("runs.txt")});
}

TF_QT_TEST_MAIN
