#include "tuner_needle.h"

#include <QPainter>

#include <algorithm>

namespace fretmap {

namespace {

// The needle's scale, either side of the note, in cents.
constexpr double kNeedleRange = 50.0;

} // namespace

TunerNeedle::TunerNeedle(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("tunerNeedle"));
    setAccessibleName(QStringLiteral("Tuning needle"));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
}

void TunerNeedle::setReading(const std::optional<TunerReading>& reading)
{
    const auto place = [](const std::optional<TunerReading>& r) {
        return r ? std::optional<double>(std::clamp(r->cents, -kNeedleRange, kNeedleRange)) : std::nullopt;
    };
    if (place(reading) == place(m_reading))
        return;
    m_reading = reading;
    update();
}

QSize TunerNeedle::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    return {metrics.averageCharWidth() * 40, metrics.lineSpacing() * 3};
}

void TunerNeedle::paintEvent(QPaintEvent* /*event*/)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics = fontMetrics();
    const int margin = metrics.horizontalAdvance(QStringLiteral("\u266D ")) + 2;
    const double left = margin;
    const double width = this->width() - 2.0 * margin;
    const auto x = [&](double cents) { return left + width * (cents + kNeedleRange) / (2.0 * kNeedleRange); };
    const QColor ink = palette().color(QPalette::WindowText);
    const double top = 2.0;
    const double bottom = height() - 2.0;
    const double scaleY = bottom - metrics.lineSpacing() * 0.5;

    // The in-tune band, in the palette's colours, so it reads in any theme.
    painter.fillRect(QRectF(x(-kInTuneCents), top, x(kInTuneCents) - x(-kInTuneCents), bottom - top),
                     palette().color(QPalette::Midlight));
    painter.setPen(QPen(ink, 1.0));
    painter.drawLine(QPointF(x(-kNeedleRange), scaleY), QPointF(x(kNeedleRange), scaleY));
    for (int cents = -50; cents <= 50; cents += 10) {
        const double tick = scaleY - metrics.lineSpacing() * (cents == 0 ? 0.7 : 0.4);
        painter.drawLine(QPointF(x(cents), tick), QPointF(x(cents), scaleY));
    }
    painter.drawText(QRectF(0, scaleY - metrics.lineSpacing(), margin, 2.0 * metrics.lineSpacing()),
                     Qt::AlignCenter, QStringLiteral("\u266D"));
    painter.drawText(QRectF(width + margin, scaleY - metrics.lineSpacing(), margin, 2.0 * metrics.lineSpacing()),
                     Qt::AlignCenter, QStringLiteral("\u266F"));
    if (!m_reading)
        return;
    const double at = x(std::clamp(m_reading->cents, -kNeedleRange, kNeedleRange));
    painter.setPen(QPen(palette().color(QPalette::Highlight), std::max(3.0, metrics.lineSpacing() / 5.0),
                        Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(at, top + 2.0), QPointF(at, bottom));
}

} // namespace fretmap
