// The software mixer: snapshot under the lock, mix without it, publish.
#include "platform/dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include <samplerate.h>

namespace vantor::dsound {

namespace {

// The converter: libsamplerate's smallest sinc filter. Its images stay
// about 97 dB down, far past anything audible, and it costs a third of the
// next size up; the passband ends at 80 % of the source's band (4.4 kHz of
// an 11,025 Hz sound), above which the archive's sounds hold little.
constexpr int kConverter = SRC_SINC_FASTEST;

// The limiter lets go over about 200 ms: slow enough not to pump audibly
// with the wind's gusts, quick enough to come back after a chorus of cries.
const float kLimitRelease = std::exp(-1.0f / (0.2f * static_cast<float>(kMixRate)));

// `count` source frames from `index` on as int16-scaled floats.
template <int Bits, int Channels>
void Convert(const uint8_t* bytes, uint32_t index, uint32_t count, float* out)
{
    if constexpr (Bits == 8) {
        const uint8_t* p = bytes + static_cast<size_t>(index) * Channels;
        for (uint32_t i = 0; i < count * Channels; ++i)
            out[i] = static_cast<float>(static_cast<int>(p[i]) - 128) * 256.0f;
    } else {
        const uint8_t* p = bytes + static_cast<size_t>(index) * Channels * 2;
        for (uint32_t i = 0; i < count * Channels; ++i) {
            int16_t s;
            std::memcpy(&s, p + 2 * i, sizeof s);
            out[i] = static_cast<float>(s);
        }
    }
}

void ConvertAny(const VoiceFormat& f, const uint8_t* bytes, uint32_t index, uint32_t count, float* out)
{
    if (f.bitsPerSample == 8)
        f.channels == 2 ? Convert<8, 2>(bytes, index, count, out) : Convert<8, 1>(bytes, index, count, out);
    else
        f.channels == 2 ? Convert<16, 2>(bytes, index, count, out) : Convert<16, 1>(bytes, index, count, out);
}

}  // namespace

CMixer::~CMixer()
{
    // The audio thread is gone by now (the output closes before the mixer).
    // Dying voices still on the list belong to m_retired.
    for (MixVoice* v = m_head; v;) {
        MixVoice* next = v->m_next;
        if (!v->m_dying)
            delete v;
        v = next;
    }
}

MixVoice::~MixVoice()
{
    for (SRC_STATE* s : m_resamplers)
        if (s)
            src_delete(s);
}

MixVoice* CMixer::AddVoice(std::shared_ptr<SampleData> data, VoiceFormat format)
{
    CollectRetired();
    std::unique_ptr<MixVoice> voice(new (std::nothrow) MixVoice(std::move(data), format));
    if (!voice)
        return nullptr;
    // Both converters now, so that the audio thread never allocates: one
    // for what plays, one for the fade-out of what played before a jump.
    for (SRC_STATE*& s : voice->m_resamplers) {
        int error = 0;
        s = src_new(kConverter, format.channels, &error);
        if (!s)
            return nullptr;
    }
    voice->m_main.resampler = voice->m_resamplers[0];
    voice->m_tail.resampler = voice->m_resamplers[1];
    return Link(voice.release());
}

MixVoice* CMixer::Link(MixVoice* voice)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    voice->m_next = m_head;
    if (m_head)
        m_head->m_prev = voice;
    m_head = voice;
    return voice;
}

void CMixer::RemoveVoice(MixVoice* voice)
{
    if (!voice)
        return;
    // Reserve first: the owner must not fail between marking and keeping.
    m_retired.reserve(m_retired.size() + 1);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        voice->m_dying = true;
        if (voice->m_params.playing) {
            voice->m_params.playing = false;
            ++voice->m_params.serial;
        }
    }
    m_retired.emplace_back(std::unique_ptr<MixVoice>(voice), false);
    CollectRetired();
}

bool CMixer::Quiet()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastActive == 0;
}

void CMixer::CollectRetired()
{
    if (m_retired.empty())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto& entry : m_retired)
            entry.second = entry.first->m_detached;
    }
    std::erase_if(m_retired, [](const auto& entry) { return entry.second; });
}

void CMixer::Render(int16_t* out, uint32_t frames)
{
    while (frames > 0) {
        const uint32_t n = std::min(frames, kChunkFrames);
        RenderChunk(out, n);
        out += static_cast<size_t>(n) * kMixChannels;
        frames -= n;
    }
}

