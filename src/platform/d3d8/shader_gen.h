// Direct3D 8 vertex declarations and shader token streams to GLSL 3.30,
// and the fragment programs of the fixed-function texture stages.
//
// Everything here reads untrusted tokens: a malformed or unsupported stream
// makes the parse fail with a reason, it never reads past the END token or
// the length the caller gives.
#pragma once

#include "platform/d3d8/d3d8.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct VertexElement {
    UINT stream;
    UINT reg;
    UINT type;  // D3DVSDT_*
    UINT offset;
};

struct VertexDecl {
    std::vector<VertexElement> elements;
    std::vector<std::pair<UINT, std::array<float, 4>>> constants;  // D3DVSD_CONST loads
};

// Every reader below takes the number of tokens the caller holds and never
// reads past it. The Direct3D 8 entry points receive no length; they pass
// these bounds, which no legal stream comes near.
constexpr size_t kMaxDeclarationTokens = 1024;
constexpr size_t kMaxShaderTokens = 65536;

// Published instruction-slot limits: vs.1.1 runs at most 128 slots; ps.1.1
// at most 8 arithmetic slots (a co-issued pair shares one) and 4 texture
// slots. Longer programs are refused like any other malformed stream.
constexpr int kMaxVertexShaderSlots = 128;
constexpr int kMaxPixelArithmeticSlots = 8;
constexpr int kMaxPixelTextureSlots = 4;

bool ParseDeclaration(const DWORD* tokens, size_t count, VertexDecl* out, std::string* why);

// clipControl: the context maps z in [0, w] itself; otherwise the program
// remaps depth.
bool TranslateVertexShader(const DWORD* tokens, size_t count, const VertexDecl& decl, bool clipControl,
                           std::string* glsl, std::string* why);

// Which texture coordinate sets a fragment body reads, and how many
// components of each (0, 2, 3 or 4); key packs them for caching.
struct TexCoordUsage {
    int components[8] = {};
    uint32_t key = 0;
};
TexCoordUsage TexCoordUsageOf(const std::string& fragmentBody);

// The translated vertex program with exactly the texture coordinate
// outputs a fragment program reads.
std::string SpecialiseVertexShader(const std::string& generic, const TexCoordUsage& usage);

// The body of a pixel shader, to be completed by FinishFragment.
bool TranslatePixelShader(const DWORD* tokens, size_t count, std::string* body, std::string* why);

// Fixed-function stage state that decides the generated program.
struct StageKey {
    DWORD colorOp, colorArg0, colorArg1, colorArg2;
    DWORD alphaOp, alphaArg0, alphaArg1, alphaArg2;
    DWORD resultArg, texCoordIndex;
};
// Empty string and a reason when a stage uses an operation not supported.
bool GenerateStagesBody(const std::vector<StageKey>& stages, std::string* body, std::string* why);

// Wraps a body (which leaves its colour in `col`) with alpha test, vertex
// fog and the output. alphaFunc is a D3DCMPFUNC, 0 for no alpha test.
std::string FinishFragment(const std::string& body, bool fog, DWORD alphaFunc);

// The uniform block shared by every program, mirrored by UniformBlock.
struct UniformBlock {
    float vsConst[96][4];
    float psConst[8][4];
    float fogColor[4];
    float textureFactor[4];
    float pixelAdjust[4];  // 1/width, 1/height of the viewport; alpha ref
};
constexpr unsigned kMaxVertexConstants = 96;
constexpr unsigned kMaxPixelConstants = 8;
