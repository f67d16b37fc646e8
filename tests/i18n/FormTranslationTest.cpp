// Form translation on real objects and real msgfmt catalogs: the walk, the marker, the
// retranslator, the ignore lists and the error texts.

#include "i18n/TestFiles.h"

#include "i18n/Retranslator.h"
#include "i18n/Translation.h"
#include "i18n/TranslationEngine.h"
#include "i18n/TranslationMarker.h"
#include "platform/Errors.h"
#include "support/QtTestMain.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using namespace testfiles;
using ::testing::ElementsAre;

// An object with every kind of property the walk meets; it counts the writes.
class TTextHolder : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE setCaption)
    Q_PROPERTY(QString Hint READ Hint WRITE setHint)
    Q_PROPERTY(QString Fixed READ Fixed)
    Q_PROPERTY(QStringList Lines READ Lines WRITE setLines)
    Q_PROPERTY(QObject *Left READ Left WRITE setLeft)
    Q_PROPERTY(QObject *Right READ Right WRITE setRight)

public:
    explicit TTextHolder(QObject *parent = nullptr) : QObject(parent) {}

    QString Caption() const { return m_caption; }
    void setCaption(const QString &text) { m_caption = text, ++writes; }
    QString Hint() const { return m_hint; }
    void setHint(const QString &text) { m_hint = text, ++writes; }
    QString Fixed() const { return QStringLiteral("Unwritable"); }
    QStringList Lines() const { return m_lines; }
    void setLines(const QStringList &lines) { m_lines = lines, ++listWrites; }
    QObject *Left() const { return m_left; }
    void setLeft(QObject *object) { m_left = object; }
    QObject *Right() const { return m_right; }
    void setRight(QObject *object) { m_right = object; }

    int writes = 0;
    int listWrites = 0;

private:
    QString m_caption;
    QString m_hint;
    QStringList m_lines;
    QObject *m_left = nullptr;
    QObject *m_right = nullptr;
};

namespace {

class FormTranslationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_dir.isValid());
        m_environment.set("LANG", QByteArray("C"));
        const QString locale = m_dir.path() + "/locale";
        placeCatalog(locale, "xx", "default", catalog("forms-xx"));
        placeCatalog(locale, "yy", "default", catalog("forms-yy"));
        placeCatalog(locale, "bad", "default", catalog("latin1"));
        i18n::Translation::startUp(m_dir.path() + "/tachoflux", 0);
        i18n::SelectLanguage("xx");
    }
    void TearDown() override { i18n::Translation::shutDown(); }

    static TTextHolder *holder(QObject *parent, const char *name, const QString &caption)
    {
        auto *h = new TTextHolder(parent);
        h->setObjectName(QLatin1String(name));
        h->setCaption(caption);
        h->writes = 0;
        return h;
    }
    static i18n::TTranslationMarker *markerOf(QObject *object)
    {
        return object->findChild<i18n::TTranslationMarker *>("TranslationMarker",
                                                             Qt::FindDirectChildrenOnly);
    }
    i18n::TTranslationEngine &engine() { return *i18n::Translation::engine(); }

    QTemporaryDir m_dir;
    EnvironmentGuard m_environment;
};

