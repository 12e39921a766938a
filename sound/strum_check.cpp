#include "sound/strum_check.h"

#include "sound/fft.h"
#include "sound/pitch_units.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numbers>
#include <numeric>
#include <stdexcept>

namespace fretmap {
namespace {

// The partials looked at: up to the 8th, below 5 kHz.
constexpr int kPartials = 8;
constexpr double kHighestPartialHertz = 5000.0;
// A partial of one note lies on a partial of another this close.
constexpr double kSharedCents = 45.0;
// A partial is looked for this close to its place: far enough for a string
// out of tune, short of the next fret's.
constexpr double kSearchCents = 45.0;
// The whole strum's spectrum: from this long after the last string, for
// kStrumListenSeconds less that, zero-padded for finer bins.
constexpr double kSettleSeconds = 0.1;
constexpr std::size_t kPadding = 2;
// A note sounds where its strongest own partial stands this far over the
// noise and this share of the strum's strongest partial.
constexpr double kOverNoise = 12.0;
constexpr double kShareOfStrongest = 0.02;
// A note left out of the fingering sounds only where it stands clear of
// the strum: a stronger share, since nothing of the chord should be there.
constexpr double kUnplayedShareOfStrongest = 0.05;
// The other frets weighed against the wanted note.
constexpr int kFretsAround = 2;
// The frets of a string left out that it may sound.
constexpr int kUnplayedFrets = 4;
// Strike times: hops of about 2.5 ms over frames of about 21 ms.
constexpr double kHopSeconds = 0.0025;
constexpr double kFrameSeconds = 0.021;
constexpr double kPowerFloor = 1e-9;
// Two strikes lie at least this far apart.
constexpr double kLeastStrikeGap = 0.010;
// What a strike added: stretches this long around it.
constexpr double kRiseSeconds = 0.03;
// A covered note's rise is told from the frets beside it by this factor.
constexpr double kRiseMargin = 2.0;

double hann(std::size_t i, std::size_t n)
{
    return 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * (double(i) + 0.5) / double(n));
}

// An amplitude spectrum of `stretch`, Hann-windowed, padded to `size`.
std::vector<double> amplitudeSpectrum(std::span<const float> stretch, std::size_t size)
{
    RealFft fft(size);
    std::vector<double> weights(stretch.size());
    for (std::size_t i = 0; i < stretch.size(); ++i)
        weights[i] = hann(i, stretch.size());
    const double mean = stretch.empty() ? 0.0 : std::accumulate(stretch.begin(), stretch.end(), 0.0) / double(stretch.size());
    std::vector<double> power;
    fft.powerSpectrum(stretch, mean, weights, power);
    for (double& p : power)
        p = std::sqrt(std::max(0.0, p));
    return power;
}

struct Spectrum {
    std::vector<double> amplitude;
    double binHertz = 0.0;
    double noise = 0.0;     // the median amplitude of the guitar's range
    double strongest = 0.0; // the strongest amplitude there
};

Spectrum makeSpectrum(std::span<const float> stretch, int sampleRate)
{
    Spectrum s;
    const std::size_t size = std::max<std::size_t>(4, std::bit_ceil(kPadding * std::max<std::size_t>(stretch.size(), 2)));
    s.amplitude = amplitudeSpectrum(stretch, size);
    s.binHertz = double(sampleRate) / double(size);
    const auto from = std::size_t(kLowestHeardPitch / s.binHertz);
    const auto to = std::min(s.amplitude.size(), std::size_t(kHighestPartialHertz / s.binHertz));
    if (from < to) {
        std::vector<double> range(s.amplitude.begin() + std::ptrdiff_t(from), s.amplitude.begin() + std::ptrdiff_t(to));
        s.strongest = *std::max_element(range.begin(), range.end());
        auto middle = range.begin() + std::ptrdiff_t(range.size() / 2);
        std::nth_element(range.begin(), middle, range.end());
        s.noise = *middle;
    }
    return s;
}

struct Peak {
    double hertz = 0.0;
    double amplitude = 0.0;
};

// The highest bin within kSearchCents of `hertz`, placed between bins by
// the parabola through the logarithms of it and its neighbours.
Peak peakNear(const Spectrum& s, double hertz, double cents = kSearchCents)
{
    const double reach = std::max(1.5 * s.binHertz, hertz * (std::exp2(cents / 1200.0) - 1.0));
    const auto from = std::size_t(std::max(1.0, std::floor((hertz - reach) / s.binHertz)));
    const auto to = std::min(s.amplitude.size() - 2, std::size_t(std::ceil((hertz + reach) / s.binHertz)));
    if (from > to)
        return {};
    std::size_t at = from;
    for (std::size_t k = from; k <= to; ++k) {
        if (s.amplitude[k] > s.amplitude[at])
            at = k;
    }
    const double before = std::log(std::max(s.amplitude[at - 1], 1e-30));
    const double middle = std::log(std::max(s.amplitude[at], 1e-30));
    const double after = std::log(std::max(s.amplitude[at + 1], 1e-30));
    const double curvature = before - 2.0 * middle + after;
    const double offset = curvature < 0.0 ? std::clamp(0.5 * (before - after) / curvature, -0.5, 0.5) : 0.0;
    return {(double(at) + offset) * s.binHertz, s.amplitude[at]};
}

// The partials of `note` (1 to kPartials) that no partial of `others`
// comes near: those by which it can be heard among them.
std::vector<int> ownPartials(MidiNote note, std::span<const MidiNote> others, double reference)
{
    std::vector<int> own;
    const double f = noteFrequency(note) * reference / kDefaultReferencePitch;
    for (int k = 1; k <= kPartials && k * f <= kHighestPartialHertz; ++k) {
        bool shared = false;
        for (MidiNote other : others) {
            const double g = noteFrequency(other) * reference / kDefaultReferencePitch;
            for (int j = 1; j <= kPartials + 2 && !shared; ++j)
                shared = std::abs(centsBetween(k * f, j * g)) < kSharedCents;
        }
        if (!shared)
            own.push_back(k);
    }
    return own;
}

double frequencyOf(MidiNote note, double reference)
{
    return noteFrequency(note) * reference / kDefaultReferencePitch;
}

// How strongly `note` sounds by its own partials: the strongest of them,
// the lower ones first in weight, since a string's low partials carry it.
double ownStrength(const Spectrum& s, MidiNote note, std::span<const int> own, double reference)
{
    double best = 0.0;
    for (int k : own)
        best = std::max(best, peakNear(s, k * frequencyOf(note, reference)).amplitude);
    return best;
}

// The note's pitch from its own partials that stand out of the noise,
// each weighed by its power; nothing where none does.
std::optional<double> measuredPitch(const Spectrum& s, MidiNote note, std::span<const int> own, double reference)
{
    double sum = 0.0;
    double weights = 0.0;
    for (int k : own) {
        const Peak p = peakNear(s, k * frequencyOf(note, reference));
        if (p.amplitude < kOverNoise * s.noise)
            continue;
        const double w = p.amplitude * p.amplitude / k; // the low partials lie least sharp
        sum += w * p.hertz / k;
        weights += w;
    }
    if (weights <= 0.0)
        return std::nullopt;
    return sum / weights;
}

bool sounds(const Spectrum& s, double strength, double share)
{
    return strength >= kOverNoise * s.noise && strength >= share * s.strongest;
}

std::vector<MidiNote> othersThan(const std::array<std::optional<MidiNote>, kStringCount>& wanted, std::size_t string)
{
    std::vector<MidiNote> others;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (i != string && wanted[i])
            others.push_back(*wanted[i]);
    }
    return others;
}

