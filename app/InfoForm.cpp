#include "app/InfoForm.h"

#include "app/ExceptionHandler.h"
#include "i18n/Translation.h"
#include "timing/ProtocolExport.h"
#include "widgets/PicturePanel.h"

#include <QFrame>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>

namespace {

QLabel *label(QWidget *parent, const char *name, const QRect &geometry, const QString &text,
              const QString &family = {}, int pixelSize = 0, bool bold = false)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1StringView(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    if (!family.isEmpty()) {
        QFont font(family);
        font.setPixelSize(pixelSize);
        font.setBold(bold);
        l->setFont(font);
    }
    return l;
}

void bevel(QWidget *parent, const char *name, const QRect &geometry)
{
    // Only the top edge of the bevel's box is drawn.
    auto *line = new QFrame(parent);
    line->setObjectName(QLatin1StringView(name));
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry.x(), geometry.y(), geometry.width(), 2);
}

} // namespace

TfrmInfo::TfrmInfo(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Info"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                   | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(307, 352);

    bevel(this, "Bevel1", {4, 272, 297, 9});
    label(this, "Label1", {4, 68, 297, 25}, QStringLiteral("Tachoflux"), QStringLiteral("Arial"), 21, true);
    bevel(this, "Bevel2", {4, 96, 297, 9});
    label(this, "Label2", {4, 100, 301, 13}, QStringLiteral("Version 1.02"));
    label(this, "Label3", {4, 116, 297, 21}, QString::fromLatin1(timing::MakersMark),
          QStringLiteral("Arial"), 16, true);
    bevel(this, "Bevel3", {4, 136, 297, 9});
    bevel(this, "Bevel4", {4, 312, 297, 9});

    auto *imgLogo = new TPicturePanel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(4, 4, 297, 57);
    imgLogo->setPicture(logo().scaled(297, 57, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));

    auto *btn = new QPushButton(QStringLiteral("OK"), this);
    btn->setObjectName(QStringLiteral("btn"));
    btn->setGeometry(196, 320, 109, 25);
    btn->setDefault(true);
    connect(btn, &QPushButton::clicked, this, &TfrmInfo::btnOKClick);

    app::guarded([this] { TranslateComponentTexts(this, QString()); });
}

void TfrmInfo::btnOKClick()
{
    accept();
}

QImage TfrmInfo::logo()
{
    QImage image(191, 42, QImage::Format_ARGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 191, 42);
    gradient.setColorAt(0, QColor(0, 40, 0));
    gradient.setColorAt(1, QColor(0, 0, 0));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(QColor(0, 255, 0));
    QFont font(QStringLiteral("Sans Serif"));
    font.setPixelSize(26);
    font.setBold(true);
    font.setItalic(true);
    painter.setFont(font);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Tachoflux"));
    return image;
}
