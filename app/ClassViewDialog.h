#pragma once

#include <QDialog>

class QLabel;

namespace widgets {
class QrCode;
}

namespace app {

// "Klassenansicht": the address the pupils join, as a large QR code and as text.
class ClassViewDialog : public QDialog
{
    Q_OBJECT

public:
    explicit ClassViewDialog(QWidget *parent = nullptr);

    // Empty: the class view is off.
    void setUrl(const QString &url);
    QString url() const { return m_url; }
    widgets::QrCode *qrCode() const { return m_qr; }

private:
    QString m_url;
    widgets::QrCode *m_qr = nullptr;
    QLabel *m_text = nullptr;
};

} // namespace app
