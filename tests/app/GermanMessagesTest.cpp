#include "app/ExceptionHandler.h"
#include "app/MainForm.h"
#include "i18n/Translation.h"
#include "registry/RegFile.h"
#include "platform/ResourceText.h"
#include "platform/Shell.h"
#include "support/ConfigFolder.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/NoPortLineSource.h"
#include "support/ProgramCatalogs.h"
#include "support/QtTestMain.h"
#include "support/RecordingShell.h"
#include "timing/LineSource.h"
#include "widgets/SpeedButton.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QTemporaryDir>

#include <cstring>
#include <optional>

#include <sys/stat.h>

namespace {

// The program's start-up with its own catalogs: the errors the toolkit raises reach the
// user in German.
class GermanMessages : public ::testing::Test
{
protected:
    void SetUp() override
    {
        catalogs.emplace(QStringLiteral(TACHOFLUX_PROGRAM));
        ASSERT_TRUE(catalogs->loaded());
    }
    void TearDown() override
    {
        catalogs.reset();
    }

    ConfigFolder config;
    timing::NoPortLineSource lines;
    platform::RecordingShell shell;
    ShellInstalled shellInstalled{shell};
    std::optional<ProgramCatalogs> catalogs;
    QStringList messages;
    MessagesRecorded recorded{messages};
};

TEST_F(GermanMessages, SettingsOfTheWrongTypeAreReportedInGerman)
{
    config.writeHive(QByteArray(registry::RegFile::Header) + "\r\n\r\n[" +
                     registry::RegFile::RootName +
                     "\\Kelvaro / Software / Velox / 1.02\\Settings]\r\n"
                     "\"COMPort\"=dword:00000001\r\n");
    app::TForm1 form(lines);
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Die Einstellung „COMPort“ in " + config.hive() +
                                       " ist unbrauchbar (Typ dword statt Text)"))
        << messages[0].toStdString();
}

TEST_F(GermanMessages, ASettingsFileThatIsNoFileIsReportedInGerman)
{
    QDir().mkpath(config.folder());
    ASSERT_EQ(::mkfifo(QFile::encodeName(config.hive()).constData(), 0600), 0);
    app::TForm1 form(lines);
    EXPECT_EQ(messages.join(u'\n').toStdString(),
              "Die Einstellungsdatei " + config.hive().toStdString() +
                  " ist keine gewöhnliche Datei, sondern eine benannte Pipe; sie blieb "
                  "unverändert, und es wurden keine Einstellungen gelesen oder gespeichert\n"
                  "Erzeugung von Schlüssel Kelvaro / Software / Velox / 1.02 misslungen.");
}

TEST_F(GermanMessages, NumberedIoErrorsAreGermanTheFixedOnesStayEnglish)
{
    QTemporaryDir dir;
    // A link to itself: the folder can never be reached.
    ASSERT_TRUE(QFile::link(dir.filePath("loop"), dir.filePath("loop")));
    app::TForm1 form(lines);
    const QString targets[] = {dir.filePath("loop/runs.txt"), dir.path()};
    for (const QString &target : targets) {
        form.setSaveDialogRunner([&](QFileDialog &) { return target; });
        form.btnExport->click();
    }
    EXPECT_EQ(messages.join(u'\n').toStdString(), "E/A-Fehler 40.\nFile access denied.");
    EXPECT_TRUE(shell.opened.isEmpty());
}

} // namespace

TF_QT_TEST_MAIN
