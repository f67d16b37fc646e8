#include "app/MainForm.h"
#include "platform/Locale.h"
#include "support/ConfigFolder.h"
#include "support/FakeLines.h"
#include "support/FixedLocale.h"
#include "support/Installed.h"
#include "support/MessagesRecorded.h"
#include "app/ExceptionHandler.h"
#include "widgets/ComboBox.h"
#include "widgets/FloatSpinEdit.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>

namespace {

struct LocaleCase
{
    const char *name;
    platform::FixedLocale locale;
};

void PrintTo(const LocaleCase &c, std::ostream *out)
{
    *out << c.name;
}

class DistanceField : public ::testing::TestWithParam<LocaleCase>
{
protected:
    void SetUp() override
    {
        locale = GetParam().locale;
        form = std::make_unique<app::TForm1>(lines);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
    }

    // German notation with the locale's separator.
    QString local(QString text) const { return text.replace(u',', locale.decimalSeparator()); }

    // Sets the field as if typed and taken, then selects all and types `keys` (a "⌫"
    // deletes), presses Enter and lets the message come.
    void typeOver(const QString &start, const QString &keys)
    {
        form->edtM->setFocus();
        form->edtM->setValue(local(start).replace(locale.decimalSeparator(), u'.').toDouble());
        form->edtM->selectAll();
        for (QChar c : keys) {
            if (c == u'⌫')
                QTest::keyClick(form->edtM, Qt::Key_Backspace);
            else
                QTest::keyClick(form->edtM, c.toLatin1());
        }
        QTest::keyClick(form->edtM, Qt::Key_Return);
        QCoreApplication::sendPostedEvents(form->edtM);
    }

    QString lastRowText(int column) const
    {
        const QAbstractItemModel &rows = *form->Prot->model();
        return rows.index(rows.rowCount() - 1, column).data().toString();
    }

    ConfigFolder config;
    FakeLines lines;
    platform::FixedLocale locale = platform::FixedLocale::german();
    LocaleInstalled localeInstalled{locale};
    QStringList messages;
    MessagesRecorded recorded{messages};
    std::unique_ptr<app::TForm1> form;
};

// What is typed is taken as meant or refused with the reason, and the protocol gets only a
// distance that was taken.
TEST_P(DistanceField, TypedDistancesAreTakenAsMeantOrRefused)
{
    const QString more = QStringLiteral("Die Entfernung muss größer als 0 m sein; sie bleibt %1 m.");
    const QString number = QStringLiteral("Die Entfernung muss eine Zahl sein; sie bleibt %1 m.");
    const QString most =
        QStringLiteral("Die Entfernung darf höchstens 1000 m betragen; sie bleibt %1 m.");
    const struct
    {
        const char *start;
        const char *keys; // "," is the locale's separator, "." a typed point
        const char *shown;
        QString message; // %1: the distance kept
    } rows[] = {
        {"0,150", "1.25", "1,250", {}},
        {"0,125", ",5", "0,500", {}},
        {"0,300", ",75", "0,750", {}},
        {"0,150", "2", "2,000", {}},
        {"0,150", "0.5", "0,500", {}},
        {"0,150", "1e3", "1000,000", {}},
        {"0,150", "1000", "1000,000", {}},
        {"0,150", "a", "0,150", {}},
        {"0,150", "-1", "0,150", more},
        {"0,150", "0", "0,150", more},
        {"0,150", ",0", "0,150", more},
        {"0,150", "⌫", "0,150", number},
        {"0,150", "-", "0,150", number},
        {"0,150", "1e", "0,150", number},
        {"0,150", "99999999", "0,150", most},
        {"0,150", "12345678901234567890", "0,150", most},
        {"0,150", "1000,001", "0,150", most},
        {"0,150", "1e4", "0,150", most},
        {"2,500", "-5", "2,500", more},
    };
    for (const auto &row : rows) {
        SCOPED_TRACE(row.keys);
        messages.clear();
        typeOver(QString::fromUtf8(row.start), local(QString::fromUtf8(row.keys)));
        const QString shown = local(QString::fromUtf8(row.shown));
        EXPECT_EQ(form->edtM->text().toStdString(), shown.toStdString());
        const QString expected = row.message.isEmpty() ? QString() : row.message.arg(shown);
        EXPECT_EQ(messages.join(u'\n').toStdString(), expected.toStdString());

        form->DoContact1(0);
        form->DoContact2(10000);
        EXPECT_EQ(lastRowText(2).toStdString(), (shown + " m").toStdString());
        EXPECT_EQ(lastRowText(3).toStdString(), (shown + " m/s").toStdString());
    }
}

// While the text is half typed or refused, a run and a close use the distance last taken.
TEST_P(DistanceField, ARefusedOrHalfTypedTextNeverReachesTheProtocolOrTheSettings)
{
    for (const char *keys : {"-", "0", ""}) {
        SCOPED_TRACE(keys);
        form->edtM->setFocus();
        form->edtM->selectAll();
        if (*keys)
            QTest::keyClicks(form->edtM, keys);
        else
            QTest::keyClick(form->edtM, Qt::Key_Delete);
        EXPECT_NE(form->edtM->text(), local("0,150"));
        form->DoContact1(0);
        form->DoContact2(10000);
        EXPECT_EQ(lastRowText(2), local("0,150 m"));
    }
    form->close();
    form = std::make_unique<app::TForm1>(lines);
    EXPECT_EQ(form->edtM->text(), local("0,150"));
}

// A wheel notch over an unfocused selector scrolls on; with the focus it picks.
TEST_P(DistanceField, SelectorsTakeTheWheelOnlyWithTheFocus)
{
    for (widgets::TComboBox *selector : {form->cmbPort, form->cmbAlg}) {
        SCOPED_TRACE(selector->objectName().toStdString());
        form->edtM->setFocus();
        const int before = selector->currentIndex();
        const auto notch = [selector] {
            QWheelEvent event(QPointF(5, 5), selector->mapToGlobal(QPointF(5, 5)), {},
                              QPoint(0, -120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase,
                              false);
            QApplication::sendEvent(selector, &event);
            return event.isAccepted();
        };
        EXPECT_EQ(selector->focusPolicy(), Qt::StrongFocus);
        int picked = 0;
        const QMetaObject::Connection counting =
            QObject::connect(selector, &widgets::TComboBox::changePicked, [&picked] { ++picked; });
        EXPECT_FALSE(notch());
        EXPECT_EQ(selector->currentIndex(), before);
        EXPECT_EQ(picked, 0);
        selector->setFocus();
        notch();
        EXPECT_EQ(picked, 1);
        QObject::disconnect(counting);
    }
}

INSTANTIATE_TEST_SUITE_P(Locales, DistanceField,
                         ::testing::Values(LocaleCase{"German", platform::FixedLocale::german()},
                                           LocaleCase{"English", platform::FixedLocale::english()}),
                         [](const auto &p) { return std::string(p.param.name); });

} // namespace

// The program's own application: an error raised in a handler reaches its default handler.
int main(int argc, char **argv)
{
    if (qgetenv("QT_QPA_PLATFORM").isEmpty())
        qputenv("QT_QPA_PLATFORM", "offscreen");
    app::TApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