// A played string with partials of its own, from the whole strum: the
// fret whose own partials sound strongest, and its pitch.
std::optional<Verdict> judgeFromStrum(const Spectrum& s, MidiNote wanted, MidiNote open, std::span<const MidiNote> others,
                                      double reference)
{
    MidiNote best = wanted;
    double bestStrength = -1.0;
    for (MidiNote note = std::max(open, wanted - kFretsAround); note <= wanted + kFretsAround; ++note) {
        const auto own = ownPartials(note, others, reference);
        if (own.empty())
            continue;
        const double strength = ownStrength(s, note, own, reference);
        if (strength > bestStrength) {
            bestStrength = strength;
            best = note;
        }
    }
    if (bestStrength < 0.0)
        return std::nullopt;
    if (!sounds(s, bestStrength, kShareOfStrongest))
        return Verdict{};
    const auto pitch = measuredPitch(s, best, ownPartials(best, others, reference), reference);
    if (!pitch)
        return Verdict{};
    Verdict verdict = judgeNote(wanted, *pitch, reference);
    // The frets are the note found; the cents only within it.
    if (best != wanted && verdict.kind != VerdictKind::WrongFret)
        verdict = judgeNote(wanted, frequencyOf(best, reference), reference);
    return verdict;
}

// What the stretch after `at` added at the partials of `note` over the
// stretch before it, leaving out the partials of `exclude` (the strings
// struck just after, whose partials rise in the same stretch).
double riseAt(const Spectrum& before, const Spectrum& after, MidiNote note, std::span<const MidiNote> exclude,
              double reference)
{
    double rise = 0.0;
    const double f = frequencyOf(note, reference);
    for (int k = 1; k <= kPartials && k * f <= kHighestPartialHertz; ++k) {
        bool excluded = false;
        for (MidiNote other : exclude) {
            for (int j = 1; j <= kPartials && !excluded; ++j)
                excluded = std::abs(centsBetween(k * f, j * frequencyOf(other, reference))) < 60.0;
        }
        if (excluded)
            continue;
        const double a = peakNear(after, k * f, 20.0).amplitude;
        const double b = peakNear(before, k * f, 20.0).amplitude;
        rise += std::max(0.0, a * a - b * b);
    }
    return std::sqrt(rise);
}

} // namespace

