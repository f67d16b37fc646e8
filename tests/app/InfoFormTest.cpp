#include "app/InfoForm.h"
#include "app/MainForm.h"
#include "platform/Shell.h"
#include "support/FakeLines.h"
#include "support/QtTestMain.h"
#include "widgets/ComboBox.h"
#include "widgets/IAgaloLED.h"
#include "widgets/PicturePanel.h"
#include "widgets/SpeedButton.h"
#include "support/ConfigFolder.h"
#include "support/Installed.h"
#include "support/RecordingShell.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>

namespace {

class Windows : public ::testing::Test
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

    void TearDown() override
    {
        form.reset();
    }

    ConfigFolder config;
    FakeLines lines;
    platform::RecordingShell shell;
    ShellInstalled shellInstalled{shell};
    std::unique_ptr<app::TForm1> form;
    app::TfrmInfo *info = nullptr;
};

// --- The wiring diagram and its lamps ------------------------------------------------

TEST_F(Windows, DiagramIsCentredOnAWhitePanel)
{
    widgets::TPicturePanel *panel = form->imgWiring;
    EXPECT_EQ(panel->Bitmap().size(), QSize(331, 283));
    EXPECT_EQ(panel->pictureRect(), QRect(9, 31, 331, 283));
    const QImage &buffer = panel->buffer();
    EXPECT_EQ(buffer.pixel(9, 31), panel->Bitmap().pixel(0, 0));
    EXPECT_EQ(buffer.pixel(339, 313), panel->Bitmap().pixel(330, 282));
    for (int y = 0; y < 345; ++y)
        ASSERT_EQ(buffer.pixel(8, y), qRgb(255, 255, 255)) << y;
    for (int x = 0; x < 349; ++x)
        ASSERT_EQ(buffer.pixel(x, 30), qRgb(255, 255, 255)) << x;
    // Every pixel of the diagram is opaque.
    for (int y = 0; y < 283; ++y)
        for (int x = 0; x < 331; ++x)
            ASSERT_EQ(qAlpha(panel->Bitmap().pixel(x, y)), 255);
}

TEST_F(Windows, EachLampHidesItsTerminalBlock)
{
    widgets::TPicturePanel *panel = form->imgWiring;
    const QImage shot = panel->grab().toImage().convertToFormat(QImage::Format_RGB32);
    const QColor grey(229, 229, 229);
    const struct
    {
        widgets::TIAgaloLED *lamp;
        QPoint at;   // in the panel
        QRect block; // on the diagram
    } rows[] = {
        {form->led4, {199, 71}, {191, 40, 23, 13}},
        {form->led7, {299, 71}, {291, 40, 23, 13}},
        {form->led6, {199, 260}, {191, 230, 23, 13}},
        {form->led8, {299, 260}, {291, 230, 23, 13}},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(r.lamp->geometry(), QRect(r.at, QSize(24, 14)));
        EXPECT_EQ(r.lamp->parentWidget(), panel);
        const QRect onPanel = r.block.translated(9, 31);
        EXPECT_TRUE(r.lamp->geometry().contains(onPanel)) << r.lamp->objectName().toStdString();
        // The diagram does draw a terminal there, and only the lamp shows.
        int greyInDiagram = 0;
        const QImage &lampPicture = r.lamp->picture();
        for (int y = onPanel.top(); y <= onPanel.bottom(); ++y)
            for (int x = onPanel.left(); x <= onPanel.right(); ++x) {
                greyInDiagram += panel->buffer().pixel(x, y) == grey.rgb();
                const QPoint inLamp = QPoint(x, y) - r.at;
                ASSERT_EQ(shot.pixel(x, y), lampPicture.pixelColor(inLamp).rgb())
                    << r.lamp->objectName().toStdString() << " " << x << "," << y;
            }
        EXPECT_GT(greyInDiagram, 50);
    }
}

TEST_F(Windows, LampsSayTheirLineAndState)
{
    lines.openable = {1};
    form->cmbPort->setCurrentIndex(1);
    form->cmbPortChange();
    for (const bool dsr : {true, false}) {
        lines.change(dsr, !dsr);
        const struct
        {
            widgets::TIAgaloLED *lamp;
            const char *line;
        } rows[] = {
            {form->led4, "DSR"}, {form->led6, "DSR"}, {form->led7, "CTS"}, {form->led8, "CTS"}};
        for (const auto &r : rows) {
            const bool lit = r.lamp->LedPlasticColor() == widgets::clLime;
            EXPECT_EQ(r.lamp->accessibleName(),
                      QString::fromLatin1(r.line) +
                          (lit ? QStringLiteral(": ein") : QStringLiteral(": aus")));
        }
        EXPECT_NE(form->led4->LedPlasticColor(), form->led7->LedPlasticColor());
    }
}

// --- Info dialog and help ----------------------------------------------------------------

