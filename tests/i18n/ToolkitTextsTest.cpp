// Qt's own texts through the translator on the application, and the platform layer's
// texts through its hook: with test catalogs for the edge cases, and with the program's
// own catalogs for what users see.

#include "i18n/TestFiles.h"

#include "i18n/Hook.h"
#include "i18n/Translation.h"
#include "platform/Errors.h"
#include "platform/ResourceText.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

using namespace testfiles;
using ::testing::IsSupersetOf;

namespace {

QString qt(const char *context, const char *text)
{
    return QCoreApplication::translate(context, text);
}

class ToolkitTextsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_environment.set("LANG", QByteArray("C"));
    }
    void TearDown() override { i18n::Translation::shutDown(); }

    void startWith(const char *defaultCatalog, const char *toolkitCatalog)
    {
        const QString locale = m_dir.path() + "/locale";
        placeCatalog(locale, "de", "default", catalog(defaultCatalog));
        placeCatalog(locale, "de", "toolkit", catalog(toolkitCatalog));
        i18n::Translation::startUp(m_dir.path() + "/tachoflux", 0);
        i18n::LanguageSetup();
    }

    QTemporaryDir m_dir;
    EnvironmentGuard m_environment;
};

TEST_F(ToolkitTextsTest, QtTextsPassDefaultThenToolkitWithTheirArguments)
{
    startWith("regional", "toolkit-test");
    EXPECT_EQ(qt("QDialogButtonBox", "Cancel"), "Abbrechen (de_DE)");
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Ja");
    EXPECT_EQ(qt("QMessageBox", ""), "");
    EXPECT_EQ(qt("QMessageBox", "Not in any catalog"), "Not in any catalog");
    // Qt fills in the arguments after the lookup; Qt's line breaks stay LF alone.
    EXPECT_EQ(qt("QFileDialog", "%1 already exists.\nDo you want to replace it?").arg("runs.txt"),
              "runs.txt existiert bereits.\nSoll es ersetzt werden?");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "&Yes", nullptr, 2), "&Ja");
    // The platform layer's texts take the same way, with CR LF line breaks.
    EXPECT_EQ(platform::resourceText("&Yes"), "&Ja");
    EXPECT_EQ(i18n::TranslateResourceText("%1 already exists.\nDo you want to replace it?"),
              "%1 existiert bereits.\r\nSoll es ersetzt werden?");
}

TEST_F(ToolkitTextsTest, HooksInstallAndRemoveTheRoutesAndAfterShutdownTextsAreQts)
{
    startWith("regional", "toolkit-test");
    i18n::THook *translator = i18n::Translation::hook(0);
    i18n::THook *platformText = i18n::Translation::hook(1);
    ASSERT_NE(translator, nullptr);
    ASSERT_NE(platformText, nullptr);
    EXPECT_TRUE(translator->IsEnabled());
    translator->Disable();
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Yes");
    EXPECT_EQ(platform::resourceText("&Yes"), "&Ja");
    translator->Enable();
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Ja");

    // Preparing takes a replacement out; enabling puts it back.
    i18n::InstallResourceStringHooks(false);
    EXPECT_FALSE(translator->IsEnabled());
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Yes");
    EXPECT_EQ(platform::resourceText("&Yes"), "&Yes");
    i18n::InstallResourceStringHooks(true);
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Ja");
    EXPECT_EQ(platform::resourceText("&Yes"), "&Ja");

    i18n::Translation::shutDown();
    EXPECT_EQ(i18n::Translation::hook(0), nullptr);
    EXPECT_EQ(qt("QMessageBox", "&Yes"), "&Yes");
    EXPECT_EQ(platform::resourceText("&Yes"), "&Yes");
    EXPECT_EQ(i18n::TranslateResourceText("&Yes"), "&Yes");
}

TEST(HookTest, UnpreparedHookRefusesWithItsErrors)
{
    i18n::THook hook({}, {});
    EXPECT_FALSE(hook.IsPrepared());
    const auto message = [](const std::function<void()> &step) {
        try {
            step();
        } catch (const platform::TfError &error) {
            return error.message();
        }
        return QString();
    };
    EXPECT_EQ(message([&] { hook.Enable(); }),
              "Patch position in THook was nil when Enable was called");
    EXPECT_EQ(message([&] { hook.Disable(); }),
              "Patch position in THook was nil when Disable was called");

    int installed = 0;
    {
        i18n::THook real([&] { ++installed; }, [&] { --installed; });
        real.Enable();
        real.Enable();
        EXPECT_EQ(installed, 1);
    }
    // Destroying it took the replacement out again.
    EXPECT_EQ(installed, 0);
}

TEST_F(ToolkitTextsTest, CatalogErrorsReachTheProgramsOwnCodeButNotQts)
{
    startWith("regional", "latin1");
    EXPECT_EQ(qt("QFileDialog", "Open"), "Open");
    EXPECT_THROW(platform::resourceText("Open"), platform::TfError);
}

// The program's own catalogs, as they are built for the store.
class ProgramCatalogsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_environment.set("LANG", QByteArray("C"));
        // The catalogs' folder is laid out as "locale" beside a program.
        const QString locale = QStringLiteral(TF_PROGRAM_CATALOGS);
        i18n::Translation::startUp(locale.left(locale.lastIndexOf('/')) + "/tachoflux", 0);
        i18n::LanguageSetup();
    }
    void TearDown() override { i18n::Translation::shutDown(); }

    EnvironmentGuard m_environment;
};

QStringList textsOf(const QWidget &widget)
{
    QStringList texts{widget.windowTitle()};
    for (const QLabel *label : widget.findChildren<QLabel *>())
        texts << label->text();
    for (const QAbstractButton *button : widget.findChildren<QAbstractButton *>())
        texts << button->text();
    return texts;
}

TEST_F(ProgramCatalogsTest, SaveDialogSpeaksGerman)
{
    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters({"*.txt (*.txt)"});
    EXPECT_THAT(textsOf(dialog), IsSupersetOf({QString("Speichern unter"), QString("Suchen in:"),
                                               QString("Datei&name:"), QString("Dateien des Typs:"),
                                               QString("S&peichern"), QString("Abbrechen")}));
    const QStringList texts = textsOf(dialog);
    for (const char *english : {"Save As", "Look in:", "File &name:", "&Save", "Cancel"})
        EXPECT_FALSE(texts.contains(english)) << english;
}

TEST_F(ProgramCatalogsTest, MessageBoxesAndContextMenusSpeakGerman)
{
    QMessageBox box(QMessageBox::Critical, "Tachoflux", "E/A-Fehler 40.", QMessageBox::Ok);
    EXPECT_EQ(box.button(QMessageBox::Ok)->text(), "OK");
    QMessageBox question(QMessageBox::Question, "Tachoflux", "?",
                         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), "&Ja");
    EXPECT_EQ(question.button(QMessageBox::No)->text(), "&Nein");
    EXPECT_EQ(question.button(QMessageBox::Cancel)->text(), "Abbrechen");

    QLineEdit edit("0,150");
    const std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList actions;
    for (const QAction *action : menu->actions())
        actions << action->text().section(u'\t', 0, 0);
    EXPECT_THAT(actions, IsSupersetOf({QString("&Rückgängig"), QString("&Kopieren"),
                                       QString("Alles auswählen")}));
    // The spin field adds its own two entries to that menu.
    EXPECT_EQ(qt("QAbstractSpinBox", "&Step up"), "&Inkrementieren");
    EXPECT_EQ(qt("QAbstractSpinBox", "Step &down"), "&Dekrementieren");
}

} // namespace
