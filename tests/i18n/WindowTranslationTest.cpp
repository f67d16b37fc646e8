// Both windows of the program translate themselves when created, follow a change of
// language through their retranslators, and every text they show is a key of the
// program's own catalog.

#include "i18n/TestFiles.h"

#include "app/InfoForm.h"
#include "app/MainForm.h"
#include "i18n/Retranslator.h"
#include "i18n/Translation.h"
#include "i18n/TranslationMarker.h"
#include "support/QtTestMain.h"
#include "support/NoPortLineSource.h"
#include "widgets/ComboBox.h"
#include "widgets/SpeedButton.h"

#include "Version.h"

#include <QAction>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testfiles;
using ::testing::ElementsAre;

namespace {

// The msgids of a .po file (the header's empty one left out).
QStringList poKeys(const QString &path)
{
    const QString text = QString::fromUtf8(read(path));
    QStringList keys;
    const QRegularExpression entry(QStringLiteral("\nmsgid ((?:\"(?:[^\"\\\\]|\\\\.)*\"\\s*)+)"));
    for (const QRegularExpressionMatch &match : entry.globalMatch(text)) {
        QString key;
        const QRegularExpression piece(QStringLiteral("\"((?:[^\"\\\\]|\\\\.)*)\""));
        for (const QRegularExpressionMatch &part : piece.globalMatch(match.captured(1)))
            key += part.captured(1);
        key.replace(QLatin1String("\\n"), QLatin1String("\n"));
        key.replace(QLatin1String("\\\""), QLatin1String("\""));
        if (!key.isEmpty())
            keys << key;
    }
    return keys;
}

class WindowTranslationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_environment.set("LANG", QByteArray("de_DE.UTF-8"));
        placeCatalog(m_dir.path() + "/locale", "en", "default", catalog("windows-en"));
        // The program's German catalog, as shipped.
        placeCatalog(m_dir.path() + "/locale", "de", "default", programCatalog("default"));
        i18n::Translation::startUp(m_dir.path() + "/tachoflux", 0);
        i18n::LanguageSetup();
    }
    void TearDown() override { i18n::Translation::shutDown(); }

    static QStringList mainTexts(app::TForm1 &form)
    {
        QStringList texts{form.windowTitle(), form.btn46->text(), form.btnInfo->text(),
                          form.findChild<QGroupBox *>("GroupBox4")->title(),
                          form.findChild<QLabel *>("Label1")->text()};
        texts << form.Prot->ColumnCaptions() << form.cmbPort->Items() << form.cmbAlg->Items();
        texts << form.PopupMenu1->actions().value(0)->text();
        return texts;
    }

    QTemporaryDir m_dir;
    EnvironmentGuard m_environment;
    timing::NoPortLineSource m_lines;
};

TEST_F(WindowTranslationTest, MainWindowGoesToAnotherLanguageAndBack)
{
    app::TForm1 form(m_lines);
    const QStringList german = mainTexts(form);
    EXPECT_THAT(german,
                ElementsAre("Kelvaro / Software / Velox / 1.02", "Kontakt 1\n(4-6) [F5]", "&Info",
                            "Algorhitmus", "(metern)", "Datum/Zeit", "Stoppuhrzeit", "Entfernung",
                            "Geschwindigkeit", "Bezeichnung", "KEIN", "COM 1", "COM 2", "EIN", "AUS",
                            "Reset Protokoll"));
    ASSERT_NE(form.findChild<i18n::TTranslationMarker *>(), nullptr);
    form.cmbPort->setItemIndexQuiet(2);
    // Through its property: the distance field's class is its own business.
    QObject *distance = form.findChild<QObject *>("edtM");
    ASSERT_NE(distance, nullptr);
    distance->setProperty("Value", 0.5);

    i18n::SelectLanguage("en");
    i18n::TranslateComponentTexts(&form);
    EXPECT_THAT(mainTexts(form),
                ElementsAre("Kelvaro / Software / Velox / 1.02 (en)", "Contact 1\n(4-6) [F5]",
                            "&About", "Polarity", "(metres)", "Date/time", "Stopwatch time",
                            "Distance", "Speed", "Label", "NONE", "COM 1 (en)", "COM 2 (en)", "ON", "OFF",
                            "Reset log"));
    // The user's choices are values, not captions: they stay.
    EXPECT_EQ(form.cmbPort->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(distance->property("Value").toDouble(), 0.5);

    i18n::SelectLanguage("de");
    i18n::TranslateComponentTexts(&form);
    EXPECT_EQ(mainTexts(form), german);
    EXPECT_EQ(form.cmbPort->currentIndex(), 2);
    EXPECT_DOUBLE_EQ(distance->property("Value").toDouble(), 0.5);
    // Building the window did not build the save dialog.
    EXPECT_EQ(form.saveDialog(), nullptr);
}

TEST_F(WindowTranslationTest, InfoDialogGoesToAnotherLanguageAndBack)
{
    app::TfrmInfo info;
    const auto texts = [&info] {
        return QStringList{info.windowTitle(), info.findChild<QLabel *>("Label2")->text(),
                           info.findChild<QPushButton *>("btn")->text()};
    };
    EXPECT_THAT(texts(), ElementsAre("Info", "Version 1.02", "OK"));
    i18n::SelectLanguage("en");
    i18n::TranslateComponentTexts(&info);
    EXPECT_THAT(texts(), ElementsAre("About", "Release 1.02", "OK (en)"));
    i18n::SelectLanguage("de");
    i18n::TranslateComponentTexts(&info);
    EXPECT_THAT(texts(), ElementsAre("Info", "Version 1.02", "OK"));
}

TEST_F(WindowTranslationTest, EveryTextTheWindowsShowIsAKeyOfTheProgramsCatalog)
{
    const QStringList keys = poKeys(QStringLiteral(TF_DEFAULT_PO));
    app::TForm1 form(m_lines);
    app::TfrmInfo info;
    QStringList missing;
    for (QObject *window : {static_cast<QObject *>(&form), static_cast<QObject *>(&info)}) {
        const auto *marker = window->findChild<i18n::TTranslationMarker *>();
        ASSERT_NE(marker, nullptr);
        for (const i18n::TRetranslatorItem &item : marker->Retranslator()->Items()) {
            const QStringList lines =
                item.stringList ? item.value.split(u'\n') : QStringList{item.value};
            for (const QString &line : lines) {
                // Numbers such as the display's time are no texts.
                if (line.contains(QRegularExpression("[A-Za-z]")) && !keys.contains(line))
                    missing << line;
            }
        }
    }
    EXPECT_THAT(missing, ::testing::IsEmpty());
}

TEST_F(WindowTranslationTest, CatalogHeadersNameTheProjectVersion)
{
    for (const char *po : {TF_DEFAULT_PO, TF_TOOLKIT_PLATFORM_PO}) {
        const QString text = QString::fromUtf8(read(QString::fromUtf8(po)));
        EXPECT_TRUE(text.contains(QStringLiteral("\"Project-Id-Version: Tachoflux " TACHOFLUX_VERSION
                                                 "\\n\"\n")))
            << po;
    }
}

} // namespace

TF_QT_TEST_MAIN
