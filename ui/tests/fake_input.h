#pragma once

#include "sound/audio_input.h"
#include "sound/pluck.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <span>
#include <string>
#include <vector>

// What a test's inputs saw: how many were opened and closed, the names they
// were opened with, and how often they were asked for samples.
struct InputLog {
    int opened = 0;
    int closed = 0;
    int takes = 0;
    std::vector<std::string> names;
};

// A microphone that plays a prepared sound, then silence: each take hands
// out the next few blocks of 10 ms, as a record stream's fragments arrive.
// It can stop, as a stream does when its input is removed.
class FakeInput : public fretmap::AudioInput {
public:
    static constexpr int kRate = 48000;
    static constexpr std::size_t kBlock = kRate / 100;

    FakeInput(std::vector<float> sound, InputLog& log, std::size_t blocksPerTake = 4)
        : m_sound(std::move(sound))
        , m_log(log)
        , m_blocksPerTake(blocksPerTake)
    {
        ++m_log.opened;
    }
    ~FakeInput() override { ++m_log.closed; }
    FakeInput(const FakeInput&) = delete;
    FakeInput& operator=(const FakeInput&) = delete;

    // After `samples` samples, the stream stops with `why`.
    void stopAfter(std::size_t samples, std::string why)
    {
        m_stopAt = samples;
        m_why = std::move(why);
    }
    void setDescription(std::string description) { m_description = std::move(description); }

    int sampleRate() const override { return kRate; }
    std::string description() const override { return m_description; }
    std::string take(std::vector<float>& samples) override
    {
        ++m_log.takes;
        if (m_position >= m_stopAt)
            return m_why;
        const std::size_t count = std::min(kBlock * m_blocksPerTake, m_stopAt - m_position);
        for (std::size_t n = 0; n < count; ++n, ++m_position)
            samples.push_back(m_position < m_sound.size() ? m_sound[m_position] : 0.0F);
        return m_position >= m_stopAt ? m_why : std::string();
    }

private:
    std::vector<float> m_sound;
    InputLog& m_log;
    std::size_t m_blocksPerTake;
    std::size_t m_position = 0;
    std::size_t m_stopAt = static_cast<std::size_t>(-1);
    std::string m_why;
    std::string m_description = "Fake microphone";
};

// One string plucked and let ring for `seconds`, then damped over 5 ms:
// the program's own voice, `cents` off its note. Rendered at a rate that
// much lower and heard at FakeInput's, the string sounds that much higher.
inline std::vector<float> pluckedString(fretmap::MidiNote note, double cents = 0.0, double seconds = 1.0)
{
    const int renderRate = static_cast<int>(std::lround(FakeInput::kRate / std::exp2(cents / 1200.0)));
    const fretmap::MidiNote notes[] = {note};
    const std::vector<std::int16_t> rendered = fretmap::renderPluckedNotes(notes, fretmap::PlayStyle::Chord, renderRate);
    const auto length = std::min(rendered.size(), static_cast<std::size_t>(seconds * FakeInput::kRate));
    const std::size_t fade = FakeInput::kRate / 200;
    std::vector<float> sound(length);
    for (std::size_t n = 0; n < length; ++n) {
        const double gain = n + fade > length ? static_cast<double>(length - n) / fade : 1.0;
        sound[n] = static_cast<float>(rendered[n] / 32768.0 * gain);
    }
    return sound;
}

// A steady tone of `hertz` with a few harmonics, as a bowed or sustained
// string gives, for `seconds`.
inline std::vector<float> steadyTone(double hertz, double seconds)
{
    std::vector<float> sound(static_cast<std::size_t>(seconds * FakeInput::kRate));
    for (std::size_t n = 0; n < sound.size(); ++n) {
        const double t = static_cast<double>(n) / FakeInput::kRate;
        double value = 0.0;
        for (int partial = 1; partial <= 4; ++partial)
            value += std::sin(2.0 * std::numbers::pi * hertz * partial * t) / partial;
        sound[n] = static_cast<float>(0.3 * value);
    }
    return sound;
}

inline std::vector<float> silence(double seconds)
{
    return std::vector<float>(static_cast<std::size_t>(seconds * FakeInput::kRate), 0.0F);
}

inline std::vector<float> joined(std::initializer_list<std::vector<float>> parts)
{
    std::vector<float> sound;
    for (const auto& part : parts)
        sound.insert(sound.end(), part.begin(), part.end());
    return sound;
}
