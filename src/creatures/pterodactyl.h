// The pterodactyl actors: each plays one of three wing clips of the shared
// model, changes clip at random with a cross-fade, and carries its sounds —
// a wind loop that travels with it, wing flaps fired by an animation event,
// and a cry or call at every random clip change.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/irender.h"
#include "model/anim_math.h"
#include "model/skeleton.h"
#include "model/skinned_model.h"

struct ClipEvent {
    int32_t frame;
    int32_t id;
};

// The three wing clips and the event table all actors share.
extern const std::array<AnimClip, 3> kPteroClips;
extern const ClipEvent kPteroEvents[4];
constexpr int32_t kFlapEvent = 4099;

// The process's shared models, by archive name.
class ModelCache {
public:
    // Index of the model named `name` (any letter case), loading it on first
    // use; -1 when it cannot be loaded (nothing is cached then).
    static int32_t Get(std::string_view name, IRender& render);
    static CSkinnedModel* At(int32_t index);
    static size_t Count();
    // Releases every model's device buffers and forgets the models.
    static void Clear();
};

class CPterodactyl {
public:
    // The voices, in creation order.
    enum Voice { kFlap, kCry1, kCry2, kCry3, kWind, kCall1, kCall2, kVoiceCount };
    static const char* const kVoiceFiles[kVoiceCount];

    CPterodactyl();

    bool Load(IRender& render);
    // Once per frame: events, random clip changes with their cries, wind.
    void Update();
    void SetWorldMatrix(const vmath::Mat4& world) { m_world = world; }
    // The clip-event table (Load sets the shared one).
    void SetEvents(const ClipEvent* events) { m_events = events; }
    // Poses the shared model for this actor and draws it.
    void Draw();

    void PlayClip(const AnimClip& clip, float fadeDuration);
    void UpdatePose();
    void FireEvents();
    void OnEvent(int32_t id);

    const AnimClip* Clip() const { return m_clip; }
    double ClipStart() const { return m_clipStart; }
    float FadeDuration() const { return m_fadeDuration; }
    double NextAction() const { return m_nextAction; }
    int32_t VoiceHandle(Voice v) const { return m_voices[v]; }
    const vmath::Mat4& World() const { return m_world; }
    vmath::Vec3 Position() const { return vmath::Row(m_world, 3); }
    // How many wing flaps have sounded.
    int32_t FlapCount() const { return m_flaps; }

private:
    // The application clock in double: a float of it would step by a
    // thirty-second of a second after a few days.
    static double Now();

    const AnimClip* m_clip = nullptr;
    const ClipEvent* m_events = nullptr;
    double m_clipStart = 0;
    float m_fadeDuration = 0;
    double m_lastFramePos = -1;
    int32_t m_model = -1;
    std::vector<BonePose> m_fadePose;
    vmath::Mat4 m_world;
    double m_nextAction = 0;
    std::array<int32_t, kVoiceCount> m_voices;
    int32_t m_flaps = 0;
};
