// Sound synthesis. Loops are made seamless by construction: everything
// periodic repeats a whole number of times per loop, and noise is made
// periodic by cross-fading the material past the loop's end into its start.
#include "bake/sounds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "bake/noise.h"
#include "bake/wav.h"

namespace bake {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kRate = kSampleRate;

// State-variable filter (Chamberlin), one sample at a time.
struct Svf {
    double low = 0, band = 0;
    double Step(double in, double cutoff, double q)
    {
        const double f = 2 * std::sin(kPi * std::min(cutoff, kRate / 6) / kRate);
        low += f * band;
        const double high = in - low - q * band;
        band += f * high;
        return band;
    }
    double Low(double in, double cutoff, double q)
    {
        Step(in, cutoff, q);
        return low;
    }
};

struct OnePole {
    double y = 0;
    double Low(double in, double cutoff)
    {
        const double a = 1 - std::exp(-2 * kPi * cutoff / kRate);
        y += a * (in - y);
        return y;
    }
};

void Normalise(std::vector<float>& s, float peak)
{
    float m = 0;
    for (float v : s)
        m = std::max(m, std::fabs(v));
    if (m > 0)
        for (float& v : s)
            v *= peak / m;
}

// Cross-fades the `overlap` samples past `length` into the start, so the
// result loops without a click (equal-power fade).
std::vector<float> CloseLoop(const std::vector<float>& raw, size_t length, size_t overlap)
{
    std::vector<float> out(raw.begin(), raw.begin() + std::ptrdiff_t(length));
    for (size_t i = 0; i < overlap; ++i) {
        const double t = double(i) / double(overlap);
        const double fadeIn = std::sin(t * kPi / 2), fadeOut = std::cos(t * kPi / 2);
        out[i] = float(raw[length + i] * fadeOut + raw[i] * fadeIn);
    }
    return out;
}

void FadeEdges(std::vector<float>& s, size_t in, size_t out)
{
    for (size_t i = 0; i < in && i < s.size(); ++i)
        s[i] *= float(double(i) / double(in));
    for (size_t i = 0; i < out && i < s.size(); ++i)
        s[s.size() - 1 - i] *= float(double(i) / double(out));
}

}  // namespace

std::vector<float> MakeWindLoop()
{
    // Dark, breathy air: low-passed noise whose brightness and level swell
    // slowly, a soft resonant whistle riding the gusts, and a rumble
    // underneath; four seconds.
    const size_t length = size_t(kRate * 4), overlap = size_t(kRate * 0.5);
    std::vector<float> raw(length + overlap);
    Rng rng(9001);
    Svf air1, air2, whistle1, whistle2;
    OnePole rumble;
    for (size_t i = 0; i < raw.size(); ++i) {
        const double t = double(i) / kRate;
        // Gust shape repeats every 4 s (whole cycles), the fade takes care of noise.
        const double gust = 0.55 + 0.25 * std::sin(2 * kPi * t / 4 + 0.3) + 0.15 * std::sin(2 * kPi * t / 2 + 1.1) +
                            0.05 * std::sin(2 * kPi * t * 3 / 4);
        const double white = rng.Uniform() * 2 - 1;
        // Two cascaded low-pass stages: 12 dB per octave above the cutoff.
        const double cutoff = 250 + 350 * gust;
        const double air = air2.Low(air1.Low(white, cutoff, 1.0), cutoff, 1.0);
        const double tone = 380 + 240 * gust;
        const double whistle = whistle2.Step(whistle1.Step(white, tone, 0.3), tone, 0.3);
        const double low = rumble.Low(white, 90) * 2.5;
        raw[i] = float(gust * (1.6 * air + 0.25 * gust * whistle) + 0.5 * low * (0.6 + 0.4 * gust));
    }
    std::vector<float> s = CloseLoop(raw, length, overlap);
    // Eleven of these play at once and the nearest at almost full volume:
    // kept below the cries (played at half volume, so that they stand
    // 6-12 dB over it) and low enough that the whole mix leaves the output
    // limiter idle but for rare peaks.
    Normalise(s, 0.235f);
    return s;
}

