#pragma once

#include "sound/fingering_notes.h"

#include <optional>
#include <vector>

namespace fretmap {

// The pitch of A4 the tuner and the check measure against, in Hz.
inline constexpr double kDefaultReferencePitch = 440.0;
inline constexpr double kLowestReferencePitch = 430.0;
inline constexpr double kHighestReferencePitch = 450.0;

// Within this many cents of a note, the tuner shows it in tune.
inline constexpr double kInTuneCents = 5.0;

// A pitch as a tuner reads it.
struct TunerReading {
    MidiNote note = 0;     // the nearest note
    double cents = 0.0;    // how far the pitch is from it: + sharp, - flat
    int nearestString = 0; // the open string of standard tuning nearest the pitch, 1 to 6
    bool inTune() const;   // within kInTuneCents
};

// The reading of one pitch against A4 = `referencePitch`. Throws
// std::invalid_argument for a frequency that is not a positive number.
TunerReading readPitch(double frequency, double referencePitch = kDefaultReferencePitch);

// The frequency of `note` against A4 = `referencePitch`.
double noteFrequency(MidiNote note, double referencePitch);

// Steadies successive pitches into a reading that holds still on a steady
// note and follows a note that moves: a pitch must stay near for a while
// before it is taken, and a taken reading moves only when the pitch leaves
// it by more than a small margin.
class Tuner {
public:
    // Throws std::invalid_argument for a pitch outside 430 to 450 Hz.
    void setReferencePitch(double hertz);
    double referencePitch() const { return m_referencePitch; }

    // Takes the current pitch (nothing in silence or noise) at `seconds` of
    // sound; returns the reading to show, nothing while there is none.
    std::optional<TunerReading> update(std::optional<double> frequency, double seconds);

    std::optional<TunerReading> reading() const { return m_reading; }

private:
    struct Heard {
        double seconds;
        double cents; // above A4 = 440 Hz, whatever the reference
    };
    std::optional<double> steadyPitch(double since) const;
    void show();

    double m_referencePitch = kDefaultReferencePitch;
    std::optional<TunerReading> m_reading;
    std::vector<Heard> m_recent;   // the pitches of the last moments, oldest first
    std::optional<double> m_shown; // the pitch the reading shows, in cents above A4 = 440 Hz
    double m_lastHeard = 0.0;      // when the last pitch came
};

} // namespace fretmap
