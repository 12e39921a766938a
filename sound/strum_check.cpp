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
// A covered note's own peak lies at least this far from its coverer's peak
// (found within kTheirsCents of where that note's partial lies) and from
// every other note's partial, and its partials agree on its pitch this
// closely. Beyond the window's main lobe, and over its skirt.
constexpr double kApartCents = 12.0;
constexpr double kTheirsCents = 25.0;
constexpr double kAgreeCents = 6.0;
constexpr std::size_t kApartBins = 2 * kPadding + 1;
constexpr double kOverSkirt = 0.1;
// The other frets weighed against the wanted note.
constexpr int kFretsAround = 2;
// The frets of a string left out that it may sound.
constexpr int kUnplayedFrets = 4;
// A string left out sounds where this many of its own partials stand out.
constexpr int kUnplayedPartialsStanding = 2;
// ... or where its fundamental alone stands this share of the strongest.
constexpr double kLoneFundamentalShare = 0.1;
// A strum's strings rise over the noise of its first 0.1 s by this factor:
// short, it is spread by the strikes themselves.
constexpr double kRiseOverNoise = 4.0;
// Each string of a strum rises by at least this share of the strongest
// partial heard, at its partials up to this one.
constexpr int kStrumRisePartials = 4;
// A strum's string rises this near its place: a pluck alone may ring with
// something a little beside another string's partial.
constexpr double kStrumRiseCents = 25.0;
// Strings that rise by a fainter share may be a strum's, struck late.
constexpr double kFaintShareOfLoudest = 0.03;
constexpr double kStrumShareOfLoudest = 0.2;
// Two strings risen by this share are a strum where nothing much rang
// before: a pluck's ringing neighbours rise by less.
constexpr double kModestShareOfLoudest = 0.08;
// A string ringing on from before an onset stands at this share of its
// strength after it at least.
constexpr double kRingingOnShare = 0.5;
// Strike times: hops of about 2.5 ms over frames of about 21 ms.
constexpr double kHopSeconds = 0.0025;
constexpr double kFrameSeconds = 0.021;
constexpr double kPowerFloor = 1e-9;
// The floor a bin's power is taken over, against the stretch's median.
constexpr double kFloorOverMedian = 4.0;
// A bin counts a rise up to this (in tenths of a decibel's log): the first
// string over silence would otherwise outweigh every other strike.
constexpr double kLargestBinRise = 1.5;
// A strike's rise is at least this share of the strongest: the first
// string, over silence, rises in every bin, the others in their own.
constexpr double kStrikeShare = 0.3;
// Two strikes lie at least this far apart.
constexpr double kLeastStrikeGap = 0.010;
// What a strike added: stretches this long around it.
constexpr double kRiseSeconds = 0.03;
// A covered note's rise stands over the frets beside it by this factor:
// the short stretch leaks a note's rise into its neighbours' places.
constexpr double kRiseMargin = 1.0;
// A string struck at a strike: this share of its own partials' power there is new.
constexpr double kStruckShare = 0.75;
// ... and a string counts as struck there only where it sounds among the
// loudest then: a pluck's own noise, or a ringing string swelling as
// another is plucked, adds a string far under the string plucked.
constexpr double kStrikeAddsShareOfStrongest = 0.6;

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