std::vector<float> MakeWingFlap()
{
    // A leathery whump: a low thump and a short rush of air, 0.35 s.
    const size_t n = size_t(kRate * 0.35);
    std::vector<float> s(n);
    Rng rng(9002);
    Svf air, airDull;
    OnePole thumpFilter;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate;
        const double env = std::pow(t / 0.05, 2) * std::exp(-t / 0.045 + 1);  // fast swell, decay
        const double airEnv = std::exp(-std::pow((t - 0.09) / 0.06, 2));
        const double white = rng.Uniform() * 2 - 1;
        // Kept dark: with the hiss of open noise in it, a flap every wing
        // beat reads as a click train.
        const double rush = airDull.Low(air.Step(white, 380 + 650 * airEnv, 0.9), 1200, 1.0) * airEnv;
        // Pitched where small speakers still carry it.
        const double thump = std::sin(2 * kPi * (95 + 60 * std::exp(-t / 0.04)) * t) * env;
        const double flutter = thumpFilter.Low(white, 300) * env * 2.5;
        s[i] = float(0.9 * thump + 0.7 * rush + 0.5 * flutter);
    }
    FadeEdges(s, 20, 200);
    // Played at full volume once a wing beat (0.95 s) by every pterodactyl
    // flapping hard: a soft texture under the cries, not a beat over them.
    Normalise(s, 0.28f);
    return s;
}

std::vector<float> MakeCry(int variant)
{
    // A reptilian screech: a pitch glide with vibrato, FM for a reedy edge,
    // formant-like band emphasis and a little breath; rounded at both ends
    // so it never clicks.
    struct Shape {
        double duration, startHz, peakHz, endHz, vibrato, fmIndex, breath;
    };
    const Shape shapes[3] = {
        {1.0, 520, 900, 430, 7.0, 1.6, 0.10},
        {0.75, 700, 1150, 620, 11.0, 2.2, 0.14},
        {1.3, 380, 720, 300, 5.5, 1.2, 0.12},
    };
    const Shape& sh = shapes[std::clamp(variant, 0, 2)];
    const size_t n = size_t(kRate * sh.duration);
    std::vector<float> s(n);
    Rng rng(9100 + uint64_t(variant));
    Svf formant1, formant2;
    double phase = 0, modPhase = 0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / kRate, x = t / sh.duration;
        // Rise quickly to the peak pitch, then sag away.
        const double glide = x < 0.25 ? sh.startHz + (sh.peakHz - sh.startHz) * std::sin(x / 0.25 * kPi / 2)
                                      : sh.endHz + (sh.peakHz - sh.endHz) * std::pow(1 - (x - 0.25) / 0.75, 1.5);
        const double hz = glide * (1 + 0.025 * std::sin(2 * kPi * sh.vibrato * t));
        phase += 2 * kPi * hz / kRate;
        modPhase += 2 * kPi * hz * 2.0 / kRate;
        const double env = std::sin(std::min(1.0, x / 0.08) * kPi / 2) * std::pow(1 - x, 0.7);
        // Less modulation at high pitch keeps the upper sidebands below the
        // 5.5 kHz limit of the file's rate instead of folding back.
        const double index = sh.fmIndex * (0.6 + 0.4 * env) * std::min(1.0, 550.0 / hz);
        const double voice = std::sin(phase + index * std::sin(modPhase));
        const double breath = (rng.Uniform() * 2 - 1) * sh.breath;
        const double shaped = formant1.Step(voice + breath, 1400, 1.0) * 0.8 + formant2.Step(voice, 2600, 1.4) * 0.4 +
                              voice * 0.35;
        s[i] = float(shaped * env);
    }
    FadeEdges(s, 30, 300);
    // A cry is played at half volume: at this level the cries of the
    // pterodactyl the camera circles stand 7-11 dB over the wind bed (a
    // call, a cry, but not a shriek), and a chorus of the nearest few stays
    // well under the output's ceiling.
    Normalise(s, 0.6f);
    return s;
}

