#pragma once

#include <QImage>
#include <QWidget>

// A white panel that shows a picture centred and carries child widgets (the lamps).
class TPicturePanel : public QWidget
{
    Q_OBJECT

public:
    explicit TPicturePanel(QWidget *parent = nullptr);

    void setPicture(const QImage &picture);
    QImage picture() const { return m_picture; }

    void loaded() {}

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QImage m_picture;
};