// The highest peak within kSearchCents of `hertz`, placed between bins by
// the parabola through the logarithms of it and its neighbours.
Peak peakNear(const Spectrum& s, double hertz, double cents = kSearchCents)
{
    const double reach = std::max(1.5 * s.binHertz, hertz * (std::exp2(cents / 1200.0) - 1.0));
    const auto from = std::size_t(std::max(1.0, std::floor((hertz - reach) / s.binHertz)));
    const auto to = std::min(s.amplitude.size() - 2, std::size_t(std::ceil((hertz + reach) / s.binHertz)));
    if (from > to)
        return {};
    // The highest bin that tops its neighbours: the edge of the reach may
    // lie on the skirt of another string's partial, which is none of this one.
    std::optional<std::size_t> top;
    for (std::size_t k = from; k <= to; ++k) {
        const bool peak = s.amplitude[k] >= s.amplitude[k - 1] && s.amplitude[k] >= s.amplitude[k + 1];
        if (peak && (!top || s.amplitude[k] > s.amplitude[*top]))
            top = k;
    }
    if (!top)
        return {hertz, 0.0};
    const std::size_t at = *top;
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
            // Any partial of the other note that reaches this one's.
            for (int j = 1; j * g <= k * f * 1.1 && !shared; ++j)
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

// How strongly `note` sounds by its own partials: the strongest of them
// that lies within `cents` of its place.
double ownStrength(const Spectrum& s, MidiNote note, std::span<const int> own, double reference,
                   double cents = kSearchCents)
{
    double best = 0.0;
    for (int k : own) {
        // Placed within `cents` too, not only found within the bins' reach.
        const double place = k * frequencyOf(note, reference);
        const Peak p = peakNear(s, place, cents);
        if (std::abs(centsBetween(p.hertz, place)) <= cents)
            best = std::max(best, p.amplitude);
    }
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

// A note read from the strum: how strongly, and by which of its partials.
struct Reading {
    MidiNote note = 0;
    double strength = 0.0;
    int partial = 0;
};

// The note's reading by the own partials that stand out of the strum, by
// `share` of its strongest: nothing unless several stand, and not all on
// the multiples of one of them (which a note an octave or a twelfth up
// would give alone).
std::optional<Reading> standingReading(const Spectrum& whole, MidiNote note, std::span<const MidiNote> others,
                                       double reference, double share, bool fundamentalAlone = false)
{
    Reading reading{note, 0.0, 0};
    int standing = 0;
    int common = 0;
    for (int k : ownPartials(note, others, reference)) {
        const double a = peakNear(whole, k * frequencyOf(note, reference), kSharedCents / 2).amplitude;
        if (!sounds(whole, a, share))
            continue;
        ++standing;
        common = std::gcd(common, k);
        if (a > reading.strength)
            reading = Reading{note, a, k};
    }
    // A fundamental of its own that stands strongly is the note alone:
    // nothing under it explains it.
    const bool loneFundamental = fundamentalAlone && standing == 1 && reading.partial == 1
        && sounds(whole, reading.strength, kLoneFundamentalShare);
    if ((standing < kUnplayedPartialsStanding && !loneFundamental) || common != 1)
        return std::nullopt;
    return reading;
}

// The note among `from` to `to` that sounds by several partials of its
// own, apart from those of `others`, the strongest such; nothing where none.
std::optional<Reading> standingFret(const Spectrum& whole, MidiNote from, MidiNote to, std::span<const MidiNote> others,
                                    double reference)
{
    std::optional<Reading> best;
    for (MidiNote note = from; note <= to; ++note) {
        const auto reading = standingReading(whole, note, others, reference, kUnplayedShareOfStrongest);
        if (reading && (!best || reading->strength > best->strength))
            best = reading;
    }
    return best;
}

// The fret of a played string whose own partials sound strongest, among
// those around the wanted one, and the partial that sounds strongest.
std::optional<Reading> strongestFret(const Spectrum& s, MidiNote wanted, MidiNote open, std::span<const MidiNote> others,
                                     double reference)
{
    std::optional<Reading> best;
    for (MidiNote note = std::max(open, wanted - kFretsAround); note <= wanted + kFretsAround; ++note) {
        // Another fret only where it stands out by several partials: a
        // muted string leaves only leakage at its neighbours' places.
        if (note != wanted && !standingReading(s, note, others, reference, kShareOfStrongest, true))
            continue;
        for (int k : ownPartials(note, others, reference)) {
            const double a = peakNear(s, k * frequencyOf(note, reference)).amplitude;
            if (!best || a > best->strength)
                best = Reading{note, a, k};
        }
    }
    return best;
}

// A played string's verdict from its reading: the note found, its pitch
// from its own partials.
Verdict judgeReading(const Spectrum& s, const Reading& reading, MidiNote wanted, std::span<const MidiNote> others,
                     double reference)
{
    if (!sounds(s, reading.strength, kShareOfStrongest))
        return Verdict{};
    const auto pitch = measuredPitch(s, reading.note, ownPartials(reading.note, others, reference), reference);
    if (!pitch)
        return Verdict{};
    Verdict verdict = judgeNote(wanted, *pitch, reference);
    // The frets are the note found; the cents only within it.
    if (reading.note != wanted && verdict.kind != VerdictKind::WrongFret)
        verdict = judgeNote(wanted, frequencyOf(reading.note, reference), reference);
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

namespace {

// The bins of the guitar's range, `binHertz` apart.
struct Bins {
    double binHertz = 0.0;
    std::size_t lowest = 0;
    std::size_t highest = 0;
};

// The bins where the strings' partials lie.
std::vector<bool> partialBins(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double reference,
                              const Bins& bins)
{
    const auto [binHertz, lowest, highest] = bins;
    std::vector<bool> watched(highest + 2, false);
    for (std::size_t i = 0; i < kStringCount; ++i) {
        const double f = frequencyOf(wanted[i].value_or(kOpenStringNotes[i]), reference);
        for (int k = 1; k <= kPartials && k * f <= kHighestPartialHertz; ++k) {
            const auto at = std::size_t(std::lround(k * f / binHertz));
            for (std::size_t bin = std::max(lowest, at - std::min<std::size_t>(at, 1)); bin <= std::min(highest, at + 1); ++bin)
                watched[bin] = true;
        }
    }
    return watched;
}

// Each frame's power spectrum up to the range's top, in logarithms over
// the stretch's own floor, so that noise hardly rises; frames `hop` apart.
std::vector<std::vector<double>> logFrames(std::span<const float> samples, std::size_t frame, std::size_t hop,
                                           const Bins& bins)
{
    const std::size_t lowest = bins.lowest;
    const std::size_t highest = bins.highest;
    RealFft fft(frame);
    std::vector<double> weights(frame);
    for (std::size_t i = 0; i < frame; ++i)
        weights[i] = hann(i, frame);
    std::vector<std::vector<double>> frames;
    std::vector<double> power;
    std::vector<double> all;
    for (std::size_t at = 0; at + frame <= samples.size(); at += hop) {
        fft.powerSpectrum(samples.subspan(at, frame), 0.0, weights, power);
        frames.emplace_back(power.begin(), power.begin() + std::ptrdiff_t(highest + 2));
        all.insert(all.end(), power.begin() + std::ptrdiff_t(lowest), power.begin() + std::ptrdiff_t(highest + 1));
    }
    double floor = kPowerFloor;
    if (!all.empty()) {
        auto middle = all.begin() + std::ptrdiff_t(all.size() / 2);
        std::nth_element(all.begin(), middle, all.end());
        floor = std::max(kPowerFloor, kFloorOverMedian * *middle);
    }
    for (auto& f : frames)
        std::transform(f.begin(), f.end(), f.begin(), [floor](double p) { return std::log10(1.0 + p / floor); });
    return frames;
}

// The hops where the flux peaks: a share of its strongest, and the highest
// within kLeastStrikeGap either side.
std::vector<std::size_t> fluxPeaks(std::span<const double> flux)
{
    const double strongest = flux.empty() ? 0.0 : *std::max_element(flux.begin(), flux.end());
    const auto gap = std::max<std::size_t>(1, std::size_t(kLeastStrikeGap / kHopSeconds));
    std::vector<std::size_t> peaks;
    for (std::size_t t = 1; t + 1 < flux.size(); ++t) {
        if (flux[t] < kStrikeShare * strongest || flux[t] < flux[t - 1] || flux[t] < flux[t + 1])
            continue;
        const auto near = flux.subspan(t > gap ? t - gap : 0, std::min(flux.size(), t + gap + 1) - (t > gap ? t - gap : 0));
        if (*std::max_element(near.begin(), near.end()) <= flux[t])
            peaks.push_back(t);
    }
    return peaks;
}

} // namespace

std::vector<double> strumStrikes(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                                 int sampleRate, std::span<const float> samples)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    const auto frame = std::bit_floor(std::size_t(kFrameSeconds * sampleRate));
    const auto hop = std::max<std::size_t>(1, std::size_t(kHopSeconds * sampleRate));
    const double binHertz = double(sampleRate) / double(frame);
    const auto lowest = std::max<std::size_t>(1, std::size_t(kLowestHeardPitch / binHertz));
    const auto highest = std::min(frame / 2 - 1, std::size_t(kHighestPartialHertz / binHertz));
    // Only the bins where the strings' partials lie: each strike adds its
    // own there, while noise and the room rise everywhere.
    const Bins bins{binHertz, lowest, highest};
    const auto watched = partialBins(wanted, referencePitch, bins);
    const auto frames = logFrames(samples, frame, hop, bins);
    // The rise of each bin over itself and its neighbours a frame before.
    const std::size_t lag = std::max<std::size_t>(1, frame / hop / 2);
    std::vector<double> flux(frames.size(), 0.0);
    for (std::size_t t = lag; t < frames.size(); ++t) {
        const auto& before = frames[t - lag];
        for (std::size_t k = lowest; k <= highest; ++k) {
            const double rise = frames[t][k] - std::max({before[k - 1], before[k], before[k + 1]});
            flux[t] += watched[k] ? std::clamp(rise, 0.0, kLargestBinRise) : 0.0;
        }
    }
    std::vector<double> strikes;
    // The frame ending at the rise: the strike lies near its end.
    for (std::size_t t : fluxPeaks(flux))
        strikes.push_back((double(t * hop) + 0.75 * double(frame)) / sampleRate);
    return strikes;
}

namespace {

using Wanted = std::array<std::optional<MidiNote>, kStringCount>;

// Whether the strike at `at` seconds added `note`, told from the frets
// beside it on its string, leaving out the partials of `after` (the strings
// struck within the same stretch).
bool strikeAdded(const Spectrum& before, const Spectrum& later, MidiNote note, MidiNote open,
                 std::span<const MidiNote> after, double reference)
{
    const double rise = riseAt(before, later, note, after, reference);
    double beside = 0.0;
    for (int frets : {-1, 1}) {
        if (note + frets >= open)
            beside = std::max(beside, riseAt(before, later, note + frets, after, reference));
    }
    return rise > kRiseMargin * beside && rise >= kOverNoise * later.noise;
}

// The strings that sound in a strum, in the order a downward strum strikes them.
std::vector<std::size_t> soundingStrings(const Wanted& wanted, const StrumStrings& rows)
{
    std::vector<std::size_t> sounding;
    for (std::size_t i = kStringCount; i-- > 0;) {
        if (wanted[i] || rows[i].kind == StrumStringKind::NotPlayedButHeard)
            sounding.push_back(i);
    }
    return sounding;
}

// A covered string by what its own strike added. The strikes go with the
// sounding strings in order, downward or upward, when there are as many.
bool judgedByStrike(const Wanted& wanted, std::size_t string, std::span<const std::size_t> sounding,
                    std::span<const double> strikes, int sampleRate, std::span<const float> samples, double reference)
{
    if (strikes.size() != sounding.size())
        return false;
    const auto stretch = std::size_t(kRiseSeconds * sampleRate);
    const auto place = std::size_t(std::find(sounding.begin(), sounding.end(), string) - sounding.begin());
    const auto struckAt = [&](std::size_t turn, bool downward) { return sounding[downward ? turn : sounding.size() - 1 - turn]; };
    for (const bool downward : {true, false}) {
        const std::size_t turn = downward ? place : sounding.size() - 1 - place;
        const double at = strikes[turn];
        std::vector<MidiNote> after;
        for (std::size_t t = turn + 1; t < sounding.size() && strikes[t] - at < kRiseSeconds; ++t) {
            const std::size_t other = struckAt(t, downward);
            after.push_back(wanted[other].value_or(kOpenStringNotes[other]));
        }
        const auto start = std::size_t(std::max(0.0, at * sampleRate));
        if (start < stretch || start + stretch > samples.size())
            continue;
        const Spectrum before = makeSpectrum(samples.subspan(start - stretch, stretch), sampleRate);
        const Spectrum later = makeSpectrum(samples.subspan(start, stretch), sampleRate);
        if (strikeAdded(before, later, *wanted[string], kOpenStringNotes[string], after, reference))
            return true;
    }
    return false;
}

} // namespace

namespace {

// The fret of played string `i` by its own partials apart from `others`. A
// covered note's neighbours may have partials of their own: a fret high or
// low still shows, where it stands clear.
std::optional<Reading> readFret(const Spectrum& whole, const Wanted& wanted, const StrumStrings& rows, std::size_t i,
                                std::span<const MidiNote> others, double reference)
{
    const MidiNote lowest = std::max(kOpenStringNotes[i], *wanted[i] - kFretsAround);
    return rows[i].covered ? standingFret(whole, lowest, *wanted[i] + kFretsAround, others, reference)
                           : strongestFret(whole, *wanted[i], kOpenStringNotes[i], others, reference);
}

using Readings = std::array<std::optional<Reading>, kStringCount>;

// Each played string's fret, by the partials no other wanted note shares.
Readings readPlayed(const Spectrum& whole, const Wanted& wanted, const StrumStrings& rows, double reference)
{
    Readings readings;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (wanted[i])
            readings[i] = readFret(whole, wanted, rows, i, othersThan(wanted, i), reference);
    }
    return readings;
}

// Whether `high` lies on a partial of `low`, up to the 8th, in semitones.
bool onPartialOf(MidiNote high, MidiNote low)
{
    constexpr std::array<int, 7> kIntervals{12, 19, 24, 28, 31, 34, 36}; // partials 2 to 8
    return std::find(kIntervals.begin(), kIntervals.end(), high - low) != kIntervals.end();
}

// The wrong notes on other strings whose partials string `j`'s reading
// lies on: what it may be no more than. The same wrong note read on two
// strings is the one's on which it lies fewer frets from the wanted note.
std::vector<MidiNote> explainers(const Readings& readings, const Wanted& wanted, std::size_t j)
{
    std::vector<MidiNote> found;
    for (std::size_t i = 0; i < kStringCount && readings[j]; ++i) {
        if (i == j || !readings[i] || readings[i]->note == *wanted[i])
            continue;
        const MidiNote heard = readings[j]->note;
        const bool nearer = heard == readings[i]->note && std::abs(heard - *wanted[i]) < std::abs(heard - *wanted[j]);
        if (nearer || onPartialOf(heard, readings[i]->note))
            found.push_back(readings[i]->note);
    }
    return found;
}

// A wrong note on one string lends its partials to notes an octave or a
// twelfth from it on another: a B3 for C4 makes a B2 for C3 by B2's even
// partials, a B2 for C3 makes a B3 and an F#4. The wrong notes that sound
// by an odd partial, which no note an octave up explains, and that lie on
// no partial of another string's wrong note (nor are its, nearer), are
// taken as sounding; string by string, 0 for none.
std::array<MidiNote, kStringCount> firmWrongNotes(const Readings& readings, const Wanted& wanted)
{
    const auto wrong = [&](std::size_t j) { return readings[j] && readings[j]->note != *wanted[j]; };
    std::array<MidiNote, kStringCount> firm{};
    for (std::size_t j = 0; j < kStringCount; ++j) {
        if (!wrong(j) || readings[j]->partial % 2 == 0)
            continue;
        if (explainers(readings, wanted, j).empty())
            firm[j] = readings[j]->note;
    }
    return firm;
}

// The other notes than string `i`'s: the wanted ones, and `sounding` (a
// note a string, 0 for none) but its own.
std::vector<MidiNote> othersSounding(const Wanted& wanted, std::size_t i, std::span<const MidiNote> sounding)
{
    std::vector<MidiNote> others = othersThan(wanted, i);
    for (std::size_t j = 0; j < sounding.size(); ++j) {
        if (j != i && sounding[j] != 0)
            others.push_back(sounding[j]);
    }
    return others;
}

// The strings left out: silent, or one of their first frets sounds clear
// of every note that sounds on the other strings. `claimed` holds the open
// notes that a string left out was found to sound already (0 for none).
void judgeLeftOut(const Spectrum& whole, const Wanted& wanted, std::span<const MidiNote> firm,
                  std::span<const MidiNote> claimed, double reference, StrumStrings& rows)
{
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (wanted[i])
            continue;
        const MidiNote open = kOpenStringNotes[i];
        const auto sounding = claimed[i] != 0 ? std::optional<Reading>(Reading{claimed[i], 0.0, 1})
                                              : standingFret(whole, open, open + kUnplayedFrets,
                                                             othersSounding(wanted, i, firm), reference);
        rows[i].kind = sounding ? StrumStringKind::NotPlayedButHeard : StrumStringKind::NotPlayed;
        if (sounding)
            rows[i].verdict.heard = sounding->note;
    }
}

// A string left out that rings open lends its partials to the frets beside
// a played string's note: an open E2 makes a B3 for the C#4 of A6, an open
// E4 an E4 for the F4 of EbmM9. Where the played string's own note stands
// as well, one string cannot sound both, so the wrong note is the open
// string's: its reading goes back to its own note, and the open note is
// returned for the string left out (0 where none). A wrong note that lies
// on a partial of another string's wrong note is that one's, until that
// one is claimed; an open string already claimed is taken first.
// The strings left out whose open note may give `heard`: those already
// found sounding, where one may, else every one that may.
std::vector<std::size_t> lendingStrings(const Wanted& wanted, std::span<const MidiNote> claimed, MidiNote heard)
{
    const auto lends = [&](std::size_t q) {
        const MidiNote open = kOpenStringNotes[q];
        return !wanted[q] && (heard == open || onPartialOf(heard, open));
    };
    std::vector<std::size_t> found;
    for (std::size_t q = 0; q < kStringCount; ++q) {
        if (claimed[q] != 0 && lends(q))
            found.push_back(q);
    }
    for (std::size_t q = 0; q < kStringCount && found.empty(); ++q) {
        if (lends(q))
            found.push_back(q);
    }
    return found;
}

std::array<MidiNote, kStringCount> claimedByOpenStrings(const Spectrum& whole, const Wanted& wanted, Readings& readings,
                                                        double reference)
{
    std::array<MidiNote, kStringCount> claimed{};
    const auto claim = [&](std::size_t p, std::size_t q) {
        std::vector<MidiNote> others = othersThan(wanted, p);
        others.push_back(kOpenStringNotes[q]);
        const auto own = standingReading(whole, *wanted[p], others, reference, kShareOfStrongest, true);
        if (!own)
            return false;
        readings[p] = own;
        claimed[q] = kOpenStringNotes[q];
        return true;
    };
    for (bool changed = true; changed;) {
        changed = false;
        for (std::size_t p = 0; p < kStringCount; ++p) {
            if (!readings[p] || readings[p]->note == *wanted[p] || !explainers(readings, wanted, p).empty())
                continue;
            const auto candidates = lendingStrings(wanted, claimed, readings[p]->note);
            const auto by = std::find_if(candidates.begin(), candidates.end(),
                                         [&](std::size_t q) { return claim(p, q); });
            changed = changed || by != candidates.end();
        }
    }
    return claimed;
}

// The played strings' rows, read again without the partials of what sounds
// wrong elsewhere; returns the covered strings that no fret of their own
// told, left to their strikes.
std::vector<std::size_t> judgePlayed(const Spectrum& whole, const Wanted& wanted, const Readings& readings,
                                     std::span<const MidiNote> sounding, double reference, StrumStrings& rows)
{
    std::vector<std::size_t> untold;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!wanted[i])
            continue;
        std::vector<MidiNote> others = othersSounding(wanted, i, sounding);
        const auto under = explainers(readings, wanted, i);
        others.insert(others.end(), under.begin(), under.end());
        // A wrong note an octave under it may cover it as another string would.
        rows[i].covered = rows[i].covered || ownPartials(*wanted[i], others, reference).empty();
        const auto reading = readings[i] ? readFret(whole, wanted, rows, i, others, reference) : std::nullopt;
        rows[i].kind = reading ? StrumStringKind::Judged : StrumStringKind::CantTell;
        if (reading)
            rows[i].verdict = judgeReading(whole, *reading, *wanted[i], others, reference);
        else if (rows[i].covered)
            untold.push_back(i);
    }
    return untold;
}

