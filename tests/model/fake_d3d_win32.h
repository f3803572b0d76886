// The rest of the Direct3D 8 interfaces, for the fakes in the Windows build.
//
// Our own d3d8.h declares only what the engine calls, so the fakes implement
// just that. The system's headers declare every method of the published
// interfaces; these bases answer the ones the engine never calls, so that
// the same fakes compile against both.
#pragma once

#ifdef _WIN32
#include <d3d8.h>

namespace fake {

// Private data on every resource.
template <class Base>
class PrivateDataStubs : public Base {
public:
    HRESULT SetPrivateData(REFGUID, const void*, DWORD, DWORD) override { return E_NOTIMPL; }
    HRESULT GetPrivateData(REFGUID, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT FreePrivateData(REFGUID) override { return E_NOTIMPL; }
};

class DeviceStubs : public IDirect3DDevice8 {
public:
    UINT GetAvailableTextureMem() override { return 0; }
    HRESULT ResourceManagerDiscardBytes(DWORD) override { return E_NOTIMPL; }
    HRESULT SetCursorProperties(UINT, UINT, IDirect3DSurface8*) override { return E_NOTIMPL; }
    void SetCursorPosition(UINT, UINT, DWORD) override {}
    BOOL ShowCursor(BOOL) override { return FALSE; }
    HRESULT CreateAdditionalSwapChain(D3DPRESENT_PARAMETERS*, IDirect3DSwapChain8**) override { return E_NOTIMPL; }
    HRESULT Reset(D3DPRESENT_PARAMETERS*) override { return E_NOTIMPL; }
    HRESULT GetRasterStatus(D3DRASTER_STATUS*) override { return E_NOTIMPL; }
    HRESULT CreateVolumeTexture(UINT, UINT, UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DVolumeTexture8**) override
    {
        return E_NOTIMPL;
    }
    HRESULT CreateCubeTexture(UINT, UINT, DWORD, D3DFORMAT, D3DPOOL, IDirect3DCubeTexture8**) override
    {
        return E_NOTIMPL;
    }
    HRESULT CreateImageSurface(UINT, UINT, D3DFORMAT, IDirect3DSurface8**) override { return E_NOTIMPL; }
    HRESULT CopyRects(IDirect3DSurface8*, const RECT*, UINT, IDirect3DSurface8*, const POINT*) override
    {
        return E_NOTIMPL;
    }
    HRESULT UpdateTexture(IDirect3DBaseTexture8*, IDirect3DBaseTexture8*) override { return E_NOTIMPL; }
    HRESULT GetFrontBuffer(IDirect3DSurface8*) override { return E_NOTIMPL; }
    HRESULT MultiplyTransform(D3DTRANSFORMSTATETYPE, const D3DMATRIX*) override { return E_NOTIMPL; }
    HRESULT SetMaterial(const D3DMATERIAL8*) override { return E_NOTIMPL; }
    HRESULT GetMaterial(D3DMATERIAL8*) override { return E_NOTIMPL; }
    HRESULT SetLight(DWORD, const D3DLIGHT8*) override { return E_NOTIMPL; }
    HRESULT GetLight(DWORD, D3DLIGHT8*) override { return E_NOTIMPL; }
    HRESULT LightEnable(DWORD, BOOL) override { return E_NOTIMPL; }
    HRESULT GetLightEnable(DWORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT SetClipPlane(DWORD, const float*) override { return E_NOTIMPL; }
    HRESULT GetClipPlane(DWORD, float*) override { return E_NOTIMPL; }
    HRESULT BeginStateBlock() override { return E_NOTIMPL; }
    HRESULT EndStateBlock(DWORD*) override { return E_NOTIMPL; }
    HRESULT ApplyStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT CaptureStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT DeleteStateBlock(DWORD) override { return E_NOTIMPL; }
    HRESULT CreateStateBlock(D3DSTATEBLOCKTYPE, DWORD*) override { return E_NOTIMPL; }
    HRESULT SetClipStatus(const D3DCLIPSTATUS8*) override { return E_NOTIMPL; }
    HRESULT GetClipStatus(D3DCLIPSTATUS8*) override { return E_NOTIMPL; }
    HRESULT ValidateDevice(DWORD*) override { return E_NOTIMPL; }
    HRESULT GetInfo(DWORD, void*, DWORD) override { return E_NOTIMPL; }
    HRESULT SetPaletteEntries(UINT, const PALETTEENTRY*) override { return E_NOTIMPL; }
    HRESULT GetPaletteEntries(UINT, PALETTEENTRY*) override { return E_NOTIMPL; }
    HRESULT SetCurrentTexturePalette(UINT) override { return E_NOTIMPL; }
    HRESULT GetCurrentTexturePalette(UINT*) override { return E_NOTIMPL; }
    HRESULT DrawPrimitiveUP(D3DPRIMITIVETYPE, UINT, const void*, UINT) override { return E_NOTIMPL; }
    HRESULT DrawIndexedPrimitiveUP(D3DPRIMITIVETYPE, UINT, UINT, UINT, const void*, D3DFORMAT, const void*,
                                   UINT) override
    {
        return E_NOTIMPL;
    }
    HRESULT ProcessVertices(UINT, UINT, UINT, IDirect3DVertexBuffer8*, DWORD) override { return E_NOTIMPL; }
    HRESULT GetVertexShaderDeclaration(DWORD, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetVertexShaderFunction(DWORD, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetPixelShaderFunction(DWORD, void*, DWORD*) override { return E_NOTIMPL; }
    HRESULT DrawRectPatch(UINT, const float*, const D3DRECTPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT DrawTriPatch(UINT, const float*, const D3DTRIPATCH_INFO*) override { return E_NOTIMPL; }
    HRESULT DeletePatch(UINT) override { return E_NOTIMPL; }
};

} // namespace fake

#define VANTOR_FAKE_RESOURCE_BASE(B) ::fake::PrivateDataStubs<B>
#define VANTOR_FAKE_DEVICE_BASE ::fake::DeviceStubs
#else
#define VANTOR_FAKE_RESOURCE_BASE(B) B
#define VANTOR_FAKE_DEVICE_BASE IDirect3DDevice8
#endif
