#pragma once

#include "sound/tuner.h"

#include <QWidget>

#include <optional>

namespace fretmap {

// The tuner's needle: a scale of a quarter tone either side of the note,
// the band that counts as in tune at its middle, and the needle where the
// pitch is. No needle without a reading.
class TunerNeedle : public QWidget {
public:
    explicit TunerNeedle(QWidget* parent);

    void setReading(const std::optional<TunerReading>& reading);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<TunerReading> m_reading;
};

} // namespace fretmap