// Where the partials of the notes other than `note` stand: by their own
// partials' pitch, at their places where they have none. One whose own
// partials are not heard may stand anywhere near its places: doubtful.
struct PlacesOfOthers {
    std::vector<double> known;
    std::vector<double> doubtful;
};

PlacesOfOthers placesOfOthers(const Spectrum& whole, MidiNote note, std::span<const MidiNote> others, double reference)
{
    PlacesOfOthers places;
    for (std::size_t m = 0; m < others.size(); ++m) {
        std::vector<MidiNote> rest(others.begin(), others.end());
        rest.erase(rest.begin() + std::ptrdiff_t(m));
        rest.push_back(note);
        const auto own = ownPartials(others[m], rest, reference);
        const auto pitch = measuredPitch(whole, others[m], own, reference);
        const double g = pitch.value_or(frequencyOf(others[m], reference));
        for (int j = 1; j * g <= kHighestPartialHertz * 1.05; ++j)
            (pitch || own.empty() ? places.known : places.doubtful).push_back(j * g);
    }
    return places;
}

bool nearAny(std::span<const double> places, double hertz, double cents)
{
    return std::any_of(places.begin(), places.end(), [&](double g) { return std::abs(centsBetween(hertz, g)) < cents; });
}

// The peak of a covered note's own near `place`, among the others' partials
// at `known`: the strongest peak there that stands near another note's
// partial is that note's; a peak well apart from it (beyond the window's
// main lobe, over its skirt) is the note's own, and where none of theirs
// shows, any peak clear of their places.
std::optional<double> ownPeakNear(const Spectrum& whole, double place, std::span<const double> known)
{
    const double reach = std::exp2(kSharedCents / 1200.0);
    const auto from = std::max<std::size_t>(1, std::size_t(place / reach / whole.binHertz));
    const auto to = std::min(whole.amplitude.size() - 2, std::size_t(place * reach / whole.binHertz));
    const auto& a = whole.amplitude;
    std::vector<std::size_t> peaks;
    for (std::size_t b = from; b <= to; ++b) {
        if (a[b] >= a[b - 1] && a[b] >= a[b + 1] && sounds(whole, a[b], kShareOfStrongest))
            peaks.push_back(b);
    }
    std::optional<std::size_t> theirs;
    for (std::size_t b : peaks) {
        if (nearAny(known, double(b) * whole.binHertz, kTheirsCents) && (!theirs || a[b] > a[*theirs]))
            theirs = b;
    }
    const auto apart = [&](std::size_t b) {
        return !theirs
            || (std::abs(centsBetween(double(b) * whole.binHertz, double(*theirs) * whole.binHertz)) >= kApartCents
                && (b > *theirs ? b - *theirs : *theirs - b) >= kApartBins && a[b] >= kOverSkirt * a[*theirs]);
    };
    std::optional<std::size_t> own;
    for (std::size_t b : peaks) {
        if (apart(b) && !nearAny(known, double(b) * whole.binHertz, kApartCents) && (!own || a[b] > a[*own]))
            own = b;
    }
    return own ? std::optional(double(*own) * whole.binHertz) : std::nullopt;
}

