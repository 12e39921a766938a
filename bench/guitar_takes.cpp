#include "bench/guitar_takes.h"

#include "sound/chord_check.h"
#include "sound/listen_session.h"
#include "sound/note_listener.h"
#include "sound/strum_check.h"
#include "sound/tuner.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <numbers>
#include <sstream>
#include <stdexcept>

namespace fretmap::bench {
namespace {

template <typename T>
T readLittle(const char* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// What the window does with an input: the listening session fed in 10 ms
// blocks, as a sound server hands them over.
class Replay {
public:
    Replay(int rate, const std::optional<FretboardState>& state)
    {
        m_session.start(rate);
        if (state)
            m_session.setBoard(BoardContent::Chord, *state);
    }

    // Feeds one block; returns the strings judged in it.
    std::vector<int> step(std::span<const float> samples)
    {
        const auto before = m_session.check().strings();
        m_session.feed(samples);
        std::vector<int> judged;
        for (std::size_t i = kStringCount; i-- > 0;) {
            if (before[i].status != StringStatus::Judged && m_session.check().strings()[i].status == StringStatus::Judged)
                judged.push_back(int(i) + 1);
        }
        return judged;
    }

    double seconds() const { return m_session.seconds(); }
    const ChordCheck& check() const { return m_session.check(); }
    const std::optional<StrumStrings>& strum() const { return m_session.strum(); }
    std::optional<TunerReading> reading() const { return m_session.tunerReading(); }

private:
    ListenSession m_session;
};

// The strength of the fundamental near `hertz` over a long stretch of a
// clean take: the peak of its Hann-windowed spectrum, found on a fine grid.
// Independent of the analysis, so that it tells the voice's own pitch.
double ownPitch(std::span<const float> stretch, int rate, double hertz)
{
    std::vector<double> window(stretch.size());
    for (std::size_t i = 0; i < stretch.size(); ++i)
        window[i] = stretch[i] * (0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(stretch.size())));
    const auto strength = [&](double f) {
        const double w = 2.0 * std::numbers::pi * f / rate;
        double re = 0.0;
        double im = 0.0;
        for (std::size_t i = 0; i < window.size(); ++i) {
            re += window[i] * std::cos(w * double(i));
            im -= window[i] * std::sin(w * double(i));
        }
        return re * re + im * im;
    };
    double best = hertz;
    double bestStrength = -1.0;
    for (double step : {1.0, 0.05}) {
        const double centre = best;
        for (double c = -20.0 * step * (step < 1.0 ? 1.0 : 3.0); c <= 20.0 * step * (step < 1.0 ? 1.0 : 3.0); c += step) {
            const double f = centre * std::exp2(c / 1200.0);
            const double s = strength(f);
            if (s > bestStrength) {
                bestStrength = s;
                best = f;
            }
        }
    }
    return best;
}

// Whether the verdict is the one that what was struck deserves: the kind,
// and the frets or the side of the cents.
bool deserved(const Verdict& verdict, MidiNote wanted, const Strike& strike)
{
    const int frets = strike.note - wanted;
    if (frets != 0)
        return verdict.kind == VerdictKind::WrongFret && verdict.frets == frets;
    if (std::abs(strike.cents) >= kRightCents)
        return verdict.kind == VerdictKind::OutOfTune && (verdict.cents > 0) == (strike.cents > 0);
    return verdict.kind == VerdictKind::Right;
}

struct Tally {
    int right = 0;
    int verdicts = 0;
    int belowOpen = 0;
    int tunerNotes = 0;
    int tunerWithin2 = 0;
    int tunerFar = 0;  // a semitone or more away at some moment of the note
    int tunerOpen = 0; // of the notes, open strings
    int tunerOpenWithin2 = 0;
    std::vector<double> latencies;

    void add(const Tally& other)
    {
        right += other.right;
        verdicts += other.verdicts;
        belowOpen += other.belowOpen;
        tunerNotes += other.tunerNotes;
        tunerWithin2 += other.tunerWithin2;
        tunerFar += other.tunerFar;
        tunerOpen += other.tunerOpen;
        tunerOpenWithin2 += other.tunerOpenWithin2;
        latencies.insert(latencies.end(), other.latencies.begin(), other.latencies.end());
    }
};

double percent(int part, int whole)
{
    return whole > 0 ? 100.0 * part / whole : 0.0;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// A state that gives exactly the wanted notes: open strings as such, the
// others as cells from a base fret of 1 where they fit, else shifted.
FretboardState stateFor(const Take& take)
{
    FretboardState state;
    int lowest = 99;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (take.wanted[i] && *take.wanted[i] != kOpenStringNotes[i])
            lowest = std::min(lowest, *take.wanted[i] - kOpenStringNotes[i]);
    }
    state.baseFret = std::int16_t(lowest == 99 ? 1 : lowest);
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!take.wanted[i])
            state.strings[i] = kMutedString;
        else if (*take.wanted[i] == kOpenStringNotes[i])
            state.strings[i] = kOpenString;
        else
            state.strings[i] = std::int16_t(*take.wanted[i] - kOpenStringNotes[i] - state.baseFret + 1);
    }
    return state;
}

