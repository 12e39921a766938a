// Listens to a recording of the program: raw mono signed 16-bit samples, as
// parec writes them. Used by the check that plays through a real sound
// server.
//
//   fretmap_listen RATE FILE ended SECONDS   a sound began and SECONDS followed
//   fretmap_listen RATE FILE silence         nothing sounds
//   fretmap_listen RATE FILE chord NOTE...   a strum of these notes and no other
//   fretmap_listen RATE FILE strings NOTE... these notes one at a time, in order
//   fretmap_listen RATE FILE chord-after SAMPLE NOTE...
//                                            a strum of these notes and no other,
//                                            struck within a second after SAMPLE
//
// Notes are MIDI numbers. Exits 0 when the recording is so, 1 when not, 2
// for a mistake in the arguments.

#include "sound/pluck.h"
#include "sound/tests/note_analysis.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using namespace fretmap;
using namespace fretmap::listening;

std::vector<std::int16_t> readSamples(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::int16_t> samples(bytes.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(bytes[2 * i])
                                               | (static_cast<unsigned char>(bytes[2 * i + 1]) << 8));
    }
    return samples;
}

bool checkChord(std::span<const std::int16_t> sound, int rate, const std::vector<int>& notes)
{
    if (sound.size() < std::size_t(rate) * 6 / 5) {
        std::cout << "too short a sound\n";
        return false;
    }
    const auto problems = strumProblems(sound.subspan(std::size_t(rate) / 5, std::size_t(rate)), rate, notes);
    for (const std::string& problem : problems)
        std::cout << problem << "\n";
    return problems.empty();
}

bool checkStrings(std::span<const std::int16_t> sound, int rate, const std::vector<int>& notes)
{
    const auto spacing = static_cast<std::size_t>(rate / 2); // half a second between strings
    const auto pitches = stringPitches(sound, rate, spacing, notes.size());
    bool ok = true;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        const double cents = pitches[i] ? centsBetween(*pitches[i], frequencyOf(notes[i])) : 1e9;
        std::cout << "string " << i + 1 << ": " << pitches[i].value_or(0.0) << " Hz, " << cents
                  << " cents from note " << notes[i] << "\n";
        ok = ok && std::abs(cents) < 10.0;
    }
    return ok;
}

// A new sound that starts from its beginning is struck; one picked up
// midway, or held back until the sound before it has played out, is not
// struck in that second.
bool checkChordAfter(std::span<const std::int16_t> samples, int rate, std::size_t from,
                     const std::vector<int>& notes)
{
    const auto frame = static_cast<std::size_t>(rate / 1000);
    for (const std::size_t strike : strikeFrames(samples, rate)) {
        const std::size_t at = strike * frame;
        if (at < from || at > from + std::size_t(rate))
            continue;
        std::cout << "struck at " << double(at) / rate << " s:\n";
        if (checkChord(samples.subspan(at), rate, notes))
            return true;
    }
    std::cout << "no strum of these notes within a second after " << double(from) / rate << " s\n";
    return false;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: fretmap_listen RATE FILE ended SECONDS | silence | chord NOTE... | strings NOTE... | "
                     "chord-after SAMPLE NOTE...\n";
        return 2;
    }
    const int rate = std::stoi(argv[1]);
    const std::vector<std::int16_t> samples = readSamples(argv[2]);
    const std::string what = argv[3];
    std::vector<int> notes;
    for (int i = what == "chord-after" ? 5 : 4; what != "ended" && i < argc; ++i)
        notes.push_back(std::stoi(argv[i]));
    if (what == "chord-after") {
        if (argc < 6) {
            std::cerr << "fretmap_listen: chord-after takes a sample and notes\n";
            return 2;
        }
        return checkChordAfter(samples, rate, std::stoul(argv[4]), notes) ? 0 : 1;
    }

    if (what == "silence") {
        const auto sound = onset(samples);
        if (!sound)
            return 0;
        std::cout << "sound at " << double(*sound) / rate << " s\n";
        return 1;
    }
    // What was asked for begins after at least 5 ms of quiet: a recording
    // can open on the ring of the sound before, which the request cut.
    const auto start = onsetAfterQuiet(samples, static_cast<std::size_t>(rate / 200));
    if (!start) {
        std::cout << "silence\n";
        return 1;
    }
    const auto sound = std::span(samples).subspan(*start);
    if (what == "ended")
        return argc > 4 && double(sound.size()) >= std::stod(argv[4]) * rate ? 0 : 1;
    if (what == "chord")
        return checkChord(sound, rate, notes) ? 0 : 1;
    if (what == "strings")
        return checkStrings(sound, rate, notes) ? 0 : 1;
    std::cerr << "fretmap_listen: unknown check " << what << "\n";
    return 2;
}