TEST_F(FormTranslationTest, WalkTranslatesEveryTextPropertyOnceAndMarksTheWindow)
{
    QObject window;
    window.setObjectName("holder");
    TTextHolder *top = holder(&window, "holder", "Hello");
    top->setHint(QString()); // empty: neither translated nor recorded
    top->setLines({"First line", "", "Unknown line", "Second line"});
    TTextHolder *deep = holder(top, "deep", "World");
    // Reachable as a child and through two object-valued properties: translated once.
    TTextHolder *shared = holder(deep, "shared", "Shared");
    top->setLeft(shared);
    top->setRight(shared);
    // Not owned by the window, reached only through a property.
    TTextHolder outside;
    outside.setCaption("Hello");
    deep->setLeft(&outside);
    top->writes = 0;
    top->listWrites = 0;
    outside.writes = 0;

    i18n::TranslateComponentTexts(&window);

    EXPECT_EQ(top->Caption(), "Hello in xx");
    EXPECT_EQ(top->Hint(), "");
    EXPECT_EQ(top->objectName(), "holder");
    EXPECT_EQ(window.objectName(), "holder");
    EXPECT_THAT(top->Lines(), ElementsAre("First line in xx", "", "Unknown line", "Second line in xx"));
    EXPECT_EQ(deep->Caption(), "World in xx");
    EXPECT_EQ(shared->Caption(), "Shared in xx");
    EXPECT_EQ(shared->writes, 1);
    EXPECT_EQ(outside.Caption(), "Hello in xx");
    EXPECT_EQ(top->writes, 1);
    EXPECT_EQ(top->listWrites, 1);

    i18n::TTranslationMarker *marker = markerOf(&window);
    ASSERT_NE(marker, nullptr);
    EXPECT_EQ(marker->MarkerLanguage(), "xx");
    EXPECT_EQ(marker->Retranslator()->TextDomain(), "default");
    QStringList recorded;
    for (const i18n::TRetranslatorItem &item : marker->Retranslator()->Items())
        recorded << item.object->objectName() + "." + item.propertyName + "=" + item.value;
    // Breadth first: an object's properties queue what they hold before its children;
    // the unwritable text is skipped.
    EXPECT_THAT(recorded, ElementsAre("holder.Caption=Hello",
                                      "holder.Lines=First line\n\nUnknown line\nSecond line",
                                      "shared.Caption=Shared", "deep.Caption=World",
                                      ".Caption=Hello"));
    EXPECT_EQ(engine().CurrentRetranslator(), nullptr);

    // Twice with the same language: nothing is written, no second marker.
    top->writes = 0;
    top->listWrites = 0;
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(top->writes, 0);
    EXPECT_EQ(top->listWrites, 0);
    EXPECT_EQ(window.findChildren<i18n::TTranslationMarker *>().size(), 1);
}

TEST_F(FormTranslationTest, ChangeOfLanguageRunsTheRetranslatorFromTheRecordedTexts)
{
    QObject window;
    TTextHolder *top = holder(&window, "top", "Hello");
    top->setLines({"First line", "", "Second line"});
    i18n::TranslateComponentTexts(&window, "default");
    EXPECT_EQ(top->Caption(), "Hello in xx");

    i18n::SelectLanguage("yy");
    i18n::TranslateComponentTexts(&window, QString());
    EXPECT_EQ(top->Caption(), "Hello in yy");
    // "Second line" has no yy translation: back to the recorded text, not the xx one.
    EXPECT_THAT(top->Lines(), ElementsAre("First line in yy", "", "Second line"));
    EXPECT_EQ(markerOf(&window)->MarkerLanguage(), "yy");

    // A language without a catalog gives the untranslated window back.
    i18n::SelectLanguage("zz");
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(top->Caption(), "Hello");
    EXPECT_THAT(top->Lines(), ElementsAre("First line", "", "Second line"));
    // Objects created after the first translation are not part of it.
    TTextHolder *later = holder(&window, "later", "Hello");
    i18n::SelectLanguage("xx");
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(top->Caption(), "Hello in xx");
    EXPECT_EQ(later->Caption(), "Hello");
}

TEST_F(FormTranslationTest, FailedWalkLeavesNoMarkerAndGivesTheExactError)
{
    QObject window;
    TTextHolder *top = holder(&window, "top", "Hello");
    i18n::SelectLanguage("bad");
    try {
        i18n::TranslateComponentTexts(&window);
        FAIL() << "no error";
    } catch (const platform::TfError &error) {
        const QString path = m_dir.path() + "/locale/bad/LC_MESSAGES/default.mo";
        EXPECT_EQ(error.message(),
                  "Property cannot be translated.\r\nUse IgnoreClassProperty(TTextHolder,Caption) "
                  "or\r\nIgnoreProperty (self,'.Caption') to prevent this message.\r\nReason: "
                  "The translation for the language code bad (in " + path +
                      ") does not have charset=utf-8 in its Content-Type. Translations are "
                      "turned off.");
    }
    EXPECT_EQ(markerOf(&window), nullptr);
    EXPECT_EQ(engine().CurrentRetranslator(), nullptr);
    // The next call translates from the start.
    i18n::SelectLanguage("xx");
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(top->Caption(), "Hello in xx");
    ASSERT_NE(markerOf(&window), nullptr);
}