Tally judgeCheckTake(const Take& take, const Recording& recording, bool verbose)
{
    Tally tally;
    const FretboardState state = stateFor(take);
    Replay replay(recording.sampleRate, state);
    const auto step = std::size_t(recording.sampleRate / 100);
    const std::span<const float> sound(recording.samples);
    std::map<int, double> judgedAt;
    for (std::size_t at = 0; at < sound.size() && !replay.check().finished(); at += step) {
        for (int string : replay.step(sound.subspan(at, std::min(step, sound.size() - at))))
            judgedAt[string] = replay.seconds();
    }
    for (const Strike& strike : take.strikes) {
        const StringCheck& row = replay.check().strings()[std::size_t(strike.string - 1)];
        const MidiNote wanted = *take.wanted[std::size_t(strike.string - 1)];
        ++tally.verdicts;
        const bool ok = row.status == StringStatus::Judged && deserved(row.verdict, wanted, strike);
        tally.right += ok ? 1 : 0;
        if (row.verdict.heard && *row.verdict.heard < kOpenStringNotes[std::size_t(strike.string - 1)])
            ++tally.belowOpen;
        if (judgedAt.count(strike.string) && row.verdict.kind != VerdictKind::NotHeard)
            tally.latencies.push_back(1000.0 * (judgedAt[strike.string] - strike.seconds));
        if (!ok && verbose)
            std::printf("    %s %s [%s]: %s\n", take.voice.c_str(), take.condition.c_str(), take.name.c_str(),
                        describeStringCheck(row).c_str());
    }
    return tally;
}

Tally judgeTunerTake(const Take& take, const Recording& recording, const Recording& clean, bool verbose)
{
    Tally tally;
    Replay replay(recording.sampleRate, std::nullopt);
    const int rate = recording.sampleRate;
    const auto step = std::size_t(rate / 100);
    const std::span<const float> sound(recording.samples);
    std::size_t at = 0;
    for (std::size_t s = 0; s < take.strikes.size(); ++s) {
        const Strike& strike = take.strikes[s];
        const double end = s + 1 < take.strikes.size() ? take.strikes[s + 1].seconds : strike.seconds + 1.5;
        const auto from = std::size_t((strike.seconds + 0.2) * rate);
        const auto to = std::min(clean.samples.size(), std::size_t((strike.seconds + 1.1) * rate));
        const double own = ownPitch(std::span<const float>(clean.samples).subspan(from, to - from), rate,
                                    noteFrequency(strike.note));
        std::optional<TunerReading> at300;
        bool far = false;
        for (; at < sound.size() && replay.seconds() < end - 0.05; at += step) {
            replay.step(sound.subspan(at, std::min(step, sound.size() - at)));
            const auto reading = replay.reading();
            const double since = replay.seconds() - strike.seconds;
            if (reading && since >= 0.3 && since < 1.1) {
                const double heard = noteFrequency(reading->note, kDefaultReferencePitch) * std::exp2(reading->cents / 1200.0);
                far = far || std::abs(centsBetween(heard, own)) > 60.0;
                if (!at300)
                    at300 = reading;
            }
        }
        ++tally.tunerNotes;
        double error = 1e9;
        if (at300)
            error = centsBetween(noteFrequency(at300->note, kDefaultReferencePitch) * std::exp2(at300->cents / 1200.0), own);
        tally.tunerWithin2 += std::abs(error) <= 2.0 ? 1 : 0;
        tally.tunerFar += far ? 1 : 0;
        if (strike.note == kOpenStringNotes[std::size_t(strike.string - 1)]) {
            ++tally.tunerOpen;
            tally.tunerOpenWithin2 += std::abs(error) <= 2.0 ? 1 : 0;
        }
        if ((far || std::abs(error) > 2.0) && verbose)
            std::printf("    %s %s tuner string %d note %d (own pitch %+.1f cents): %s%s\n", take.voice.c_str(),
                        take.condition.c_str(), strike.string, strike.note, centsBetween(own, noteFrequency(strike.note)),
                        at300 ? (describeTunerReading(*at300) + " (" + std::to_string(error) + ")").c_str() : "no reading", far ? ", far off at some moment" : "");
    }
    return tally;
}

