#include "widgets/FloatSpinEdit.h"

#include "platform/Locale.h"

#include <QLocale>

TFloatSpinEdit::TFloatSpinEdit(QWidget *parent) : QDoubleSpinBox(parent)
{
    setDecimals(3);
    setSingleStep(0.01);
    setRange(-1e12, 1e12);
    setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setValue(0.15);
}

QString TFloatSpinEdit::textFromValue(double value) const
{
    QString text = QString::number(value, 'f', 3);
    text.replace(u'.', platform::locale().decimalSeparator());
    return text;
}

double TFloatSpinEdit::valueFromText(const QString &text) const
{
    QString plain = text.trimmed();
    plain.replace(platform::locale().decimalSeparator(), u'.');
    return plain.toDouble();
}

QValidator::State TFloatSpinEdit::validate(QString &input, int &) const
{
    QString plain = input.trimmed();
    if (plain.isEmpty() || plain == u"-")
        return QValidator::Intermediate;
    plain.replace(platform::locale().decimalSeparator(), u'.');
    bool ok = false;
    plain.toDouble(&ok);
    return ok ? QValidator::Acceptable : QValidator::Invalid;
}
