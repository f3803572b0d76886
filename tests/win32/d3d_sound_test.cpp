// The engine's platform calls against the system's own Direct3D 8 and
// DirectSound (under Wine in CI): reading pictures back from a real device,
// and the sound system's voices on real DirectSound buffers.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <zip.h>

#include "../support/test_zip.h"

#include "archive/archive.h"
#include "creatures/sound_system.h"
#include "d3d8_vantor.h"

namespace {

// A device on a hidden window, as the off-screen renderer makes it.
class RealDevice : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_window = VantorCreateOffscreenWindow(64, 48);
        ASSERT_NE(m_window, nullptr);
        m_d3d = Direct3DCreate8(D3D_SDK_VERSION);
        ASSERT_NE(m_d3d, nullptr);
        D3DDISPLAYMODE mode{};
        ASSERT_EQ(m_d3d->GetAdapterDisplayMode(0, &mode), D3D_OK);
        D3DPRESENT_PARAMETERS pp{};
        pp.Windowed = TRUE;
        pp.BackBufferWidth = 64;
        pp.BackBufferHeight = 48;
        pp.BackBufferFormat = mode.Format;
        pp.SwapEffect = D3DSWAPEFFECT_COPY;
        ASSERT_EQ(m_d3d->CreateDevice(0, D3DDEVTYPE_HAL, m_window, D3DCREATE_SOFTWARE_VERTEXPROCESSING, &pp, &m_device),
                  D3D_OK);
    }
    void TearDown() override
    {
        if (m_device)
            m_device->Release();
        if (m_d3d)
            m_d3d->Release();
        VantorDestroyOffscreenWindow(m_window);
    }

    // Every pixel of `image` is `argb`, and it is width x height.
    static void ExpectFilled(const VantorImage& image, UINT width, UINT height, uint32_t argb)
    {
        ASSERT_EQ(image.width, width);
        ASSERT_EQ(image.height, height);
        ASSERT_EQ(image.pixels.size(), size_t{width} * height);
        size_t wrong = 0;
        for (uint32_t p : image.pixels)
            wrong += p != argb;
        EXPECT_EQ(wrong, 0u) << "first pixel " << std::hex << image.pixels[0] << ", wanted " << argb;
    }

    HWND m_window = nullptr;
    IDirect3D8* m_d3d = nullptr;
    IDirect3DDevice8* m_device = nullptr;
};