// A covered note that is out of tune, or whose coverers are, stands beside
// their partials as peaks of its own: the pitch those peaks agree on, at
// two partials at least, or nothing where they do not show.
std::optional<double> pitchBesideCoverers(const Spectrum& whole, MidiNote note, std::span<const MidiNote> others,
                                          double reference)
{
    const PlacesOfOthers places = placesOfOthers(whole, note, others, reference);
    const double f = frequencyOf(note, reference);
    std::vector<double> offsets;
    for (int k = 1; k <= kPartials && k * f <= kHighestPartialHertz; ++k) {
        if (nearAny(places.doubtful, k * f, kSharedCents))
            continue;
        if (const auto peak = ownPeakNear(whole, k * f, places.known))
            offsets.push_back(centsBetween(*peak, k * f));
    }
    if (offsets.size() < 2)
        return std::nullopt;
    std::sort(offsets.begin(), offsets.end());
    const double middle = offsets[offsets.size() / 2];
    const auto agreeing = std::count_if(offsets.begin(), offsets.end(),
                                        [&](double c) { return std::abs(c - middle) <= kAgreeCents; });
    if (agreeing < 2)
        return std::nullopt;
    return f * std::exp2(middle / 1200.0);
}

} // namespace

StrumStrings judgeStrum(const Wanted& wanted, double referencePitch, int sampleRate, std::span<const float> samples,
                        std::span<const double> strikes)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    std::vector<double> found;
    if (strikes.empty()) {
        const auto span = std::size_t((kStrumSpanSeconds + 0.15) * sampleRate);
        found = strumStrikes(wanted, referencePitch, sampleRate, samples.first(std::min(samples.size(), span)));
        strikes = found;
    }
    const double last = strikes.empty() ? 0.1 : strikes.back();
    const auto from = std::min(samples.size(), std::size_t((last + kSettleSeconds) * sampleRate));
    const auto to = std::min(samples.size(), std::size_t((last + kStrumListenSeconds) * sampleRate));
    const Spectrum whole = makeSpectrum(samples.subspan(from, to - from), sampleRate);

    StrumStrings rows{};
    for (std::size_t i = 0; i < kStringCount; ++i) {
        rows[i].string = int(i) + 1;
        rows[i].wanted = wanted[i];
        if (!wanted[i])
            continue;
        rows[i].fret = *wanted[i] - kOpenStringNotes[i];
        rows[i].covered = ownPartials(*wanted[i], othersThan(wanted, i), referencePitch).empty();
    }
    Readings readings = readPlayed(whole, wanted, rows, referencePitch);
    const auto claimed = claimedByOpenStrings(whole, wanted, readings, referencePitch);
    std::array<MidiNote, kStringCount> sounding = firmWrongNotes(readings, wanted);
    judgeLeftOut(whole, wanted, sounding, claimed, referencePitch, rows);
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (rows[i].kind == StrumStringKind::NotPlayedButHeard)
            sounding[i] = *rows[i].verdict.heard;
    }
    const auto untold = judgePlayed(whole, wanted, readings, sounding, referencePitch, rows);

    // A covered note is never guessed right: only its own strike tells it,
    // or peaks of its own beside its coverers' partials.
    const auto struck = soundingStrings(wanted, rows);
    for (std::size_t i : untold) {
        if (!judgedByStrike(wanted, i, struck, strikes, sampleRate, samples, referencePitch))
            continue;
        rows[i].kind = StrumStringKind::Judged;
        rows[i].verdict = judgeNote(*wanted[i], frequencyOf(*wanted[i], referencePitch), referencePitch);
    }
    for (std::size_t i : untold) {
        if (rows[i].kind != StrumStringKind::CantTell)
            continue;
        const auto others = othersSounding(wanted, i, sounding);
        const auto pitch = pitchBesideCoverers(whole, *wanted[i], others, referencePitch);
        if (!pitch)
            continue;
        rows[i].kind = StrumStringKind::Judged;
        rows[i].verdict = judgeNote(*wanted[i], *pitch, referencePitch);
    }
    return rows;
}

