#pragma once

#include "app/MainForm.h"
#include "support/ConfigFolder.h"
#include "support/FakeClock.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "support/RecordingShell.h"

#include <QDir>
#include <QStringList>

#include <memory>

// What the tests of the main window surround it with: a config folder of its own, a clock
// and contact lines they drive, the German locale, a shell that records what it is asked to
// open and the messages the window shows. The window comes last, so it goes first.
struct MainWindowSurroundings
{
    ConfigFolder config;
    FakeClock clock;
    FakeLines lines;
    platform::FixedLocale locale = platform::FixedLocale::german();
    platform::RecordingShell shell;
    LocaleInstalled localeInstalled{locale};
    ShellInstalled shellInstalled{shell};
    QStringList messages;
    MessagesRecorded recorded{messages};
    std::unique_ptr<app::TForm1> form;

    // The next window starts as on a first start; otherwise it opens the session the one
    // before left.
    void startAfresh() const
    {
        QDir(config.dataFolder() + QStringLiteral("/Sitzungen")).removeRecursively();
    }
};