std::vector<double> strumStrikes(int sampleRate, std::span<const float> samples)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    const auto frame = std::bit_floor(std::size_t(kFrameSeconds * sampleRate));
    const auto hop = std::max<std::size_t>(1, std::size_t(kHopSeconds * sampleRate));
    RealFft fft(frame);
    std::vector<double> weights(frame);
    for (std::size_t i = 0; i < frame; ++i)
        weights[i] = hann(i, frame);
    const auto lowest = std::size_t(kLowestHeardPitch / fft.binHertz(sampleRate));
    const auto highest = std::min(frame / 2 - 1, std::size_t(kHighestPartialHertz / fft.binHertz(sampleRate)));
    std::vector<std::vector<double>> frames;
    std::vector<double> power;
    for (std::size_t at = 0; at + frame <= samples.size(); at += hop) {
        fft.powerSpectrum(samples.subspan(at, frame), 0.0, weights, power);
        std::vector<double> compressed(highest + 2, 0.0);
        for (std::size_t k = lowest; k <= highest; ++k)
            compressed[k] = std::log10(1.0 + power[k] / kPowerFloor);
        frames.push_back(std::move(compressed));
    }
    // The rise of each bin over itself and its neighbours a frame before.
    const std::size_t lag = std::max<std::size_t>(1, frame / hop / 2);
    std::vector<double> flux(frames.size(), 0.0);
    for (std::size_t t = lag; t < frames.size(); ++t) {
        for (std::size_t k = std::max<std::size_t>(lowest, 1); k <= highest; ++k) {
            const auto& before = frames[t - lag];
            flux[t] += std::max(0.0, frames[t][k] - std::max({before[k - 1], before[k], before[k + 1]}));
        }
    }
    const double strongest = flux.empty() ? 0.0 : *std::max_element(flux.begin(), flux.end());
    std::vector<double> strikes;
    const auto gap = std::max<std::size_t>(1, std::size_t(kLeastStrikeGap / kHopSeconds));
    for (std::size_t t = 1; t + 1 < flux.size(); ++t) {
        if (flux[t] < 0.25 * strongest || flux[t] < flux[t - 1] || flux[t] < flux[t + 1])
            continue;
        bool highestNear = true;
        for (std::size_t u = t > gap ? t - gap : 0; u <= std::min(flux.size() - 1, t + gap); ++u)
            highestNear = highestNear && (flux[u] <= flux[t] || u == t);
        if (!highestNear)
            continue;
        // The frame ending at the rise: the strike lies near its end.
        strikes.push_back((double(t * hop) + 0.75 * double(frame)) / sampleRate);
    }
    return strikes;
}