// What the strums of a set gave.
struct StrumTally {
    int right = 0;
    int strings = 0;
    int faults = 0;      // strings struck wrong, or sounding where left out
    int faultsFound = 0; // of them, with the verdict they deserve
    int covered = 0;     // strings whose every partial another string's covers
    int coveredJudged = 0;
    int coveredCantTell = 0;
    int ownCantTell = 0; // "can't tell" on a string with partials of its own
    int strums = 0;
    int unrecognised = 0;      // judged string by string, or not at all
    std::vector<double> after; // seconds from the last string to the summary

    void add(const StrumTally& o)
    {
        right += o.right;
        strings += o.strings;
        faults += o.faults;
        faultsFound += o.faultsFound;
        covered += o.covered;
        coveredJudged += o.coveredJudged;
        coveredCantTell += o.coveredCantTell;
        ownCantTell += o.ownCantTell;
        strums += o.strums;
        unrecognised += o.unrecognised;
        after.insert(after.end(), o.after.begin(), o.after.end());
    }
};

// Whether a string of a strum was struck wrong: a wrong note, out of tune,
// muted, or sounding where the chord leaves it out.
bool faulted(const std::optional<MidiNote>& wanted, const Strike* strike)
{
    if (!wanted)
        return strike != nullptr;
    return strike != nullptr && (strike->note < 0 || strike->note != *wanted || std::abs(strike->cents) >= kRightCents);
}

const Strike* strikeOf(const Take& take, int string)
{
    const auto found = std::find_if(take.strikes.begin(), take.strikes.end(), [&](const Strike& s) { return s.string == string; });
    return found == take.strikes.end() ? nullptr : &*found;
}

// One strum take replayed through the listening session as the window
// feeds it: each of the six strings counts right when its row is the one
// what was struck deserves (a covered string also when it cannot tell).
StrumTally judgeStrumTake(const Take& take, const Recording& recording, bool verbose)
{
    StrumTally tally;
    tally.strums = 1;
    Replay replay(recording.sampleRate, stateFor(take));
    const auto step = std::size_t(recording.sampleRate / 100);
    const std::span<const float> sound(recording.samples);
    const double last = take.strikes.back().seconds;
    for (std::size_t at = 0; at < sound.size() && !replay.strum() && replay.seconds() < last + 3.0; at += step)
        replay.step(sound.subspan(at, std::min(step, sound.size() - at)));
    if (!replay.strum()) {
        tally.unrecognised = 1;
        tally.strings = kStringCount;
        // Its faults are not found.
        for (std::size_t i = 0; i < kStringCount; ++i)
            tally.faults += faulted(take.wanted[i], strikeOf(take, int(i) + 1)) ? 1 : 0;
        if (verbose)
            std::printf("    %s %s [%s]: not heard as a strum\n", take.voice.c_str(), take.condition.c_str(), take.name.c_str());
        return tally;
    }
    tally.after.push_back(replay.seconds() - last);
    for (const StrumString& row : *replay.strum()) {
        const Strike* strike = strikeOf(take, row.string);
        bool ok = false;
        if (!row.wanted)
            ok = strike == nullptr ? row.kind == StrumStringKind::NotPlayed : row.kind == StrumStringKind::NotPlayedButHeard;
        else if (row.kind == StrumStringKind::CantTell)
            ok = row.covered;
        else if (strike != nullptr && strike->note < 0)
            ok = row.verdict.kind == VerdictKind::NotHeard;
        else if (strike != nullptr)
            ok = deserved(row.verdict, *row.wanted, *strike);
        ++tally.strings;
        tally.right += ok ? 1 : 0;
        if (faulted(row.wanted, strike)) {
            ++tally.faults;
            tally.faultsFound += ok && row.kind != StrumStringKind::CantTell ? 1 : 0;
        }
        if (row.wanted && row.covered) {
            ++tally.covered;
            tally.coveredJudged += row.kind == StrumStringKind::Judged ? 1 : 0;
            tally.coveredCantTell += row.kind == StrumStringKind::CantTell ? 1 : 0;
        } else if (row.kind == StrumStringKind::CantTell) {
            ++tally.ownCantTell;
        }
        const bool faultUntold = faulted(row.wanted, strike) && row.kind == StrumStringKind::CantTell;
        if ((!ok || faultUntold) && verbose)
            std::printf("    %s %s [%s]: %s\n", take.voice.c_str(), take.condition.c_str(), take.name.c_str(),
                        describeStrumString(row).c_str());
    }
    return tally;
}

