// The pterodactyl actors and the shared model cache.
#include "creatures/pterodactyl.h"

#include <algorithm>
#include <cmath>
#include <strings.h>

#include "base/random.h"
#include "base/system.h"
#include "creatures/sound_system.h"
#include "settings/settings.h"

const std::array<AnimClip, 3> kPteroClips = {{
    {1, 19, 10.0f, true},
    {21, 39, 10.0f, true},
    {41, 59, 20.0f, true},
}};

const ClipEvent kPteroEvents[4] = {{45, 4099}, {50, 4097}, {10, 4098}, {-1, -1}};

const char* const CPterodactyl::kVoiceFiles[kVoiceCount] = {
    "sound/fly8bit.wav",  "sound/cry8bit1.wav", "sound/cry8bit2.wav", "sound/cry8bit3.wav",
    "sound/wind8bit.wav", "sound/ptero8bit.wav", "sound/ptero8bit2.wav",
};

namespace {

struct CacheEntry {
    std::string name;
    std::unique_ptr<CSkinnedModel> model;
};

std::vector<CacheEntry>& Cache()
{
    static std::vector<CacheEntry> cache;
    return cache;
}

// Frames walked by one FireEvents call at most: a stalled clock cannot make
// it loop for long (a clip cycle is at most a few dozen frames).
constexpr int64_t kMaxEventFrames = 4096;

}  // namespace

int32_t ModelCache::Get(std::string_view name, IRender& render)
{
    auto& cache = Cache();
    for (size_t i = 0; i < cache.size(); ++i) {
        if (cache[i].name.size() == name.size() &&
            strncasecmp(cache[i].name.c_str(), name.data(), name.size()) == 0)
            return static_cast<int32_t>(i);
    }
    auto model = std::make_unique<CSkinnedModel>();
    if (!model->Load(name, render))
        return -1;
    cache.push_back({std::string(name), std::move(model)});
    return static_cast<int32_t>(cache.size() - 1);
}

CSkinnedModel* ModelCache::At(int32_t index)
{
    auto& cache = Cache();
    return index >= 0 && static_cast<size_t>(index) < cache.size() ? cache[size_t(index)].model.get() : nullptr;
}

size_t ModelCache::Count()
{
    return Cache().size();
}

void ModelCache::Clear()
{
    for (CacheEntry& e : Cache())
        e.model->ReleaseBuffers();
    Cache().clear();
}

CPterodactyl::CPterodactyl()
{
    // Far beyond hearing until the placement step puts it somewhere.
    m_world.m[3][0] = m_world.m[3][1] = m_world.m[3][2] = 1e20f;
    m_voices.fill(-1);
}

double CPterodactyl::Now()
{
    return g_pSystem ? g_pSystem->GetTotalTime() : 0.0;
}

bool CPterodactyl::Load(IRender& render)
{
    m_model = ModelCache::Get("models/ptero.smd", render);
    if (!ModelCache::At(m_model))
        return false;
    for (int v = 0; v < kVoiceCount; ++v) {
        m_voices[size_t(v)] = SoundCreateVoice(kVoiceFiles[v]);
        SoundSetVoice(m_voices[size_t(v)], 1.0f, 0.0f, 1.0f);
    }
    PlayClip(kPteroClips[0], 0.0f);
    SetEvents(kPteroEvents);
    return true;
}

void CPterodactyl::PlayClip(const AnimClip& clip, float fadeDuration)
{
    UpdatePose();
    if (CSkinnedModel* model = ModelCache::At(m_model))
        model->GetSkeleton().CapturePose(m_fadePose);
    if (m_clip == &clip && clip.loop) {
        m_fadeDuration = 0;
        return;
    }
    m_clip = &clip;
    m_clipStart = Now();
    m_fadeDuration = fadeDuration;
    m_lastFramePos = clip.first - 1;
}

void CPterodactyl::UpdatePose()
{
    CSkinnedModel* model = ModelCache::At(m_model);
    if (!m_clip || !model)
        return;
    const auto t = static_cast<float>(Now() - m_clipStart);
    CSkeleton& skeleton = model->GetSkeleton();
    skeleton.SampleClip(*m_clip, t);
    if (!m_fadePose.empty() && t < m_fadeDuration)
        skeleton.BlendFromPose(m_fadePose, std::clamp(t / m_fadeDuration, 0.0f, 1.0f));
}

void CPterodactyl::FireEvents()
{
    if (!m_events || !m_clip)
        return;
    const double pos = (Now() - m_clipStart) * m_clip->speed + m_clip->first;
    // A clock that is not a number, or so far out that its frame number has
    // no integer, has no events to fire: it is noted and nothing else.
    constexpr double kFarFrame = 1e15;
    if (!(std::fabs(pos) < kFarFrame) || !(std::fabs(m_lastFramePos) < kFarFrame)) {
        m_lastFramePos = std::isfinite(pos) ? pos : m_clip->first - 1;
        return;
    }
    const auto cur = static_cast<int64_t>(std::floor(pos));
    const auto prev = static_cast<int64_t>(std::floor(m_lastFramePos));
    if (cur != prev) {
        const int64_t from = std::max(prev + 1, cur - kMaxEventFrames);
        for (const ClipEvent* e = m_events; e->frame >= 0 && e->id >= 0; ++e) {
            for (int64_t i = from; i <= cur; ++i) {
                if (static_cast<int64_t>(WrapClipFrame(*m_clip, static_cast<float>(i))) == e->frame)
                    OnEvent(e->id);
            }
        }
    }
    m_lastFramePos = pos;
}

void CPterodactyl::OnEvent(int32_t id)
{
    if (id != kFlapEvent)
        return;
    ++m_flaps;
    SoundSetVoice3D(m_voices[kFlap], 1.0f, Position(), vmath::Vec3{});
    SoundPlay(m_voices[kFlap], 1, 0);
}

void CPterodactyl::Update()
{
    FireEvents();
    const double t = Now();
    if (m_nextAction < t) {
        PlayClip(kPteroClips[size_t(RandomInt() % 3)], 0.5f);
        m_nextAction = t + RandomFloat(1.0f, 3.0f);
        static const struct {
            Voice voice;
            float volume;
        } calls[5] = {{kCry1, 0.5f}, {kCry2, 0.5f}, {kCry3, 0.5f}, {kCall1, 0.3f}, {kCall2, 0.3f}};
        const auto& call = calls[RandomInt() % 5];
        SoundSetVoice3D(m_voices[call.voice], call.volume, Position(), vmath::Vec3{});
        SoundPlay(m_voices[call.voice], 1, 0);
    }
    SoundSetVoice3D(m_voices[kWind], 1.0f, Position(), vmath::Vec3{});
    if (!SoundIsPlaying(m_voices[kWind]))
        SoundPlay(m_voices[kWind], 1, 1);
}

void CPterodactyl::Draw()
{
    UpdatePose();
    if (CSkinnedModel* model = ModelCache::At(m_model))
        model->Draw(m_world, g_Settings.Fog != 0);
}
