#pragma once

#include <QComboBox>
#include <QStringList>

namespace widgets {

// A drop-down list whose items are one string-list property, so a translation walk over
// the properties reaches them. A user's pick raises clickPicked then changePicked;
// selecting from code (setItemIndexQuiet) raises neither.
class TComboBox : public QComboBox
{
    Q_OBJECT
    Q_PROPERTY(QStringList Items READ Items WRITE setItems)

public:
    explicit TComboBox(QWidget *parent = nullptr);

    QStringList Items() const;
    void setItems(const QStringList &items);

    // -1 clears the selection; values outside the items do as well.
    void setItemIndexQuiet(int index);

signals:
    void clickPicked();
    void changePicked();

protected:
    // Without the focus the wheel scrolls what lies under the selector, so a notch meant for
    // the window never changes the port or the polarity.
    void wheelEvent(QWheelEvent *event) override;
};

} // namespace widgets
