#pragma once

#include "sound/audio_output.h"

#include <QList>

#include <vector>

// A sound output that keeps what it is asked to play, at a low rate so that
// renders are quick, and counts the stops.
class RecordingOutput : public fretmap::AudioOutput {
public:
    static constexpr int kRate = 8000;

    // `stops`, if given, counts the requests to stop.
    explicit RecordingOutput(QList<std::vector<std::int16_t>>& plays, int* stops = nullptr)
        : m_plays(plays)
        , m_stops(stops)
    {
    }
    int sampleRate() const override { return kRate; }
    std::string play(std::vector<std::int16_t> samples) override
    {
        m_plays << std::move(samples);
        return {};
    }
    void stop() override
    {
        if (m_stops)
            ++*m_stops;
    }
    std::size_t samplesWritten() const override { return 0; }

private:
    QList<std::vector<std::int16_t>>& m_plays;
    int* m_stops;
};
