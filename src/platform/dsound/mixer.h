// The software mixer behind the DirectSound buffers: every buffer is one
// voice here, and Render mixes the playing ones into signed 16-bit stereo at
// 44,100 Hz, through a peak limiter that is transparent below its ceiling.
//
// Each voice reaches the output rate through its own band-limited resampler
// (libsamplerate's sinc converter): a sound recorded at 11,025 Hz keeps to
// its own 5.5 kHz band instead of mirroring into the octaves above, and a
// change of pitch is glided across one pass instead of stepped.
//
// Two threads meet in this class. The owner thread (the DirectSound calls)
// changes a voice's parameters; the audio thread (Render) mixes. They share
// one mutex, and each side holds it only to copy parameters in or results
// out: Render snapshots every voice, mixes without the lock, then publishes
// play positions and end-of-sound. Render never allocates or frees.
//
// A released voice first fades out: it stays on the list, marked dying,
// until a pass finds it silent and unlinks it. Only then can no pass be
// mixing it any more, and the owner thread frees it (and the sample memory
// it points at) at its next call.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

// libsamplerate's converter state (samplerate.h stays out of this header).
struct SRC_STATE_tag;

namespace vantor::dsound {

inline constexpr uint32_t kMixRate = 44100;
inline constexpr uint32_t kMixChannels = 2;
// Starts, stops, jumps and gain changes ramp over this many output frames
// (about 2.9 ms): short enough to keep attacks crisp, long enough to avoid
// an audible click.
inline constexpr uint32_t kRampFrames = 128;
// The mix bus never goes past this level (about -0.2 dBFS): a crowd of loud
// voices is turned down for a moment instead of being clipped.
inline constexpr float kLimitCeiling = 32000.0f;

// PCM sample memory, shared by a buffer and its duplicates.
struct SampleData {
    std::unique_ptr<uint8_t[]> bytes;
    uint32_t size = 0;
};

struct VoiceFormat {
    uint16_t channels = 1;     // 1 or 2
    uint16_t bitsPerSample = 8; // 8 (unsigned) or 16 (signed)
    uint32_t frames = 0;       // whole frames in the memory, at least 1
};

// What the owner thread sets; read by Render at the start of each pass.
struct VoiceParams {
    float gainLeft = 1.0f;
    float gainRight = 1.0f;
    uint64_t step = uint64_t{1} << 32;  // source frames per output frame, 32.32
    bool playing = false;
    bool looping = false;
    uint64_t position = 0;  // source frame, 32.32; Render writes it back
    // Bumped by the owner for every discontinuity (start, stop, jump), so
    // Render knows to restart from `position`, and knows that its own
    // results for an older serial are stale.
    uint32_t serial = 0;
    // Bumped by every Play: a Play that lands while a pass is finding the
    // sound's natural end must start it again rather than be lost.
    uint32_t plays = 0;
};

class CMixer;

class MixVoice {
public:
    MixVoice(std::shared_ptr<SampleData> data, VoiceFormat format)
        : m_data(std::move(data)), m_bytes(m_data->bytes.get()), m_format(format) {}
    ~MixVoice();
    MixVoice(const MixVoice&) = delete;
    MixVoice& operator=(const MixVoice&) = delete;

private:
    friend class CMixer;

    struct Cursor {
        bool active = false;
        uint64_t position = 0;  // the play head, source frames in 32.32
        float gainLeft = 0, gainRight = 0;      // current
        float targetLeft = 0, targetRight = 0;  // where the ramp goes
        uint32_t rampLeft = 0;                   // frames until target is reached
        // One of the voice's two converters. It holds the last few source
        // frames it was given, so it is handed over with the cursor.
        ::SRC_STATE_tag* resampler = nullptr;
        bool primed = false;    // the converter's history ends at `fed`
        bool draining = false;  // a sound's last frame is in; the filter rings out
        uint32_t fed = 0;       // next source frame the converter gets
        uint32_t skip = 0;      // output frames still to drop (the history's)
        int64_t lead = 0;       // 32.32: how far `fed` runs ahead of `position`
    };

