#include "app/ClassViewDialog.h"

#include "widgets/QrCode.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {

ClassViewDialog::ClassViewDialog(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ClassViewDialog"));
    setWindowTitle(QStringLiteral("Klassenansicht"));
    auto *layout = new QVBoxLayout(this);
    m_qr = new widgets::QrCode(this);
    m_qr->setMinimumSize(320, 320);
    layout->addWidget(m_qr, 1);
    m_text = new QLabel(this);
    m_text->setObjectName(QStringLiteral("lblClassViewUrl"));
    m_text->setAlignment(Qt::AlignCenter);
    m_text->setTextInteractionFlags(Qt::TextBrowserInteraction);
    m_text->setOpenExternalLinks(true);
    QFont big = m_text->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    m_text->setFont(big);
    layout->addWidget(m_text);
    auto *close = new QPushButton(QStringLiteral("Schließen"), this);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(close, 0, Qt::AlignRight);
}

void ClassViewDialog::setUrl(const QString &url)
{
    m_url = url;
    m_qr->setText(url);
    m_text->setText(url.isEmpty() ? QStringLiteral("Die Klassenansicht ist ausgeschaltet.")
                                  : QStringLiteral("<a href=\"%1\">%1</a>").arg(url.toHtmlEscaped()));
}

} // namespace app
