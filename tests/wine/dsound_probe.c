/* dsound_probe.exe: proves that the Wine prefix has a working sound device.
 * Creates the default DirectSound device, plays a looping secondary buffer
 * and waits until its play cursor moves, which happens only when the driver
 * really consumes samples. Exit code 0 on success, 1 with a reason on
 * stderr otherwise. */
#include <windows.h>
#include <dsound.h>
#include <stdio.h>

static int fail(const char *what, HRESULT hr)
{
    fprintf(stderr, "dsound_probe: %s failed (0x%08lx)\n", what, (unsigned long)hr);
    return 1;
}

int main(void)
{
    LPDIRECTSOUND ds = NULL;
    HRESULT hr = DirectSoundCreate(NULL, &ds, NULL);
    if (FAILED(hr)) return fail("DirectSoundCreate", hr);
    hr = IDirectSound_SetCooperativeLevel(ds, GetDesktopWindow(), DSSCL_NORMAL);
    if (FAILED(hr)) return fail("SetCooperativeLevel", hr);

    WAVEFORMATEX fmt = {0};
    fmt.wFormatTag = WAVE_FORMAT_PCM;
    fmt.nChannels = 2;
    fmt.nSamplesPerSec = 44100;
    fmt.wBitsPerSample = 16;
    fmt.nBlockAlign = 4;
    fmt.nAvgBytesPerSec = 44100 * 4;
    DSBUFFERDESC desc = {0};
    desc.dwSize = sizeof desc;
    desc.dwFlags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS;
    desc.dwBufferBytes = fmt.nAvgBytesPerSec; /* one second */
    desc.lpwfxFormat = &fmt;
    LPDIRECTSOUNDBUFFER buf = NULL;
    hr = IDirectSound_CreateSoundBuffer(ds, &desc, &buf, NULL);
    if (FAILED(hr)) return fail("CreateSoundBuffer", hr);

    void *p1, *p2;
    DWORD n1, n2;
    hr = IDirectSoundBuffer_Lock(buf, 0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER);
    if (FAILED(hr)) return fail("Lock", hr);
    short *s = p1;
    for (DWORD i = 0; i < n1 / 2; ++i) s[i] = (short)((i / 2 % 100 < 50) ? 3000 : -3000);
    IDirectSoundBuffer_Unlock(buf, p1, n1, p2, n2);
    hr = IDirectSoundBuffer_Play(buf, 0, 0, DSBPLAY_LOOPING);
    if (FAILED(hr)) return fail("Play", hr);

    /* The cursor moves in steps of the driver's period; 20 s allows for a
     * machine under heavy load without ever passing on a stuck device. */
    DWORD start = GetTickCount(), play = 0, write = 0;
    while (GetTickCount() - start < 20000) {
        Sleep(10);
        hr = IDirectSoundBuffer_GetCurrentPosition(buf, &play, &write);
        if (FAILED(hr)) return fail("GetCurrentPosition", hr);
        if (play != 0) break;
    }
    if (play == 0) {
        fprintf(stderr, "dsound_probe: the play cursor never moved\n");
        return 1;
    }
    DWORD status = 0;
    IDirectSoundBuffer_GetStatus(buf, &status);
    if (!(status & DSBSTATUS_PLAYING)) {
        fprintf(stderr, "dsound_probe: buffer not playing (status 0x%lx)\n", (unsigned long)status);
        return 1;
    }
    IDirectSoundBuffer_Stop(buf);
    IDirectSoundBuffer_Release(buf);
    IDirectSound_Release(ds);
    printf("dsound_probe: playing, cursor at %lu\n", (unsigned long)play);
    return 0;
}