namespace {

// A string's own partials among its low ones, which carry it: a high one
// of another string out of tune may stray onto a high one of this.
std::vector<int> lowOwnPartials(const Wanted& wanted, std::size_t i, double reference)
{
    auto own = ownPartials(*wanted[i], othersThan(wanted, i), reference);
    std::erase_if(own, [](int k) { return k > kStrumRisePartials; });
    return own;
}

// The strings whose own low partials rose from `before` to `samples`, each
// as its share of the strongest partial heard then: against that, since a
// string that others' partials cover may be the loudest and have none of
// its own to rise.
std::vector<double> risenShares(const Wanted& wanted, double reference, int sampleRate, std::span<const float> before,
                                std::span<const float> samples)
{
    if (sampleRate < 8000)
        throw std::invalid_argument("strum analysis needs a sample rate of at least 8000 Hz");
    // A rise needs a before: the first moments of a stream are none.
    if (before.size() < samples.size() / 2)
        return {};
    const Spectrum earlier = makeSpectrum(before, sampleRate);
    const Spectrum later = makeSpectrum(samples, sampleRate);
    const double lengths = double(before.size()) / double(std::max<std::size_t>(1, samples.size()));
    std::vector<double> risen;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!wanted[i])
            continue;
        const auto own = lowOwnPartials(wanted, i, reference);
        if (own.empty())
            continue;
        const double now = ownStrength(later, *wanted[i], own, reference, kStrumRiseCents);
        // What stood before, or the noise then, whichever is more: a peak of
        // noise is no rise.
        const double then = std::max(ownStrength(earlier, *wanted[i], own, reference, kStrumRiseCents), kRiseOverNoise * earlier.noise)
            / std::max(lengths, 1e-9);
        if (now >= kRiseOverNoise * later.noise && now >= kShareOfStrongest * later.strongest && now > 2.0 * then)
            risen.push_back(now / later.strongest);
    }
    return risen;
}

} // namespace

