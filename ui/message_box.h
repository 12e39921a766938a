#pragma once

#include <QMessageBox>
#include <QString>

namespace fretmap {

// A message that blocks no window: shown beside them, and deleted when it
// is closed.
inline QMessageBox* showMessage(QMessageBox::Icon icon, const QString& title, const QString& text,
                                const QString& objectName, QWidget* parent = nullptr)
{
    auto* box = new QMessageBox(icon, title, text, QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace fretmap
