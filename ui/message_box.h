#pragma once

#include <QMessageBox>
#include <QString>

namespace fretmap {

// `text` with its lines to be broken at spaces only: a word-wrapped label
// otherwise breaks after a hyphen, a slash or a dot, and cuts a package,
// program or file name in two ("pipewire-" / "pulse"). It reads the same:
// a hyphen becomes a non-breaking hyphen, and a slash inside a name is held
// to its neighbours, and a dot to the next, by word joiners, which show as
// nothing. For the screen only: a screen reader gets the plain text.
QString withNamesKeptWhole(const QString& text);

// A message that blocks no window: shown beside them, and deleted when it
// is closed. Its text breaks across lines only at spaces.
QMessageBox* showMessage(QMessageBox::Icon icon, const QString& title, const QString& text, const QString& objectName,
                         QWidget* parent = nullptr);

} // namespace fretmap
