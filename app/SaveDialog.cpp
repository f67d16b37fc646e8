#include "app/SaveDialog.h"

#include <QFileInfo>
#include <QMessageBox>

namespace app {

TSaveDialog::TSaveDialog(QWidget *parent) : QFileDialog(parent) {}

void TSaveDialog::accept()
{
    const QString chosen = selectedFiles().value(0);
    if (!chosen.isEmpty()) {
        const QFileInfo file(chosen);
        const QString folder = file.absolutePath();
        if (!file.isDir() && !QFileInfo(folder).isDir()) {
            // The toolkit's own text for a missing folder, so that its catalog translates it.
            QMessageBox::warning(this, windowTitle(),
                                 QFileDialog::tr("%1\nDirectory not found.\nPlease verify the "
                                                 "correct directory name was given.")
                                     .arg(folder));
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace app
