#pragma once

#include <QFileDialog>

namespace app {

// The export's save dialog: besides what the toolkit's dialog checks, the folder of the
// chosen file must exist; otherwise the dialog says so and stays open.
class TSaveDialog : public QFileDialog
{
    Q_OBJECT

public:
    explicit TSaveDialog(QWidget *parent = nullptr);

    void accept() override;
};

} // namespace app
