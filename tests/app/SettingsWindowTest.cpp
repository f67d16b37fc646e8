#include "app/ExceptionHandler.h"
#include "app/MainForm.h"
#include "registry/RegFile.h"
#include "registry/RegistryStore.h"
#include "support/MessagesRecorded.h"
#include "support/QtTestMain.h"
#include "support/NoPortLineSource.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"

#include "support/ConfigFolder.h"

#include <gtest/gtest.h>

#include <QDir>

#include <memory>

namespace {

const QString Section = QStringLiteral("Kelvaro / Software / Velox / 1.02\\Settings");

class SettingsWindow : public ::testing::Test
{
protected:
    void SetUp() override { registry::RegistryStore::takeProblems(); }

    // A new start of the program, as far as its main window goes.
    std::unique_ptr<app::TForm1> start() { return std::make_unique<app::TForm1>(lines); }

    QString storedText(const char *name) const
    {
        registry::RegFile hive;
        registry::RegistryStore(config.hive()).read(hive);
        const registry::RegValue *value = hive.value(Section, QString::fromUtf8(name));
        return value ? value->text() : QStringLiteral("(missing)");
    }

    ConfigFolder config;
    timing::NoPortLineSource lines;
    QStringList messages;
    MessagesRecorded recorded{messages};
};

TEST_F(SettingsWindow, FirstStartShowsTheDefaultsAndItsCloseStoresThem)
{
    auto form = start();
    EXPECT_EQ(form->cmbPort->currentIndex(), 0);
    EXPECT_EQ(form->cmbAlg->currentIndex(), 0);
    EXPECT_EQ(form->edtM->Value(), 0.15);
    form->close();
    EXPECT_EQ(storedText("COMPort"), "0");
    EXPECT_EQ(storedText("COMAlg"), "0");
    EXPECT_EQ(storedText("Meters"), "150");
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

struct Choice
{
    int port;
    int alg;
    double meters;
    double shown; // after the restart: whole millimetres
};

TEST_F(SettingsWindow, TheNextStartShowsWhatTheCloseStored)
{
    const Choice rows[] = {
        {2, 1, 2.5, 2.5},
        {-1, 0, 0.15, 0.15}, // no port selected stays so
        {1, -1, 1.2344, 1.234},
        {0, 1, 12.345, 12.345},
    };
    for (const Choice &row : rows) {
        SCOPED_TRACE(row.meters);
        auto form = start();
        form->cmbPort->setItemIndexQuiet(row.port);
        form->cmbAlg->setItemIndexQuiet(row.alg);
        form->edtM->setValue(row.meters);
        form->close();
        form.reset();

        form = start();
        EXPECT_EQ(form->cmbPort->currentIndex(), row.port);
        EXPECT_EQ(form->cmbAlg->currentIndex(), row.alg);
        EXPECT_DOUBLE_EQ(form->edtM->Value(), row.shown);
    }
    EXPECT_TRUE(messages.isEmpty()) << messages.join(u'\n').toStdString();
}

TEST_F(SettingsWindow, AStoredValueOfTheWrongTypeIsShownAndTheRestLoad)
{
    auto form = start();
    form->cmbAlg->setItemIndexQuiet(1);
    form->edtM->setValue(2.5);
    form->close();
    registry::RegistryStore(config.hive()).update([](registry::RegFile &hive) {
        return hive.setValue(Section, QStringLiteral("COMPort"), registry::RegValue::dword(1));
    });

    form = start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("Die Einstellung „COMPort“ in " + config.hive()))
        << messages[0].toStdString();
    EXPECT_EQ(form->cmbAlg->currentIndex(), 1);
    EXPECT_EQ(form->edtM->Value(), 2.5);
}

TEST_F(SettingsWindow, ADamagedSettingsFileIsReportedAtStartAndKept)
{
    config.writeHive("Windows Registry Editor Version 5.00\r\nnot a registry file");
    auto form = start();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith("The settings file " + config.hive() + " is damaged"))
        << messages[0].toStdString();
    EXPECT_EQ(QDir(config.folder()).entryList({"registry.reg.damaged-*"}).size(), 1);

    form->edtM->setValue(0.3);
    form->close();
    EXPECT_EQ(storedText("Meters"), "300");
    EXPECT_EQ(messages.size(), 1);
}

} // namespace

TF_QT_TEST_MAIN