StrumStrings judgeStrum(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                        int sampleRate, std::span<const float> samples, std::span<const double> strikes)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    std::vector<double> found;
    if (strikes.empty()) {
        found = strumStrikes(sampleRate, samples.first(std::min(samples.size(), std::size_t((kStrumSpanSeconds + 0.15) * sampleRate))));
        strikes = found;
    }
    const double last = strikes.empty() ? 0.1 : strikes.back();
    const auto from = std::min(samples.size(), std::size_t((last + kSettleSeconds) * sampleRate));
    const auto to = std::min(samples.size(), std::size_t((last + kStrumListenSeconds) * sampleRate));
    const Spectrum whole = makeSpectrum(samples.subspan(from, to - from), sampleRate);

    StrumStrings rows{};
    std::vector<std::size_t> coveredStrings;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        StrumString& row = rows[i];
        row.string = int(i) + 1;
        row.wanted = wanted[i];
        const MidiNote open = kOpenStringNotes[i];
        const auto others = othersThan(wanted, i);
        if (!wanted[i]) {
            // Left out: silent, or one of its first frets sounds by partials of its own.
            double bestStrength = 0.0;
            std::optional<MidiNote> heard;
            for (MidiNote note = open; note <= open + kUnplayedFrets; ++note) {
                const auto own = ownPartials(note, others, referencePitch);
                const double strength = own.empty() ? 0.0 : ownStrength(whole, note, own, referencePitch);
                if (sounds(whole, strength, kUnplayedShareOfStrongest) && strength > bestStrength) {
                    bestStrength = strength;
                    heard = note;
                }
            }
            row.kind = heard ? StrumStringKind::NotPlayedButHeard : StrumStringKind::NotPlayed;
            row.verdict.heard = heard;
            continue;
        }
        row.fret = *wanted[i] - open;
        if (ownPartials(*wanted[i], others, referencePitch).empty()) {
            row.covered = true;
            coveredStrings.push_back(i);
            continue;
        }
        const auto verdict = judgeFromStrum(whole, *wanted[i], open, others, referencePitch);
        row.kind = verdict ? StrumStringKind::Judged : StrumStringKind::CantTell;
        if (verdict)
            row.verdict = *verdict;
    }

    // A covered note by what its own strike added. The strikes go with the
    // sounding strings in order, downward or upward, when there are as many.
    std::vector<std::size_t> sounding;
    for (std::size_t i = kStringCount; i-- > 0;) {
        if (wanted[i] || rows[i].kind == StrumStringKind::NotPlayedButHeard)
            sounding.push_back(i); // string 6 first
    }
    const std::size_t stretch = std::size_t(kRiseSeconds * sampleRate);
    for (std::size_t i : coveredStrings) {
        StrumString& row = rows[i];
        row.kind = StrumStringKind::CantTell;
        if (strikes.size() != sounding.size())
            continue;
        // Downward where the lowest string's own partials rise at the first strike.
        const auto place = std::size_t(std::find(sounding.begin(), sounding.end(), i) - sounding.begin());
        for (const bool downward : {true, false}) {
            const std::size_t turn = downward ? place : sounding.size() - 1 - place;
            const double at = strikes[turn];
            std::vector<MidiNote> after;
            for (std::size_t t = turn + 1; t < sounding.size(); ++t) {
                if (strikes[t] - at < kRiseSeconds) {
                    const std::size_t other = sounding[downward ? t : sounding.size() - 1 - t];
                    after.push_back(wanted[other] ? *wanted[other] : kOpenStringNotes[other]);
                }
            }
            const auto start = std::size_t(std::max(0.0, at * sampleRate));
            if (start < stretch || start + stretch > samples.size())
                continue;
            const Spectrum before = makeSpectrum(samples.subspan(start - stretch, stretch), sampleRate);
            const Spectrum later = makeSpectrum(samples.subspan(start, stretch), sampleRate);
            const double rise = riseAt(before, later, *wanted[i], after, referencePitch);
            double beside = 0.0;
            for (int frets : {-1, 1}) {
                if (*wanted[i] + frets >= kOpenStringNotes[i])
                    beside = std::max(beside, riseAt(before, later, *wanted[i] + frets, after, referencePitch));
            }
            if (rise > kRiseMargin * beside && rise >= kOverNoise * later.noise) {
                row.kind = StrumStringKind::Judged;
                row.verdict = judgeNote(*wanted[i], frequencyOf(*wanted[i], referencePitch), referencePitch);
                break;
            }
        }
    }
    return rows;
}

