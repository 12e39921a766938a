#pragma once

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

// WCAG's contrast ratio of two colours, from 1 (none) to 21.
inline double contrastRatio(const QColor& a, const QColor& b)
{
    const auto luminance = [](const QColor& c) {
        const auto linear = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
        return 0.2126 * linear(c.redF()) + 0.7152 * linear(c.greenF()) + 0.0722 * linear(c.blueF());
    };
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}
