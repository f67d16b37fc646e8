#pragma once

#include <QDialog>

class TPicturePanel;

// The modal info dialog: logo, name, version and maker.
class TfrmInfo : public QDialog
{
    Q_OBJECT

public:
    explicit TfrmInfo(QWidget *parent = nullptr);

    void btnOKClick();

    // The product logo, 191 x 42.
    static QImage logo();
};
