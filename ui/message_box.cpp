#include "ui/message_box.h"

namespace fretmap {

QString withNamesKeptWhole(const QString& text)
{
    constexpr QChar kNonBreakingHyphen{0x2011};
    constexpr QChar kWordJoiner{0x2060};
    const auto joins = [](QChar c) { return c == QLatin1Char('/') || c == QLatin1Char('.'); };
    QString result;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool inName = i + 1 < text.size() && !c.isSpace() && !text.at(i + 1).isSpace();
        result += c == QLatin1Char('-') ? kNonBreakingHyphen : c;
        if (inName && (joins(c) || text.at(i + 1) == QLatin1Char('/')))
            result += kWordJoiner;
    }
    return result;
}

QMessageBox* showMessage(QMessageBox::Icon icon, const QString& title, const QString& text, const QString& objectName,
                         QWidget* parent)
{
    auto* box = new QMessageBox(icon, title, withNamesKeptWhole(text), QMessageBox::Ok, parent);
    box->setObjectName(objectName);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::NonModal);
    box->show();
    return box;
}

} // namespace fretmap
