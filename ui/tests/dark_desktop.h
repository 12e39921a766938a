#pragma once

#include "ui/colour_contrast.h"

#include <QApplication>
#include <QColor>
#include <QPalette>
#include <QStyle>

#include <algorithm>
#include <cmath>

// A dark desktop theme for the life of one test, as dark themes set it:
// the Fusion style with dark window and field colours and light texts. The
// application's own style and palette come back when it goes.
class DarkDesktop {
public:
    DarkDesktop()
        : m_style(QApplication::style()->name())
        , m_palette(QApplication::palette())
    {
        QApplication::setStyle(QStringLiteral("Fusion"));
        QPalette dark = QApplication::palette();
        for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
            dark.setColor(role, QColor(0x2d, 0x2d, 0x2d));
        for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
            dark.setColor(role, QColor(0xee, 0xee, 0xee));
        QApplication::setPalette(dark);
    }
    ~DarkDesktop()
    {
        QApplication::setStyle(m_style);
        QApplication::setPalette(m_palette);
    }
    DarkDesktop(const DarkDesktop&) = delete;
    DarkDesktop& operator=(const DarkDesktop&) = delete;

private:
    QString m_style;
    QPalette m_palette;
};

using fretmap::contrastRatio;
