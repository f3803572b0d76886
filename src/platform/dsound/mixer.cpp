// The software mixer: snapshot under the lock, mix without it, publish.
#include "platform/dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace vantor::dsound {

namespace {

constexpr float kFracScale = 1.0f / 4294967296.0f;

// The limiter lets go over about 200 ms: slow enough not to pump audibly
// with the wind's gusts, quick enough to come back after a chorus of cries.
const float kLimitRelease = std::exp(-1.0f / (0.2f * static_cast<float>(kMixRate)));

// One source frame as int16-scaled floats; mono feeds both sides.
template <int Bits, int Channels>
inline void ReadFrame(const uint8_t* bytes, uint32_t index, float& left, float& right)
{
    if constexpr (Bits == 8) {
        const uint8_t* p = bytes + static_cast<size_t>(index) * Channels;
        left = static_cast<float>(static_cast<int>(p[0]) - 128) * 256.0f;
        right = Channels == 2 ? static_cast<float>(static_cast<int>(p[1]) - 128) * 256.0f : left;
    } else {
        int16_t s[Channels];
        std::memcpy(s, bytes + static_cast<size_t>(index) * Channels * 2, sizeof s);
        left = static_cast<float>(s[0]);
        right = static_cast<float>(s[Channels - 1]);
    }
}

void ReadAny(const VoiceFormat& f, const uint8_t* bytes, uint32_t index, float& left, float& right)
{
    if (f.bitsPerSample == 8)
        f.channels == 2 ? ReadFrame<8, 2>(bytes, index, left, right) : ReadFrame<8, 1>(bytes, index, left, right);
    else
        f.channels == 2 ? ReadFrame<16, 2>(bytes, index, left, right) : ReadFrame<16, 1>(bytes, index, left, right);
}

// The hot loop: linear interpolation between two taps that are both known
// to lie inside the data, gains moving by a fixed delta per frame.
template <int Bits, int Channels>
void MixRun(const uint8_t* bytes, uint64_t& position, uint64_t step, float gl, float gr, float dl, float dr,
            float* acc, uint32_t frames)
{
    uint64_t pos = position;
    for (uint32_t k = 0; k < frames; ++k) {
        const auto i = static_cast<uint32_t>(pos >> 32);
        const float f = static_cast<float>(static_cast<uint32_t>(pos)) * kFracScale;
        float l0, r0, l1, r1;
        ReadFrame<Bits, Channels>(bytes, i, l0, r0);
        ReadFrame<Bits, Channels>(bytes, i + 1, l1, r1);
        acc[2 * k] += (l0 + (l1 - l0) * f) * gl;
        acc[2 * k + 1] += (r0 + (r1 - r0) * f) * gr;
        gl += dl;
        gr += dr;
        pos += step;
    }
    position = pos;
}

using MixRunFn = void (*)(const uint8_t*, uint64_t&, uint64_t, float, float, float, float, float*, uint32_t);

MixRunFn PickRun(const VoiceFormat& f)
{
    if (f.bitsPerSample == 8)
        return f.channels == 2 ? &MixRun<8, 2> : &MixRun<8, 1>;
    return f.channels == 2 ? &MixRun<16, 2> : &MixRun<16, 1>;
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

MixVoice* CMixer::AddVoice(std::shared_ptr<SampleData> data, VoiceFormat format)
{
    CollectRetired();
    auto* voice = new (std::nothrow) MixVoice(std::move(data), format);
    if (!voice)
        return nullptr;
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
        if (v.m_main.active && (v.m_main.gainLeft != 0.0f || v.m_main.gainRight != 0.0f)) {
            v.m_tail = v.m_main;
            v.m_tail.targetLeft = v.m_tail.targetRight = 0.0f;
            v.m_tail.rampLeft = kRampFrames;
        }
        v.m_main = MixVoice::Cursor{};
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

void CMixer::MixCursor(const MixVoice& v, MixVoice::Cursor& c, bool fading, float* acc, uint32_t frames)
{
    const uint32_t count = v.m_format.frames;
    const uint64_t end = static_cast<uint64_t>(count) << 32;
    const uint64_t lastTap = static_cast<uint64_t>(count - 1) << 32;
    const uint64_t step = v.m_step;
    const bool looping = v.m_looping;

    uint32_t done = 0;
    while (done < frames) {
        if (c.position >= end) {
            if (!looping) {
                c.active = false;
                return;
            }
            c.position %= end;
        }
        uint32_t len = frames - done;

        // A voice at zero gain only moves on; far-away positional voices
        // cost next to nothing.
        if (c.rampLeft == 0 && c.gainLeft == 0.0f && c.gainRight == 0.0f) {
            if (fading) {
                c.active = false;
                return;
            }
            c.position += step * len;
            done += len;
            continue;
        }

        float dl = 0.0f, dr = 0.0f;
        if (c.rampLeft > 0) {
            len = std::min(len, c.rampLeft);
            dl = (c.targetLeft - c.gainLeft) / static_cast<float>(c.rampLeft);
            dr = (c.targetRight - c.gainRight) / static_cast<float>(c.rampLeft);
        }
        float* dst = acc + static_cast<size_t>(done) * kMixChannels;
        if (c.position < lastTap) {
            const uint64_t inside = (lastTap - c.position + step - 1) / step;
            if (inside < len)
                len = static_cast<uint32_t>(inside);
            PickRun(v.m_format)(v.m_bytes, c.position, step, c.gainLeft, c.gainRight, dl, dr, dst, len);
        } else {
            // The last frame: its second tap is the first frame when looping
            // (so the loop point is seamless) and silence otherwise.
            len = 1;
            const auto i = static_cast<uint32_t>(c.position >> 32);
            const float f = static_cast<float>(static_cast<uint32_t>(c.position)) * kFracScale;
            float l0, r0, l1 = 0.0f, r1 = 0.0f;
            ReadAny(v.m_format, v.m_bytes, i, l0, r0);
            if (i + 1 < count)
                ReadAny(v.m_format, v.m_bytes, i + 1, l1, r1);
            else if (looping)
                ReadAny(v.m_format, v.m_bytes, 0, l1, r1);
            dst[0] += (l0 + (l1 - l0) * f) * c.gainLeft;
            dst[1] += (r0 + (r1 - r0) * f) * c.gainRight;
            c.position += step;
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
    if (fading && c.rampLeft == 0)
        c.active = false;
    if (c.position >= end) {
        if (looping)
            c.position %= end;
        else
            c.active = false;
    }
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
                p.position = v->m_main.position;
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
