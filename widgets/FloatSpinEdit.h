#pragma once

#include <QDoubleSpinBox>

// The distance field: a real value shown with three decimals and the user's decimal
// separator, stepped by 0.01.
class TFloatSpinEdit : public QDoubleSpinBox
{
    Q_OBJECT
    Q_PROPERTY(double Value READ Value WRITE setValue_)

public:
    explicit TFloatSpinEdit(QWidget *parent = nullptr);

    double Value() const { return value(); }
    void setValue_(double value) { setValue(value); }

    void loaded() {}

protected:
    QString textFromValue(double value) const override;
    double valueFromText(const QString &text) const override;
    QValidator::State validate(QString &input, int &pos) const override;
};