StrumEvidence strumEvidence(const Wanted& wanted, double referencePitch, int sampleRate, std::span<const float> before,
                            std::span<const float> samples)
{
    // One string's leakage into another's places, and its pluck's noise,
    // are far under it; a strum's later strings may be too, while they
    // have only begun.
    const auto risen = risenShares(wanted, referencePitch, sampleRate, before, samples);
    const auto atLeast = [&](double share) { return std::count_if(risen.begin(), risen.end(), [&](double r) { return r >= share; }); };
    if (atLeast(kStrumShareOfLoudest) >= 2)
        return StrumEvidence::Clear;
    const auto faint = atLeast(kFaintShareOfLoudest);
    if (faint >= 3)
        return StrumEvidence::FaintOnSeveral;
    if (atLeast(kModestShareOfLoudest) >= 2)
        return StrumEvidence::FaintOnTwo;
    return faint == 2 ? StrumEvidence::Faint : StrumEvidence::None;
}

std::size_t stringsRingingBefore(const Wanted& wanted, double referencePitch, int sampleRate, std::span<const float> before,
                                 std::span<const float> samples)
{
    const Spectrum earlier = makeSpectrum(before, sampleRate);
    const Spectrum later = makeSpectrum(samples, sampleRate);
    std::size_t ringing = 0;
    for (std::size_t i = 0; i < kStringCount; ++i) {
        if (!wanted[i])
            continue;
        const auto own = lowOwnPartials(wanted, i, referencePitch);
        const double then = ownStrength(earlier, *wanted[i], own, referencePitch, kStrumRiseCents);
        const double now = ownStrength(later, *wanted[i], own, referencePitch, kStrumRiseCents);
        // Struck anew, a string stands well over what it was; ringing on,
        // it has only faded.
        ringing += !own.empty() && now >= kShareOfStrongest * later.strongest && then >= kRiseOverNoise * earlier.noise
                && then >= kRingingOnShare * now
            ? 1
            : 0;
    }
    return ringing;
}