TEST_F(FormTranslationTest, RetranslatingAGoneObjectAndAForeignMarkerAreErrors)
{
    QObject window;
    TTextHolder *top = holder(&window, "top", "Hello");
    auto *label = new QLabel("World");
    label->setParent(nullptr);
    top->setLeft(label);
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(label->text(), "World in xx");
    delete label;
    top->setLeft(nullptr);
    i18n::SelectLanguage("yy");
    try {
        i18n::TranslateComponentTexts(&window);
        FAIL() << "no error";
    } catch (const platform::TfError &error) {
        EXPECT_EQ(error.message(),
                  "Property disappeared when retranslating an object of class QLabel.");
    }

    QObject other;
    QObject impostor(&other);
    impostor.setObjectName("TranslationMarker");
    EXPECT_THROW(
        {
            try {
                i18n::TranslateComponentTexts(&other);
            } catch (const platform::TfError &error) {
                EXPECT_EQ(error.message(), "Invalid class typecast");
                throw;
            }
        },
        platform::TfError);
}

TEST_F(FormTranslationTest, IgnoreListsKeepDerivedClassesFirstAndSkipTheirProperties)
{
    QStringList order;
    for (const i18n::TClassIgnoreEntry &entry : engine().ClassIgnores())
        order << QString::fromLatin1(entry.metaClass->className()) + ":" +
                     entry.propertyNames.join(',');
    EXPECT_THAT(order, ElementsAre("QComboBox:CURRENTTEXT", "QLineEdit:TEXT",
                                   "QAction:ICONTEXT,TOOLTIP", "QObject:OBJECTNAME"));
    engine().IgnoreClassProperty(&QWidget::staticMetaObject, "toolTip");
    engine().IgnoreClassProperty(&QLabel::staticMetaObject, "text");
    engine().IgnoreClassProperty(&QLabel::staticMetaObject, "Text");
    engine().IgnoreClassProperty(&TTextHolder::staticMetaObject, "hint");
    order.clear();
    for (const i18n::TClassIgnoreEntry &entry : engine().ClassIgnores())
        order << QString::fromLatin1(entry.metaClass->className());
    // An entry goes before the first entry of an ancestor, so QLabel's before QWidget's.
    EXPECT_THAT(order, ElementsAre("QComboBox", "QLineEdit", "QAction", "QLabel", "QWidget",
                                   "TTextHolder", "QObject"));
    EXPECT_THAT(engine().ClassIgnores()[3].propertyNames, ElementsAre("TEXT"));

    QWidget window;
    auto *label = new QLabel("Hello", &window);
    label->setToolTip("Hello");
    auto *button = new QPushButton("Hello", &window);
    button->setObjectName("btn");
    button->setToolTip("Hello");
    auto *edit = new QLineEdit("Hello", &window);
    auto *combo = new QComboBox(&window);
    combo->addItem("Hello");
    TTextHolder *top = holder(&window, "top", "Hello");
    top->setHint("Hello");
    TTextHolder *skipped = holder(&window, "skipped", "Hello");
    engine().IgnoreProperty(".windowTitle");
    engine().IgnoreProperty("TOP.CAPTION");
    engine().IgnoreProperty("Skipped");
    window.setWindowTitle("Hello");
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(label->text(), "Hello");
    EXPECT_EQ(label->toolTip(), "Hello");
    EXPECT_EQ(button->text(), "Hello in xx");
    EXPECT_EQ(button->toolTip(), "Hello");
    EXPECT_EQ(edit->text(), "Hello");
    EXPECT_EQ(combo->currentText(), "Hello");
    EXPECT_EQ(top->Caption(), "Hello");
    EXPECT_EQ(top->Hint(), "Hello");
    EXPECT_EQ(skipped->Caption(), "Hello");
    EXPECT_EQ(window.windowTitle(), "Hello");

    // The per-call list was emptied by that walk.
    QWidget second;
    second.setWindowTitle("Hello");
    TTextHolder *again = holder(&second, "top", "Hello");
    i18n::TranslateComponentTexts(&second);
    EXPECT_EQ(second.windowTitle(), "Hello in xx");
    EXPECT_EQ(again->Caption(), "Hello in xx");
}

TEST_F(FormTranslationTest, MenuActionsFollowTheirTextThroughAChangeOfLanguage)
{
    QWidget window;
    auto *action = new QAction("Hello", &window);
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(action->text(), "Hello in xx");
    EXPECT_EQ(action->iconText(), "Hello in xx");
    i18n::SelectLanguage("yy");
    i18n::TranslateComponentTexts(&window);
    EXPECT_EQ(action->text(), "Hello in yy");
    EXPECT_EQ(action->iconText(), "Hello in yy");
    EXPECT_EQ(action->toolTip(), "Hello in yy");
}

} // namespace

TF_QT_TEST_MAIN

#include "FormTranslationTest.moc"