TEST_F(Windows, InfoDialogHasEveryControlInItsPlace)
{
    EXPECT_EQ(info->size(), QSize(307, 352));
    EXPECT_EQ(info->windowTitle(), QStringLiteral("Info"));
    const struct
    {
        const char *name;
        QRect geometry;
        const char *text;
    } rows[] = {
        {"Bevel1", {4, 272, 297, 9}, nullptr},
        {"Label1", {4, 68, 297, 25}, "Tachoflux"},
        {"Bevel2", {4, 96, 297, 9}, nullptr},
        {"Label2", {4, 100, 301, 13}, "Version 1.02"},
        {"Label3", {4, 116, 297, 21}, "Kelvaro Software"},
        {"Bevel3", {4, 136, 297, 9}, nullptr},
        {"Bevel4", {4, 312, 297, 9}, nullptr},
        {"imgLogo", {4, 4, 297, 57}, nullptr},
        {"btn", {196, 320, 109, 25}, nullptr},
    };
    for (const auto &r : rows) {
        auto *control = info->findChild<QWidget *>(QLatin1StringView(r.name));
        ASSERT_NE(control, nullptr) << r.name;
        EXPECT_EQ(control->geometry(), r.geometry) << r.name;
        if (r.text) {
            EXPECT_EQ(static_cast<QLabel *>(control)->text(), QString::fromUtf8(r.text)) << r.name;
        }
    }
    EXPECT_EQ(info->Label1->font().pixelSize(), 21);
    EXPECT_TRUE(info->Label1->font().bold());
    EXPECT_EQ(info->Label3->font().pixelSize(), 16);
    EXPECT_EQ(info->Label2->font().pixelSize(), 11);
    EXPECT_EQ(info->Label1->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);

    // The logo fills the whole panel.
    EXPECT_EQ(info->imgLogo->Bitmap().size(), QSize(191, 42));
    EXPECT_EQ(info->imgLogo->pictureRect(), QRect(0, 0, 297, 57));
    EXPECT_EQ(info->imgLogo->StretchFilter(), widgets::picpanel::rfSpline);

    EXPECT_FALSE(info->btn->text().isEmpty());
    EXPECT_TRUE(info->btn->isDefault());
}

TEST_F(Windows, InfoIsModalCentredAndShownAgainWithoutBeingRebuilt)
{
    const QList<QWidget *> children = info->findChildren<QWidget *>();
    const QImage logo = info->imgLogo->buffer().copy();
    for (int round = 0; round < 2; ++round) {
        bool checked = false;
        QTimer::singleShot(0, info, [&] {
            checked = true;
            EXPECT_TRUE(info->isVisible());
            EXPECT_TRUE(info->isModal());
            EXPECT_EQ(info->frameGeometry().center(), form->frameGeometry().center());
            // OK closes the dialog.
            QTest::mouseClick(info->btn, Qt::LeftButton);
        });
        QTest::mouseClick(form->btnInfo, Qt::LeftButton);
        EXPECT_TRUE(checked);
        EXPECT_FALSE(info->isVisible());
        EXPECT_EQ(info->findChildren<QWidget *>(), children);
        EXPECT_EQ(info->imgLogo->buffer(), logo);
    }
}

// The program's way: the dialog is made at the first Info click and shown again after.
TEST(InfoOnDemand, FirstClickMakesTheDialogAndLaterClicksReuseIt)
{
    ConfigFolder config;
    FakeLines lines;
    app::TForm1 form(lines);
    QList<app::TfrmInfo *> made, shown;
    form.setInfoFormMaker([&] { return made.emplace_back(new app::TfrmInfo(&form)); });
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    for (int round = 0; round < 2; ++round) {
        QTimer::singleShot(0, &form, [&] {
            shown << qobject_cast<app::TfrmInfo *>(QApplication::activeModalWidget());
            if (shown.last())
                QTest::mouseClick(shown.last()->btn, Qt::LeftButton);
        });
        QTest::mouseClick(form.btnInfo, Qt::LeftButton);
    }
    EXPECT_EQ(made.size(), 1);
    EXPECT_EQ(shown, QList<app::TfrmInfo *>({made.value(0), made.value(0)}));
}

TEST(HelpFile, LiesBesideTheBuiltProgramAsAGermanPage)
{
    const QString help = app::TForm1::helpFilePath(QStringLiteral(TACHOFLUX_PROGRAM));
    QFile file(help);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << help.toStdString();
    const QString text = QString::fromUtf8(file.readAll());
    EXPECT_TRUE(text.startsWith(QStringLiteral("<!DOCTYPE html>")));
    for (const char *topic :
         {"Pin 4 mit Pin 6", "Pin 7 mit Pin 8", "dialout", "F5", "F6", "F8", "F11", "Strg+Z",
          "Entf", "Strg+P", "Strg+F", "Adapter wählen", "Polarität", "Stufe", "Unsicherheit",
          "Spät gefundene Kontakte", "CSV", "Dezimalkomma", "PDF-Bericht", "Statistik",
          "Diagramm", "Bezeichnung", "Messung löschen", "Rückgängig", "Messungen-JJJJ-MM-TT.csv",
          "Letzte Messungen laden", "Messart", "Zwischen den Schranken", "Dunkelzeit",
          "Beschleunigung", "Pendel", "Fahnenlänge", "Mindestzeit", "Großanzeige", "Ton",
          "bereit", "läuft", "gestoppt", "Kontakt offen/gestört", "registry.reg", "16 MiB",
          "SCHED_FIFO", "rtprio", "cdc-acm", "latency_timer", "xvfb-run"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(topic))) << topic;
    // The adapter dialog makes the links; nobody is sent to a terminal for them.
    EXPECT_FALSE(text.contains(QStringLiteral("ln -s")));
}

} // namespace

TF_QT_TEST_MAIN