bool isStrum(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch, int sampleRate,
             std::span<const float> before, std::span<const float> samples)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    const auto span = std::min(samples.size(), std::size_t((kStrumSpanSeconds + 0.1) * sampleRate));
    const auto tail = std::min(before.size(), std::size_t(0.1 * sampleRate));
    const Spectrum earlier = makeSpectrum(before.last(tail), sampleRate);
    const Spectrum later = makeSpectrum(samples.subspan(span - std::min(span, std::size_t(0.1 * sampleRate))), sampleRate);
    int risen = 0;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!wanted[i])
            continue;
        const auto own = ownPartials(*wanted[i], othersThan(wanted, i), referencePitch);
        if (own.empty())
            continue;
        const double now = ownStrength(later, *wanted[i], own, referencePitch);
        const double then = ownStrength(earlier, *wanted[i], own, referencePitch) * double(tail) / double(std::min(span, std::size_t(0.1 * sampleRate)));
        if (sounds(later, now, kShareOfStrongest) && now > 2.0 * then)
            ++risen;
    }
    return risen >= 2;
}

std::string describeStrumString(const StrumString& row)
{
    StringCheck check{row.string, row.wanted, row.fret, StringStatus::Judged, row.verdict};
    switch (row.kind) {
    case StrumStringKind::Judged:
        return describeStringCheck(check);
    case StrumStringKind::CantTell:
    {
        // The string's own words, "String 1, open, E4", before its state.
        check.status = StringStatus::PlayNow;
        const std::string text = describeStringCheck(check);
        return text.substr(0, text.rfind(": ")) + ": can't tell in a strum";
    }
    case StrumStringKind::NotPlayedButHeard:
        return "String " + std::to_string(row.string) + ": not played, but heard " + noteName(row.verdict.heard.value_or(0));
    case StrumStringKind::NotPlayed:
        break;
    }
    check.status = StringStatus::NotPlayed;
    return describeStringCheck(check);
}

std::string strumSummary(const StrumStrings& strings)
{
    int played = 0;
    int right = 0;
    std::string faults;
    std::string untold;
    for (std::size_t i = strings.size(); i-- > 0;) {
        const StrumString& row = strings[i];
        const std::string name = "; string " + std::to_string(row.string) + " ";
        switch (row.kind) {
        case StrumStringKind::Judged:
            ++played;
            if (row.verdict.kind == VerdictKind::Right)
                ++right;
            else
                faults += name + describeFault(row.verdict);
            break;
        case StrumStringKind::CantTell:
            ++played;
            untold += name + "can't tell in a strum: play it alone";
            break;
        case StrumStringKind::NotPlayedButHeard:
            faults += name + "should not sound";
            break;
        case StrumStringKind::NotPlayed:
            break;
        }
    }
    if (played == 0)
        return {};
    return "Strum: " + rightOfPlayed(right, played) + faults + untold;
}

} // namespace fretmap
