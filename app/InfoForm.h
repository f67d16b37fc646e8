#pragma once

#include <QDialog>

class QLabel;
class QPushButton;
namespace widgets {
class TPicturePanel;
}

namespace app {

// The modal info dialog: logo, name, version and maker. Created once and shown again and
// again; nothing in it is rebuilt between showings.
class TfrmInfo : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmInfo(QWidget *parent = nullptr);

    void btnOKClick();

    // Controls, named as in the dialog's layout.
    QWidget *Bevel1 = nullptr;
    QLabel *Label1 = nullptr;
    QWidget *Bevel2 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *Label3 = nullptr;
    QWidget *Bevel3 = nullptr;
    QWidget *Bevel4 = nullptr;
    widgets::TPicturePanel *imgLogo = nullptr;
    QPushButton *btn = nullptr;

protected:
    void showEvent(QShowEvent *event) override;

private:
    void FormCreate();
};

} // namespace app