// The share of `values` at most `limit`.
double shareAtMost(const std::vector<double>& values, double limit)
{
    const auto within = std::count_if(values.begin(), values.end(), [&](double v) { return v <= limit; });
    return values.empty() ? 0.0 : 100.0 * double(within) / double(values.size());
}

void reportStrums(const std::map<std::string, StrumTally>& tallies)
{
    StrumTally all;
    for (const auto& [where, t] : tallies) {
        std::printf("  strums %-18s strings right %5.1f %% of %d, faults found %d of %d, %d not heard as a strum\n",
                    where.c_str(), percent(t.right, t.strings), t.strings, t.faultsFound, t.faults, t.unrecognised);
        all.add(t);
    }
    if (all.strums == 0)
        return;
    std::printf("  strums all: %d; strings right %.1f %%, faults found %.1f %% of %d; can't tell: %d covered, %d with "
                "partials of their own; covered strings judged by their strikes or peaks %d of %d; summary a median %.0f ms after "
                "the last string, %.0f %% within 1 s\n",
                all.strums, percent(all.right, all.strings), percent(all.faultsFound, all.faults), all.faults,
                all.coveredCantTell, all.ownCantTell, all.coveredJudged, all.covered, 1000.0 * medianOf(all.after),
                shareAtMost(all.after, 1.0));
}

} // namespace

std::optional<Recording> readWav(const std::string& path, std::string& problem)
{
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in && !in.eof()) {
        problem = "cannot read " + path;
        return std::nullopt;
    }
    if (bytes.size() < 12 || bytes.compare(0, 4, "RIFF") != 0 || bytes.compare(8, 4, "WAVE") != 0) {
        problem = path + " is not a WAV file";
        return std::nullopt;
    }
    int channels = 0;
    int bits = 0;
    int format = 0;
    Recording recording;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::string id = bytes.substr(at, 4);
        const auto size = std::size_t(readLittle<std::uint32_t>(bytes.data() + at + 4));
        const char* body = bytes.data() + at + 8;
        if (id == "fmt " && size >= 16) {
            format = readLittle<std::uint16_t>(body);
            channels = readLittle<std::uint16_t>(body + 2);
            recording.sampleRate = int(readLittle<std::uint32_t>(body + 4));
            bits = readLittle<std::uint16_t>(body + 14);
            if (format == 0xFFFE && size >= 26)
                format = readLittle<std::uint16_t>(body + 24);
        } else if (id == "data" && channels > 0) {
            const std::size_t frameBytes = std::size_t(channels * bits / 8);
            const std::size_t frames = std::min(size, bytes.size() - at - 8) / frameBytes;
            recording.samples.resize(frames);
            for (std::size_t f = 0; f < frames; ++f) {
                double sum = 0.0;
                for (int c = 0; c < channels; ++c) {
                    const char* sample = body + f * frameBytes + std::size_t(c * bits / 8);
                    if (format == 1 && bits == 16)
                        sum += readLittle<std::int16_t>(sample) / 32768.0;
                    else if (format == 3 && bits == 32)
                        sum += readLittle<float>(sample);
                }
                recording.samples[f] = float(sum / channels);
            }
            if (!((format == 1 && bits == 16) || (format == 3 && bits == 32))) {
                problem = path + ": only 16-bit PCM and 32-bit float WAV files are read";
                return std::nullopt;
            }
            return recording;
        }
        at += 8 + size + (size % 2);
    }
    problem = path + " has no sound in it";
    return std::nullopt;
}

std::vector<Take> readTakes(const std::string& directory)
{
    std::ifstream in(directory + "/takes.tsv");
    if (!in)
        throw std::runtime_error("no takes.tsv in " + directory);
    std::vector<Take> takes;
    std::string line;
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string field; std::getline(split, field, '\t');)
            fields.push_back(field);
        if (fields.size() != 7)
            throw std::runtime_error("a line of takes.tsv without its seven fields: " + line);
        Take take{fields[0], fields[1], fields[2], fields[3], fields[4], {}, {}};
        std::stringstream wanted(fields[5]);
        std::size_t string = 0;
        for (std::string note; std::getline(wanted, note, ',') && string < kStringCount; ++string) {
            if (note != "-")
                take.wanted[string] = std::stoi(note);
        }
        std::stringstream strikes(fields[6]);
        for (std::string strike; strikes >> strike;) {
            Strike s;
            if (std::sscanf(strike.c_str(), "%d:%lf:%d:%lf", &s.string, &s.seconds, &s.note, &s.cents) != 4)
                throw std::runtime_error("a strike that cannot be read: " + strike);
            take.strikes.push_back(s);
        }
        takes.push_back(std::move(take));
    }
    return takes;
}