void CMixer::Sync(MixVoice& v)
{
    const VoiceParams& p = v.m_params;
    if (p.serial != v.m_seenSerial) {
        v.m_seenSerial = p.serial;
        // Whatever was sounding fades out on its own, from where it was, so
        // a stop or a jump never cuts a waveform off mid-swing.
        // The tail takes the playing converter along; the new start gets the
        // other one, cleared when it first runs.
        SRC_STATE* spare = v.m_main.resampler;
        if (v.m_main.active && (v.m_main.gainLeft != 0.0f || v.m_main.gainRight != 0.0f)) {
            spare = v.m_tail.resampler;
            v.m_tail = v.m_main;
            v.m_tail.targetLeft = v.m_tail.targetRight = 0.0f;
            v.m_tail.rampLeft = kRampFrames;
        }
        v.m_main = MixVoice::Cursor{};
        v.m_main.resampler = spare;
        v.m_playing = p.playing;
        if (p.playing) {
            v.m_main.active = true;
            v.m_main.position = p.position;  // gains start at 0: the start fades in
        }
    }
    v.m_seenPlays = p.plays;
    v.m_looping = p.looping;
    v.m_step = p.step;
    MixVoice::Cursor& c = v.m_main;
    if (c.active && (c.targetLeft != p.gainLeft || c.targetRight != p.gainRight)) {
        c.targetLeft = p.gainLeft;
        c.targetRight = p.gainRight;
        c.rampLeft = kRampFrames;
    }
}

uint32_t CMixer::Resample(const MixVoice& v, MixVoice::Cursor& c, uint32_t frames)
{
    const uint32_t count = v.m_format.frames;
    const uint32_t channels = v.m_format.channels;
    const uint64_t step = v.m_step;
    const bool looping = v.m_looping;
    if (!c.primed) {
        // A fresh start, a jump or a return from silence. The converter
        // first hears the frames just before the play head (the loop's end
        // before its start), and what it makes of them is dropped: so it
        // joins the sound mid-way with its history filled, as if it had been
        // playing all along, with no edge of its own. Only the very start of
        // a sound that does not loop comes out of silence.
        src_reset(c.resampler);
        c.primed = true;
        c.draining = false;
        const uint32_t at = static_cast<uint32_t>(c.position >> 32) % count;
        const uint32_t before = looping ? std::min(kLookahead, count) : std::min(kLookahead, at);
        c.fed = (at + count - before) % count;
        c.lead = -static_cast<int64_t>((static_cast<uint64_t>(before) << 32) + (c.position & 0xFFFFFFFFu));
        c.skip = static_cast<uint32_t>(((static_cast<uint64_t>(before) << 32) + step - 1) / step);
    }
    SRC_DATA d{};
    d.src_ratio = 4294967296.0 / static_cast<double>(step);
    uint32_t made = 0;
    uint32_t extra = 0;  // more than the estimate, when the estimate fell short
    while (made < frames) {
        // Enough source for the rest of the pass plus the filter's reach,
        // less what the converter already holds.
        const int64_t need = static_cast<int64_t>(step) * (frames - made) +
                             (static_cast<int64_t>(kLookahead + extra) << 32) - c.lead;
        auto want = static_cast<uint32_t>(std::clamp<int64_t>((need + 0xFFFFFFFF) >> 32, 0, kFeedFrames));
        uint32_t got = 0;
        if (!c.draining) {
            while (got < want) {
                const uint32_t from = (c.fed + got) % count;
                const uint32_t n = std::min(want - got, count - from);
                ConvertAny(v.m_format, v.m_bytes, from, n, m_feed.data() + static_cast<size_t>(got) * channels);
                got += n;
                if (!looping && from + n == count)
                    break;
            }
        }
        d.data_in = m_feed.data();
        d.input_frames = got;
        // The history's own output goes to the start of the buffer, which
        // the real output has not reached yet.
        d.data_out = m_resampled.data() + static_cast<size_t>(c.skip > 0 ? 0 : made) * channels;
        d.output_frames = c.skip > 0 ? std::min(c.skip, kChunkFrames) : frames - made;
        d.end_of_input = !looping && (c.draining || c.fed + got >= count);
        if (src_process(c.resampler, &d) != 0)
            break;
        const auto used = static_cast<uint32_t>(d.input_frames_used);
        const auto out = static_cast<uint32_t>(d.output_frames_gen);
        c.fed += used;
        if (c.fed >= count) {
            if (looping)
                c.fed %= count;
            else
                c.draining = true;
        }
        c.lead += (static_cast<int64_t>(used) << 32) - static_cast<int64_t>(step) * out;
        if (c.skip > 0)
            c.skip -= out;
        else
            made += out;
        if (out == 0 && used == 0) {
            // Nothing more to come: the sound has rung out, or the estimate
            // was short (pitch glides shift it a little) and one more round
            // with a margin settles it.
            if (c.draining || extra > 0)
                break;
            extra = kLookahead;
        }
    }
    return made;
}