    // Immutable after construction (the converters are created with the
    // voice and used by Render only).
    std::shared_ptr<SampleData> m_data;
    const uint8_t* m_bytes;
    VoiceFormat m_format;
    std::array<::SRC_STATE_tag*, 2> m_resamplers{};

    // Guarded by the mixer's mutex.
    VoiceParams m_params;
    MixVoice* m_prev = nullptr;
    MixVoice* m_next = nullptr;
    bool m_dying = false;     // released by its owner; fading out
    bool m_detached = false;  // off the list: no pass can reach it again

    // Render's own; the owner thread never touches these.
    uint32_t m_seenSerial = 0;
    uint32_t m_seenPlays = 0;
    bool m_playing = false;
    bool m_looping = false;
    uint64_t m_step = 0;
    Cursor m_main;  // what is playing now
    Cursor m_tail;  // the fade-out of what played before a stop or jump
    MixVoice* m_nextActive = nullptr;
};

class CMixer {
public:
    CMixer() = default;
    ~CMixer();
    CMixer(const CMixer&) = delete;
    CMixer& operator=(const CMixer&) = delete;

    // Owner thread. The voice belongs to the mixer; RemoveVoice stops it
    // (with a fade) and retires it. Null when memory is exhausted.
    MixVoice* AddVoice(std::shared_ptr<SampleData> data, VoiceFormat format);
    void RemoveVoice(MixVoice* voice);

    // Owner thread: true when the last pass had nothing to mix.
    bool Quiet();

    // Owner thread: read or change a voice's parameters under the lock.
    template <class F>
    decltype(auto) WithParams(MixVoice* voice, F&& f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::forward<F>(f)(voice->m_params);
    }

    // Audio thread: mixes `frames` interleaved stereo frames into `out`.
    void Render(int16_t* out, uint32_t frames);

    // Owner thread: frees retired voices that no pass can reach any more.
    void CollectRetired();

private:
    static constexpr uint32_t kChunkFrames = 512;
    // Source frames a converter is fed beyond the play head, and before it
    // when it joins a sound mid-way: more than the filter reaches at the
    // lowest output/input ratio it meets.
    static constexpr uint32_t kLookahead = 64;
    // Source frames handed over in one go: a whole chunk at the highest
    // frequency a buffer takes (100 kHz) plus the look-ahead.
    static constexpr uint32_t kFeedFrames = 1280;

    MixVoice* Link(MixVoice* voice);
    void RenderChunk(int16_t* out, uint32_t frames);
    // Render's snapshot of one voice; called under the lock.
    static void Sync(MixVoice& v);
    // Mixes one cursor; a fading cursor ends when its ramp reaches silence.
    void MixCursor(const MixVoice& v, MixVoice::Cursor& c, bool fading, float* acc, uint32_t frames);
    // Runs the cursor's converter for up to `frames` output frames into
    // m_resampled; fewer only when a sound that does not loop has ended.
    uint32_t Resample(const MixVoice& v, MixVoice::Cursor& c, uint32_t frames);

    std::mutex m_mutex;
    MixVoice* m_head = nullptr;   // guarded by m_mutex
    uint32_t m_lastActive = 0;    // guarded by m_mutex: voices the last pass mixed

    // Owner thread: released voices and whether they are detached yet.
    std::vector<std::pair<std::unique_ptr<MixVoice>, bool>> m_retired;

    std::array<float, kChunkFrames * kMixChannels> m_accumulator{};  // audio thread
    std::array<float, kChunkFrames * kMixChannels> m_resampled{};    // audio thread
    std::array<float, kFeedFrames * kMixChannels> m_feed{};          // audio thread
    float m_envelope = 0.0f;  // audio thread: the limiter's peak follower
};

}  // namespace vantor::dsound