bool reportSet(const std::string& directory, bool verbose)
{
    std::vector<Take> takes;
    try {
        takes = readTakes(directory);
    } catch (const std::runtime_error& error) {
        std::printf("Guitar takes: skipped (%s; tools/render-guitar-set makes a set)\n", error.what());
        return false;
    }
    // voice -> condition -> kind (damped, ringing, tuner)
    std::map<std::string, std::map<std::string, std::map<std::string, Tally>>> tallies;
    std::map<std::string, Recording> cleanTakes;
    std::map<std::string, StrumTally> strums; // by voice and condition
    for (const Take& take : takes) {
        std::string problem;
        const auto recording = readWav(directory + "/" + take.file, problem);
        if (!recording) {
            std::printf("Guitar takes: %s\n", problem.c_str());
            return false;
        }
        if (take.kind == "strum") {
            strums[take.voice + " " + take.condition].add(judgeStrumTake(take, *recording, verbose));
            continue;
        }
        if (take.kind == "tuner") {
            const std::string key = take.voice + "\t" + take.name;
            if (take.condition == "clean")
                cleanTakes[key] = *recording;
            if (!cleanTakes.count(key))
                continue;
            tallies[take.voice][take.condition]["tuner"].add(judgeTunerTake(take, *recording, cleanTakes[key], verbose));
        } else {
            const bool ringing = take.name.find("ringing") != std::string::npos;
            tallies[take.voice][take.condition][ringing ? "ringing" : "damped"].add(judgeCheckTake(take, *recording, verbose));
        }
    }
    std::printf("Guitar takes in %s: string verdicts right; tuner within 2 cents of the voice's own pitch at 300 ms\n",
                directory.c_str());
    Tally all;
    for (const auto& [voice, conditions] : tallies) {
        for (const auto& [condition, kinds] : conditions) {
            Tally both;
            for (const char* kind : {"damped", "ringing"}) {
                if (kinds.count(kind))
                    both.add(kinds.at(kind));
            }
            const Tally none;
            const Tally& damped = kinds.count("damped") ? kinds.at("damped") : none;
            const Tally& ringing = kinds.count("ringing") ? kinds.at("ringing") : none;
            const Tally& tuner = kinds.count("tuner") ? kinds.at("tuner") : none;
            std::printf("  %-8s %-10s verdicts %5.1f %% of %3d (damped %5.1f %%, ringing %5.1f %%), %d below the open string; "
                        "median %3.0f ms after the onset; tuner %2d of %2d within 2 cents, %d far off\n",
                        voice.c_str(), condition.c_str(), percent(both.right, both.verdicts), both.verdicts,
                        percent(damped.right, damped.verdicts), percent(ringing.right, ringing.verdicts), both.belowOpen,
                        medianOf(both.latencies), tuner.tunerWithin2, tuner.tunerNotes, tuner.tunerFar);
            all.add(both);
            all.add(tuner);
        }
    }
    reportStrums(strums);
    std::printf("  all: verdicts %.1f %% of %d right, %d below the open string; tuner %d of %d within 2 cents (open strings "
                "%d of %d), %d far off\n",
                percent(all.right, all.verdicts), all.verdicts, all.belowOpen, all.tunerWithin2, all.tunerNotes,
                all.tunerOpenWithin2, all.tunerOpen, all.tunerFar);
    return true;
}

void replayRecording(const Recording& recording, const std::optional<FretboardState>& state)
{
    Replay replay(recording.sampleRate, state);
    const auto step = std::size_t(recording.sampleRate / 100);
    const std::span<const float> sound(recording.samples);
    std::optional<TunerReading> shown;
    for (std::size_t at = 0; at < sound.size(); at += step) {
        for (int string : replay.step(sound.subspan(at, std::min(step, sound.size() - at))))
            std::printf("%7.2f s  %s\n", replay.seconds(),
                        describeStringCheck(replay.check().strings()[std::size_t(string - 1)]).c_str());
        const auto reading = replay.reading();
        const auto text = [](const std::optional<TunerReading>& r) {
            char cents[32];
            std::snprintf(cents, sizeof cents, " (%+.1f cents)", r ? r->cents : 0.0);
            return r ? describeTunerReading(*r) + cents : std::string("No note");
        };
        if (text(reading) != text(shown))
            std::printf("%7.2f s  tuner: %s\n", replay.seconds(), text(reading).c_str());
        shown = reading;
    }
    if (replay.check().hasChord())
        std::printf("%7.2f s  %s\n", replay.seconds(), replay.check().finished() ? replay.check().summary().c_str() : "(unfinished)");
}

} // namespace fretmap::bench