void CMixer::MixCursor(const MixVoice& v, MixVoice::Cursor& c, bool fading, float* acc, uint32_t frames)
{
    const uint64_t end = static_cast<uint64_t>(v.m_format.frames) << 32;
    const uint64_t step = v.m_step;
    const bool looping = v.m_looping;
    auto advance = [&](uint32_t n) {
        c.position += step * n;
        if (c.position >= end)
            c.position = looping ? c.position % end : end;
    };

    // A voice at zero gain only moves on, so far-away positional voices
    // cost next to nothing; its converter starts afresh when it is heard.
    if (c.rampLeft == 0 && c.gainLeft == 0.0f && c.gainRight == 0.0f) {
        if (fading || (!looping && (c.draining || c.position >= end))) {
            c.active = false;
            return;
        }
        advance(frames);
        c.primed = false;
        return;
    }

    const uint32_t made = Resample(v, c, frames);
    advance(made);
    const float* src = m_resampled.data();
    const bool stereo = v.m_format.channels == 2;
    uint32_t done = 0;
    while (done < made) {
        uint32_t len = made - done;
        float dl = 0.0f, dr = 0.0f;
        if (c.rampLeft > 0) {
            len = std::min(len, c.rampLeft);
            dl = (c.targetLeft - c.gainLeft) / static_cast<float>(c.rampLeft);
            dr = (c.targetRight - c.gainRight) / static_cast<float>(c.rampLeft);
        }
        float gl = c.gainLeft, gr = c.gainRight;
        float* dst = acc + static_cast<size_t>(done) * kMixChannels;
        if (stereo) {
            const float* in = src + static_cast<size_t>(done) * 2;
            for (uint32_t k = 0; k < len; ++k, gl += dl, gr += dr) {
                dst[2 * k] += in[2 * k] * gl;
                dst[2 * k + 1] += in[2 * k + 1] * gr;
            }
        } else {
            const float* in = src + done;
            for (uint32_t k = 0; k < len; ++k, gl += dl, gr += dr) {
                dst[2 * k] += in[k] * gl;
                dst[2 * k + 1] += in[k] * gr;
            }
        }
        done += len;
        if (c.rampLeft > 0) {
            c.rampLeft -= len;
            if (c.rampLeft == 0) {
                c.gainLeft = c.targetLeft;
                c.gainRight = c.targetRight;
            } else {
                c.gainLeft += dl * static_cast<float>(len);
                c.gainRight += dr * static_cast<float>(len);
            }
        }
    }
    if (made < frames || (fading && c.rampLeft == 0))
        c.active = false;
}

void CMixer::RenderChunk(int16_t* out, uint32_t frames)
{
    MixVoice* active = nullptr;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        MixVoice** link = &active;
        uint32_t count = 0;
        for (MixVoice* v = m_head; v;) {
            MixVoice* next = v->m_next;
            Sync(*v);
            if (v->m_main.active || v->m_tail.active) {
                *link = v;
                link = &v->m_nextActive;
                ++count;
            } else if (v->m_dying) {
                // Silent and released: the previous pass was the last to
                // see it, and that pass is over.
                if (v->m_prev)
                    v->m_prev->m_next = v->m_next;
                else
                    m_head = v->m_next;
                if (v->m_next)
                    v->m_next->m_prev = v->m_prev;
                v->m_detached = true;
            }
            v = next;
        }
        *link = nullptr;
        m_lastActive = count;
    }

    float* acc = m_accumulator.data();
    std::fill_n(acc, static_cast<size_t>(frames) * kMixChannels, 0.0f);
    for (MixVoice* v = active; v; v = v->m_nextActive) {
        if (v->m_tail.active)
            MixCursor(*v, v->m_tail, true, acc, frames);
        if (v->m_main.active)
            MixCursor(*v, v->m_main, false, acc, frames);
    }

    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (MixVoice* v = active; v; v = v->m_nextActive) {
            VoiceParams& p = v->m_params;
            // The owner changed the voice meanwhile: its word wins.
            if (p.serial != v->m_seenSerial || !v->m_playing)
                continue;
            if (v->m_main.active) {
                // A sound ringing out past its last frame reports that frame.
                const uint64_t last = static_cast<uint64_t>(v->m_format.frames - 1) << 32;
                p.position = std::min(v->m_main.position, last);
            } else if (p.plays != v->m_seenPlays) {
                // Played again while this pass ran out of sound: from the top.
                p.position = 0;
                ++p.serial;
            } else {
                v->m_playing = false;
                p.playing = false;
                p.position = 0;
            }
        }
    }

    // Peak limiter, linked across both channels: the follower jumps to any
    // louder peak at once (so no sample passes the ceiling) and decays
    // slowly; below the ceiling the gain is exactly 1 and the mix is the
    // plain sum.
    float envelope = m_envelope;
    for (size_t i = 0; i < static_cast<size_t>(frames) * kMixChannels; i += kMixChannels) {
        const float peak = std::max(std::fabs(acc[i]), std::fabs(acc[i + 1]));
        envelope = std::max(peak, envelope * kLimitRelease);
        const float gain = envelope > kLimitCeiling ? kLimitCeiling / envelope : 1.0f;
        for (size_t c = 0; c < kMixChannels; ++c) {
            const float s = std::clamp(acc[i + c] * gain, -32768.0f, 32767.0f);
            out[i + c] = static_cast<int16_t>(std::lrint(s));
        }
    }
    m_envelope = envelope;
}

}  // namespace vantor::dsound