std::vector<float> MakeCall(int variant)
{
    // Softer, lower clucks: two or three short croaks with falling pitch.
    const int croaks = variant == 0 ? 2 : 3;
    const double croakLen = variant == 0 ? 0.18 : 0.13, gap = variant == 0 ? 0.09 : 0.06;
    const double baseHz = variant == 0 ? 260 : 340;
    const size_t n = size_t(kRate * (croaks * (croakLen + gap) + 0.05));
    std::vector<float> s(n, 0.0f);
    Rng rng(9200 + uint64_t(variant));
    Svf body;
    double phase = 0;
    for (int c = 0; c < croaks; ++c) {
        const size_t start = size_t(kRate * c * (croakLen + gap));
        const size_t len = size_t(kRate * croakLen);
        const double pitch = baseHz * (1.0 - 0.08 * c);
        for (size_t i = 0; i < len && start + i < n; ++i) {
            const double t = double(i) / kRate, x = t / croakLen;
            const double hz = pitch * (1.15 - 0.3 * x);
            phase += 2 * kPi * hz / kRate;
            // Pulse-like glottal source: rich in harmonics, then filtered.
            const double src = std::tanh(3.0 * std::sin(phase)) + 0.3 * std::sin(2 * phase + 0.5);
            const double env = std::sin(x * kPi) * (0.85 + 0.15 * std::sin(2 * kPi * 30 * t));
            const double rasp = (rng.Uniform() * 2 - 1) * 0.15;
            s[start + i] += float(body.Step(src + rasp, 900 - 300 * x, 0.9) * env);
        }
    }
    FadeEdges(s, 20, 200);
    // Calls are played at 0.3, and their croaks are short and low, where the
    // wind is: at full scale they just rise out of the bed, softer than the
    // cries as they should be, but heard.
    Normalise(s, 0.98f);
    return s;
}

std::vector<float> MakeHelicopterLoop()
{
    // Main rotor blade slap (about 20 Hz), a tail-rotor buzz, a turbine
    // whine and engine rumble. The loop is 16 blade passes long, and every
    // tone completes whole cycles in it, so it repeats seamlessly; the
    // noise is closed with a cross-fade.
    const size_t period = 552;  // samples per blade pass (19.97 Hz)
    const size_t length = period * 16, overlap = period * 2;
    std::vector<float> raw(length + overlap);
    Rng rng(9300);
    Svf slapFilter, rumbleFilter;
    const double loopHz = kRate / double(length);  // tones are multiples of this
    const double tailHz = loopHz * std::round(92.0 / loopHz);
    const double whineHz = loopHz * std::round(1180.0 / loopHz);
    for (size_t i = 0; i < raw.size(); ++i) {
        const double t = double(i) / kRate;
        const double inPass = double(i % period) / double(period);
        const double white = rng.Uniform() * 2 - 1;
        // Each blade pass: a sharp pressure pulse followed by a short decay.
        const double slapEnv = std::exp(-inPass * 9.0) * (1 - std::exp(-inPass * 120.0));
        const double slap = slapFilter.Step(white, 300 + 500 * slapEnv, 0.7) * slapEnv * 2.0 +
                            std::sin(2 * kPi * loopHz * 16 * 2 * t) * slapEnv * 0.6;
        const double tail = std::tanh(2.5 * std::sin(2 * kPi * tailHz * t)) * 0.10;
        const double whine = std::sin(2 * kPi * whineHz * t) * 0.035;
        const double rumble = rumbleFilter.Low(white, 90, 0.6) * 1.2;
        raw[i] = float(slap + tail + whine + rumble);
    }
    std::vector<float> s = CloseLoop(raw, length, overlap);
    Normalise(s, 0.85f);
    return s;
}

}  // namespace bake