TEST_F(RealDevice, PresentedPictureAndRenderTargetsReadBackAsArgb)
{
    // Left and right halves differ, so a picture read back mirrored or with
    // its channels swapped cannot pass.
    const D3DRECT left{0, 0, 32, 48}, right{32, 0, 64, 48};
    ASSERT_EQ(m_device->Clear(1, &left, D3DCLEAR_TARGET, 0xFF336699u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(m_device->Clear(1, &right, D3DCLEAR_TARGET, 0xFFC08010u, 1.0f, 0), D3D_OK);
    ASSERT_EQ(m_device->Present(nullptr, nullptr, nullptr, nullptr), D3D_OK);
    VantorImage shown;
    ASSERT_EQ(VantorReadPresented(m_device, &shown), D3D_OK);
    ASSERT_EQ(shown.width, 64u);
    ASSERT_EQ(shown.height, 48u);
    EXPECT_EQ(shown.At(0, 0), 0xFF336699u);
    EXPECT_EQ(shown.At(31, 47), 0xFF336699u);
    EXPECT_EQ(shown.At(32, 0), 0xFFC08010u);
    EXPECT_EQ(shown.At(63, 47), 0xFFC08010u);

    // A render-target texture (motion blur's kind) on its own.
    IDirect3DTexture8* texture = nullptr;
    ASSERT_EQ(m_device->CreateTexture(16, 8, 1, D3DUSAGE_RENDERTARGET, D3DFMT_X8R8G8B8, D3DPOOL_DEFAULT, &texture),
              D3D_OK);
    IDirect3DSurface8* level = nullptr;
    ASSERT_EQ(texture->GetSurfaceLevel(0, &level), D3D_OK);
    ASSERT_EQ(m_device->SetRenderTarget(level, nullptr), D3D_OK);
    ASSERT_EQ(m_device->Clear(0, nullptr, D3DCLEAR_TARGET, 0x00204080u, 1.0f, 0), D3D_OK);
    VantorImage target;
    EXPECT_EQ(VantorReadSurface(level, &target), D3D_OK);
    ExpectFilled(target, 16, 8, 0xFF204080u);  // X8: read as opaque
    level->Release();
    texture->Release();

    VantorDepthImage depth;
    EXPECT_EQ(VantorReadBackBufferDepth(m_device, &depth), E_NOTIMPL) << "a D16 depth buffer cannot be read back";
}

TEST(OffscreenWindow, IsHiddenAndHasTheAskedClientSize)
{
    HWND window = VantorCreateOffscreenWindow(300, 200);
    ASSERT_NE(window, nullptr);
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right - client.left, 300);
    EXPECT_EQ(client.bottom - client.top, 200);
    EXPECT_FALSE(IsWindowVisible(window));
    VantorDestroyOffscreenWindow(window);
    EXPECT_FALSE(IsWindow(window));
    VantorDestroyOffscreenWindow(nullptr);
}

// An 8-bit mono WAV file of `count` samples at 11,025 Hz.
std::vector<uint8_t> Wave8(size_t count)
{
    auto le = [](std::vector<uint8_t>& v, uint32_t x, int bytes) {
        for (int i = 0; i < bytes; ++i)
            v.push_back(static_cast<uint8_t>(x >> (8 * i)));
    };
    std::vector<uint8_t> w = {'R', 'I', 'F', 'F'};
    le(w, static_cast<uint32_t>(36 + count), 4);
    w.insert(w.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    le(w, 16, 4);
    le(w, 1, 2);      // PCM
    le(w, 1, 2);      // mono
    le(w, 11025, 4);  // rate
    le(w, 11025, 4);  // bytes per second
    le(w, 1, 2);      // block
    le(w, 8, 2);      // bits
    w.insert(w.end(), {'d', 'a', 't', 'a'});
    le(w, static_cast<uint32_t>(count), 4);
    w.insert(w.end(), count, 200);
    return w;
}

// A stored ZIP holding `members`, as bytes.
std::vector<uint8_t> Archive(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& members)
{
    return testzip::Build(members);
}

// The sound system on the system's DirectSound: buffers are created,
// duplicated per voice, take the volume, pan and frequency it computes
// (real DirectSound refuses values outside its ranges) and play.
TEST(RealDirectSound, VoicesTakeTheirParametersAndPlay)
{
    const auto archive = Archive({{"sound/a.wav", Wave8(4000)}});
    ASSERT_TRUE(OpenResourceArchive(archive));
    HWND window = VantorCreateOffscreenWindow(16, 16);
    ASSERT_NE(window, nullptr);
    const int opened = SoundInit(window);
    if (!opened) {
        SoundShutdown();
        CloseResourceArchive();
        VantorDestroyOffscreenWindow(window);
        GTEST_SKIP() << "no audio device (under Wine: winealsa.drv's ALSAOutputDevices = null)";
    }
    const int a = SoundCreateVoice("sound/a.wav"), b = SoundCreateVoice("sound/a.wav");
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);
    EXPECT_EQ(SoundCreateVoice("sound/missing.wav"), -1);

    ASSERT_EQ(SoundSetVoice(a, 0.5f, -0.5f, 2.0f), 1);
    ASSERT_EQ(SoundPlay(a, 0, 1), 1);
    EXPECT_EQ(SoundIsPlaying(a), 1);
    EXPECT_EQ(SoundIsPlaying(b), 0);
    IDirectSoundBuffer* buffer = GetSoundSystem()->Voice(a)->sample->Buffer();
    LONG volume = 1, pan = 1;
    DWORD frequency = 0;
    buffer->GetVolume(&volume);
    buffer->GetPan(&pan);
    buffer->GetFrequency(&frequency);
    EXPECT_EQ(volume, VolumeToDirectSound(0.5f));
    EXPECT_EQ(pan, PanToDirectSound(-0.5f));
    EXPECT_EQ(frequency, 22050u);

    // Far beyond what DirectSound takes: clamped, so the call still lands.
    ASSERT_EQ(SoundSetVoice(b, 1.0f, 0.0f, 1000.0f), 1);
    ASSERT_EQ(SoundPlay(b, 0, 0), 1);
    GetSoundSystem()->Voice(b)->sample->Buffer()->GetFrequency(&frequency);
    EXPECT_EQ(frequency, static_cast<DWORD>(DSBFREQUENCY_MAX));

    // Volume 0 stops a playing voice at the next update.
    ASSERT_EQ(SoundSetVoice(a, 0.0f, 0.0f, 1.0f), 1);
    EXPECT_EQ(SoundUpdate(), 1);
    EXPECT_EQ(SoundIsPlaying(a), 0);

    EXPECT_EQ(SoundShutdown(), 1);
    CloseResourceArchive();
    VantorDestroyOffscreenWindow(window);
}

}  // namespace
