#include "app/InfoForm.h"

#include "app/ExceptionHandler.h"
#include "i18n/Translation.h"
#include "protocol/ProtocolExport.h"
#include "widgets/PicturePanel.h"

#include "assets/Pictures.h"
#include "Version.h"
#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>

namespace app {

namespace {

// A bevel of which only the top edge is drawn: a sunken line across the box's width.
class TopLine : public QWidget
{
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::Dark));
        painter.drawLine(0, 0, width() - 1, 0);
        painter.setPen(palette().color(QPalette::Light));
        painter.drawLine(0, 1, width() - 1, 1);
    }
};

QWidget *bevel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *line = new TopLine(parent);
    line->setObjectName(QLatin1StringView(name));
    line->setGeometry(geometry);
    return line;
}

QLabel *label(QWidget *parent, const char *name, const QRect &geometry, const QString &text,
              const QString &family = {}, int pixelSize = 0)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1StringView(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    if (!family.isEmpty()) {
        QFont font(family);
        font.setPixelSize(pixelSize);
        font.setBold(true);
        l->setFont(font);
    }
    return l;
}

} // namespace

TfrmInfo::TfrmInfo(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmInfo"));
    setWindowTitle(QStringLiteral("Info"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPixelSize(11);
    setFont(font);
    setFixedSize(307, 352);

    Bevel1 = bevel(this, "Bevel1", {4, 272, 297, 9});
    Label1 = label(this, "Label1", {4, 68, 297, 25}, QStringLiteral("Tachoflux"),
                   QStringLiteral("Arial"), 21);
    Bevel2 = bevel(this, "Bevel2", {4, 96, 297, 9});
    Label2 = label(this, "Label2", {4, 100, 301, 13}, QStringLiteral("Version " TACHOFLUX_VERSION));
    Label3 = label(this, "Label3", {4, 116, 297, 21}, QString::fromLatin1(protocol::MakersMark),
                   QStringLiteral("Arial"), 16);
    Bevel3 = bevel(this, "Bevel3", {4, 136, 297, 9});
    Bevel4 = bevel(this, "Bevel4", {4, 312, 297, 9});

    imgLogo = new widgets::TPicturePanel(this);
    imgLogo->setObjectName(QStringLiteral("imgLogo"));
    imgLogo->setGeometry(4, 4, 297, 57);
    imgLogo->setBitmapAlign(widgets::picpanel::paTopLeft);
    imgLogo->setScaleMode(widgets::picpanel::psStretch);
    imgLogo->setStretchFilter(widgets::picpanel::rfSpline);
    assets::usePictures();
    imgLogo->loadBitmap(QStringLiteral(":/pictures/logo.pic"));
    imgLogo->loaded();
    imgLogo->setAccessibleName(QString::fromLatin1(protocol::MakersMark));

    // The toolkit's own OK button: its caption and icon as every other dialog shows them.
    btn = new QPushButton(this);
    btn->setObjectName(QStringLiteral("btn"));
    {
        QDialogButtonBox standard(QDialogButtonBox::Ok);
        btn->setText(standard.button(QDialogButtonBox::Ok)->text());
    }
    btn->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton, nullptr, btn));
    btn->setGeometry(196, 320, 109, 25);
    btn->setDefault(true);
    btn->setAutoDefault(true);
    connect(btn, &QPushButton::clicked, this, &TfrmInfo::btnOKClick);

    setTabOrder(imgLogo, btn);
    FormCreate();
}

void TfrmInfo::FormCreate()
{
    // The dialog's creation step; its texts are translated here.
    app::guarded([this] { i18n::TranslateComponentTexts(this, QString()); });
}

void TfrmInfo::btnOKClick()
{
    accept();
}

void TfrmInfo::showEvent(QShowEvent *event)
{
    // Centred on the main window every time, wherever that has been moved.
    if (QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr) {
        QRect frame = frameGeometry();
        frame.moveCenter(owner->frameGeometry().center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

} // namespace app
