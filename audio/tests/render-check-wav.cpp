// Writes the sound files that the listening check plays into the sound
// server: C (x32010) played string by string from string 5, as the
// program's own voice renders it, three ways: every string right; string 2
// a fret low (B3 for C4); string 3 35 cents sharp; and strummed once
// downward, 30 ms between strings, with string 2 a fret low; Cm7
// (x35343) strummed right the same way. Prints, a line each,
// the file, the string and when its note is struck, in seconds. Also A4
// alone at 44.1 kHz, a4.wav, for the check of the input's rate.
//
// Usage: fretmap_render_check_wav FOLDER

#include "sound/pluck.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <iostream>
#include <span>
#include <string>
#include <vector>

namespace {

using namespace fretmap;

constexpr int kRate = 48000;
constexpr int kOtherRate = 44100;
constexpr double kLeadIn = 0.3;    // quiet before the first string
constexpr double kSpacing = 1.3;   // between two strings: time for a verdict
constexpr double kDamped = 0.15;   // quiet before the next string: the last one is damped
constexpr double kDampTime = 0.03; // how long the damping takes
constexpr double kSharpCents = 35.0;
constexpr double kStrumGap = 0.03; // between two strings of a strum

struct Strike {
    int string;
    MidiNote note;
    double cents = 0.0; // off equal temperament, sharp when positive
};

// One note alone. Sharp by `cents`: rendered at a rate lower by that much
// and played at the nominal one, which raises every partial alike.
std::vector<std::int16_t> renderNote(const Strike& strike)
{
    const int renderRate = static_cast<int>(std::lround(kRate * std::exp2(-strike.cents / 1200.0)));
    const MidiNote notes[] = {strike.note};
    return renderPluckedNotes(notes, PlayStyle::Chord, renderRate);
}

void writeLittleEndian(std::ofstream& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xffU));
}

bool writeWav(const std::string& path, std::span<const std::int16_t> samples, int rate = kRate)
{
    std::ofstream out(path, std::ios::binary);
    const auto dataBytes = static_cast<std::uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    writeLittleEndian(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    writeLittleEndian(out, 16, 4);
    writeLittleEndian(out, 1, 2); // PCM
    writeLittleEndian(out, 1, 2); // mono
    writeLittleEndian(out, static_cast<std::uint32_t>(rate), 4);
    writeLittleEndian(out, static_cast<std::uint32_t>(rate) * 2, 4);
    writeLittleEndian(out, 2, 2);
    writeLittleEndian(out, 16, 2);
    out.write("data", 4);
    writeLittleEndian(out, dataBytes, 4);
    for (const std::int16_t sample : samples)
        writeLittleEndian(out, static_cast<std::uint16_t>(sample), 2);
    return static_cast<bool>(out);
}

// The strikes one after another, each damped shortly before the next.
bool writeStrikes(const std::string& folder, const std::string& name, const std::vector<Strike>& strikes)
{
    const auto spacing = static_cast<std::size_t>(kSpacing * kRate);
    const auto leadIn = static_cast<std::size_t>(kLeadIn * kRate);
    const auto damped = static_cast<std::size_t>(kDamped * kRate);
    const auto dampTime = static_cast<std::size_t>(kDampTime * kRate);
    std::vector<std::int16_t> sound;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        std::vector<std::int16_t> note = renderNote(strikes[i]);
        const bool last = i + 1 == strikes.size();
        const std::size_t length = last ? note.size() : std::min(note.size(), spacing - damped);
        for (std::size_t n = 0; n < dampTime && n < length && !last; ++n) {
            auto& sample = note[length - 1 - n];
            sample = static_cast<std::int16_t>(sample * double(n) / double(dampTime));
        }
        const std::size_t start = leadIn + i * spacing;
        sound.resize(std::max(sound.size(), start + length), 0);
        std::copy_n(note.begin(), length, sound.begin() + static_cast<std::ptrdiff_t>(start));
        std::cout << name << ' ' << strikes[i].string << ' ' << double(start) / kRate << '\n';
    }
    return writeWav(folder + "/" + name, sound);
}

// The strikes strummed downward, kStrumGap apart, all left ringing.
bool writeStrum(const std::string& folder, const std::string& name, const std::vector<Strike>& strikes)
{
    const auto leadIn = static_cast<std::size_t>(kLeadIn * kRate);
    const auto gap = static_cast<std::size_t>(kStrumGap * kRate);
    std::vector<std::int16_t> sound;
    for (std::size_t i = 0; i < strikes.size(); ++i) {
        const std::vector<std::int16_t> note = renderNote(strikes[i]);
        const std::size_t start = leadIn + i * gap;
        sound.resize(std::max(sound.size(), start + note.size()), 0);
        for (std::size_t n = 0; n < note.size(); ++n) {
            auto& sample = sound[start + n];
            sample = static_cast<std::int16_t>(std::clamp(int(sample) + int(note[n]) / 2, -32768, 32767));
        }
        std::cout << name << ' ' << strikes[i].string << ' ' << double(start) / kRate << '\n';
    }
    return writeWav(folder + "/" + name, sound);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::cerr << "usage: fretmap_render_check_wav FOLDER\n";
        return 2;
    }
    const std::string folder = std::span(argv, 2)[1];
    // C as the board shows it: strings 5 to 1, C3 E3 G3 C4 E4.
    const std::vector<Strike> right{{5, 48}, {4, 52}, {3, 55}, {2, 60}, {1, 64}};
    std::vector<Strike> fretLow = right;
    fretLow[3].note = 59; // string 2 open: B3
    std::vector<Strike> sharp = right;
    sharp[2].cents = kSharpCents;
    // Cm7 as the board shows it at base fret 3: C3 G3 Bb3 Eb4 G4.
    const std::vector<Strike> cm7{{5, 48}, {4, 55}, {3, 58}, {2, 63}, {1, 67}};
    const MidiNote a4[] = {69};
    const bool written = writeWav(folder + "/a4.wav", renderPluckedNotes(a4, PlayStyle::Chord, kOtherRate), kOtherRate)
        && writeStrikes(folder, "right.wav", right) && writeStrikes(folder, "fret-low.wav", fretLow)
        && writeStrikes(folder, "sharp.wav", sharp) && writeStrum(folder, "strum-fret-low.wav", fretLow)
        && writeStrum(folder, "strum-cm7.wav", cm7);
    if (!written) {
        std::cerr << "fretmap_render_check_wav: cannot write in " << folder << '\n';
        return 1;
    }
    return 0;
}