bool stringRoseLater(const Wanted& wanted, double referencePitch, int sampleRate, std::span<const float> earlier,
                     std::span<const float> samples)
{
    const auto risen = risenShares(wanted, referencePitch, sampleRate, earlier, samples);
    return std::any_of(risen.begin(), risen.end(), [](double r) { return r >= kStrumShareOfLoudest; });
}

bool soundsAsStrum(const StrumStrings& strings)
{
    return std::ranges::count_if(strings, [](const StrumString& row) {
               return row.kind == StrumStringKind::Judged && row.verdict.kind != VerdictKind::NotHeard;
           })
        >= 2;
}

std::string describeStrumString(const StrumString& row)
{
    StringCheck check{row.string, row.wanted, row.fret, StringStatus::Judged, row.verdict};
    switch (row.kind) {
    case StrumStringKind::Judged:
        return describeStringCheck(check);
    case StrumStringKind::CantTell: {
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

namespace fretmap {

bool laterStrikeAddsString(const std::array<std::optional<MidiNote>, kStringCount>& wanted, double referencePitch,
                           int sampleRate, std::span<const float> samples)
{
    const auto strikes = strumStrikes(wanted, referencePitch, sampleRate, samples);
    const auto stretch = std::size_t(kRiseSeconds * sampleRate);
    // The strings each strike adds: most of the power at their own partials
    // new there, struck then and not ringing on.
    const auto added = [&](double at) {
        std::array<bool, kStringCount> strings{};
        const auto start = std::size_t(at * sampleRate);
        if (start < stretch || start + stretch > samples.size())
            return strings;
        const Spectrum before = makeSpectrum(samples.subspan(start - stretch, stretch), sampleRate);
        const Spectrum after = makeSpectrum(samples.subspan(start, stretch), sampleRate);
        for (std::size_t i = 0; i < kStringCount; ++i) {
            if (!wanted[i])
                continue;
            const auto own = lowOwnPartials(wanted, i, referencePitch);
            double rise = 0.0;
            double now = 0.0;
            for (int k : own) {
                const double place = k * frequencyOf(*wanted[i], referencePitch);
                const double a = peakNear(after, place, kStrumRiseCents).amplitude;
                const double b = peakNear(before, place, kStrumRiseCents).amplitude;
                rise += std::max(0.0, a * a - b * b);
                now += a * a;
            }
            strings[i] = now > 0.0 && rise >= kStruckShare * now && std::sqrt(rise) >= kOverNoise * after.noise
                && std::sqrt(now) >= kStrikeAddsShareOfStrongest * after.strongest;
        }
        return strings;
    };
    // A pluck's own string goes on rising through its attack: a later strike
    // counts where it adds another string than the first strike did.
    if (strikes.empty())
        return false;
    const auto first = added(strikes.front());
    for (std::size_t t = 1; t < strikes.size(); ++t) {
        const auto later = added(strikes[t]);
        for (std::size_t i = 0; i < kStringCount; ++i) {
            if (later[i] && !first[i])
                return true;
        }
    }
    return false;
}

} // namespace fretmap
