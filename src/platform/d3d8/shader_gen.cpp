// Token streams to GLSL.
//
// Sections: 1 shared text  2 token reader  3 declarations  4 operands
//           5 vertex shaders  6 pixel shaders  7 texture stages  8 fragment tail
#include "platform/d3d8/shader_gen.h"

#include <cstring>
#include <sstream>

namespace {

// ------------------------------------------------------ 1 shared text
const char* const kTexOutMarker = "//@TEXOUT";
const char* const kTexAssignMarker = "//@TEXASSIGN";

const char* const kUniformBlock =
    "layout(std140) uniform D3DState {\n"
    "  vec4 c[96];\n"
    "  vec4 pc[8];\n"
    "  vec4 fogColor;\n"
    "  vec4 tfactor;\n"
    "  vec4 pixelAdjust;\n"
    "};\n";

// ------------------------------------------------------ 2 token reader
// Instructions parsed out of a function token stream.
struct Instr {
    DWORD opcode;
    bool coissue;
    bool hasDst;
    DWORD dst;
    std::vector<DWORD> src;
    float def[4];
};

struct OpShape {
    DWORD opcode;
    int dsts;
    int srcs;
};

const OpShape kVsOps[] = {
    {D3DSIO_NOP, 0, 0}, {D3DSIO_MOV, 1, 1},  {D3DSIO_ADD, 1, 2},  {D3DSIO_SUB, 1, 2},  {D3DSIO_MAD, 1, 3},
    {D3DSIO_MUL, 1, 2}, {D3DSIO_RCP, 1, 1},  {D3DSIO_RSQ, 1, 1},  {D3DSIO_DP3, 1, 2},  {D3DSIO_DP4, 1, 2},
    {D3DSIO_MIN, 1, 2}, {D3DSIO_MAX, 1, 2},  {D3DSIO_SLT, 1, 2},  {D3DSIO_SGE, 1, 2},  {D3DSIO_EXP, 1, 1},
    {D3DSIO_LOG, 1, 1}, {D3DSIO_LIT, 1, 1},  {D3DSIO_DST, 1, 2},  {D3DSIO_FRC, 1, 1},  {D3DSIO_M4x4, 1, 2},
    {D3DSIO_M4x3, 1, 2}, {D3DSIO_M3x4, 1, 2}, {D3DSIO_M3x3, 1, 2}, {D3DSIO_M3x2, 1, 2}, {D3DSIO_EXPP, 1, 1},
    {D3DSIO_LOGP, 1, 1},
};

// The ps.1.1 subset this runtime runs; the texture-addressing instructions
// (texbem, texm3x*, texreg2*) are rejected.
const OpShape kPsOps[] = {
    {D3DSIO_NOP, 0, 0}, {D3DSIO_MOV, 1, 1}, {D3DSIO_ADD, 1, 2},      {D3DSIO_SUB, 1, 2},
    {D3DSIO_MAD, 1, 3}, {D3DSIO_MUL, 1, 2}, {D3DSIO_DP3, 1, 2},      {D3DSIO_LRP, 1, 3},
    {D3DSIO_CND, 1, 3}, {D3DSIO_TEX, 1, 0}, {D3DSIO_TEXCOORD, 1, 0}, {D3DSIO_TEXKILL, 1, 0},
};

// Instruction slots of one vs.1.1 instruction: the macros expand.
int VertexSlots(DWORD opcode)
{
    switch (opcode) {
    case D3DSIO_EXP:
    case D3DSIO_LOG:
        return 10;
    case D3DSIO_FRC:
    case D3DSIO_M3x3:
    case D3DSIO_M4x3:
        return 3;
    case D3DSIO_M3x4:
    case D3DSIO_M4x4:
        return 4;
    case D3DSIO_M3x2:
        return 2;
    default:
        return 1;
    }
}

bool ReadInstructions(const DWORD* tokens, size_t count, bool pixel, std::vector<Instr>* out, std::string* why)
{
    if (!tokens || count == 0) {
        *why = "no tokens";
        return false;
    }
    const DWORD version = tokens[0];
    const DWORD expectHigh = pixel ? 0xFFFF0000u : 0xFFFE0000u;
    if ((version & 0xFFFF0000u) != expectHigh || (version & 0xFFFF) < 0x0100 || (version & 0xFFFF) > 0x0101) {
        *why = "unsupported shader version";
        return false;
    }
    size_t i = 1;
    auto next = [&](DWORD& t) {
        if (i >= count)
            return false;
        t = tokens[i++];
        return true;
    };
    int slots = 0, textureSlots = 0;
    for (;;) {
        DWORD tok;
        if (!next(tok)) {
            *why = "no end token";
            return false;
        }
        if (tok == 0x0000FFFF)
            return true;
        const DWORD opcode = tok & D3DSI_OPCODE_MASK;
        if (opcode == D3DSIO_COMMENT) {
            const DWORD size = (tok & D3DSI_COMMENTSIZE_MASK) >> D3DSI_COMMENTSIZE_SHIFT;
            if (size > count - i) {
                *why = "comment runs past the end";
                return false;
            }
            i += size;
            continue;
        }
        if (tok & 0x80000000u) {
            *why = "parameter token where an instruction was expected";
            return false;
        }
        if (tok & ~(D3DSI_OPCODE_MASK | static_cast<DWORD>(D3DSI_COISSUE))) {
            *why = "reserved instruction bits set";
            return false;
        }
        Instr ins{};
        ins.opcode = opcode;
        ins.coissue = (tok & D3DSI_COISSUE) != 0;
        if (ins.coissue && !pixel) {
            *why = "co-issue in a vertex shader";
            return false;
        }
        if (opcode == D3DSIO_DEF) {
            ins.hasDst = true;
            if (!next(ins.dst)) {
                *why = "truncated def";
                return false;
            }
            for (float& f : ins.def) {
                DWORD bits;
                if (!next(bits)) {
                    *why = "truncated def";
                    return false;
                }
                std::memcpy(&f, &bits, 4);
            }
            out->push_back(ins);
            continue;
        }
        const OpShape* shape = nullptr;
        if (pixel) {
            for (const OpShape& s : kPsOps)
                if (s.opcode == opcode)
                    shape = &s;
        } else {
            for (const OpShape& s : kVsOps)
                if (s.opcode == opcode)
                    shape = &s;
        }
        if (!shape) {
            *why = "unsupported instruction (opcode " + std::to_string(opcode) + ")";
            return false;
        }
        ins.hasDst = shape->dsts == 1;
        if (ins.hasDst && !next(ins.dst)) {
            *why = "truncated instruction";
            return false;
        }
        for (int s = 0; s < shape->srcs; ++s) {
            DWORD t;
            if (!next(t)) {
                *why = "truncated instruction";
                return false;
            }
            ins.src.push_back(t);
        }
        if (ins.hasDst && !(ins.dst & 0x80000000u)) {
            *why = "bad destination token";
            return false;
        }
        for (DWORD s : ins.src)
            if (!(s & 0x80000000u)) {
                *why = "bad source token";
                return false;
            }
        if (pixel) {
            const bool texture =
                opcode == D3DSIO_TEX || opcode == D3DSIO_TEXCOORD || opcode == D3DSIO_TEXKILL;
            if (texture)
                ++textureSlots;
            else if (opcode != D3DSIO_NOP && !ins.coissue)
                ++slots;
            if (slots > kMaxPixelArithmeticSlots || textureSlots > kMaxPixelTextureSlots) {
                *why = "too many instructions for ps.1.1";
                return false;
            }
        } else {
            slots += VertexSlots(opcode);
            if (slots > kMaxVertexShaderSlots) {
                *why = "too many instructions for vs.1.1";
                return false;
            }
        }
        out->push_back(ins);
    }
}

DWORD RegType(DWORD t) { return t & D3DSP_REGTYPE_MASK; }
DWORD RegNum(DWORD t) { return t & 0x7FF; }
DWORD WriteMask(DWORD t) { return (t & D3DSP_WRITEMASK_ALL) >> 16; }

// ----------------------------------------------------- 3 declarations
}  // namespace

bool ParseDeclaration(const DWORD* tokens, size_t count, VertexDecl* out, std::string* why)
{
    *out = VertexDecl{};
    if (!tokens) {
        *why = "no declaration";
        return false;
    }
    UINT stream = 0;
    bool haveStream = false;
    UINT offset = 0;
    bool used[16] = {};
    for (size_t i = 0; i < count; ++i) {
        const DWORD tok = tokens[i];
        if (tok == D3DVSD_END())
            return true;
        const DWORD type = (tok & D3DVSD_TOKENTYPEMASK) >> D3DVSD_TOKENTYPESHIFT;
        switch (type) {
        case D3DVSD_TOKEN_NOP:
            if (tok != 0) {
                *why = "bad nop token";
                return false;
            }
            break;
        case D3DVSD_TOKEN_STREAM:
            if (tok & D3DVSD_STREAMTESSMASK) {
                *why = "tessellator streams are not supported";
                return false;
            }
            stream = tok & D3DVSD_STREAMNUMBERMASK;
            haveStream = true;
            offset = 0;
            break;
        case D3DVSD_TOKEN_STREAMDATA: {
            if (!haveStream) {
                *why = "stream data before a stream token";
                return false;
            }
            if (tok & D3DVSD_DATALOADTYPEMASK) {
                offset += 4 * ((tok & D3DVSD_SKIPCOUNTMASK) >> D3DVSD_SKIPCOUNTSHIFT);
                break;
            }
            const UINT dt = (tok & D3DVSD_DATATYPEMASK) >> D3DVSD_DATATYPESHIFT;
            const UINT reg = tok & D3DVSD_VERTEXREGMASK;
            static const UINT kSizes[] = {4, 8, 12, 16, 4, 4, 4, 8};
            if (dt > D3DVSDT_SHORT4 || reg >= 16 || used[reg]) {
                *why = "bad vertex element";
                return false;
            }
            used[reg] = true;
            out->elements.push_back({stream, reg, dt, offset});
            offset += kSizes[dt];
            break;
        }
        case D3DVSD_TOKEN_CONSTMEM: {
            const UINT registers = (tok & D3DVSD_CONSTCOUNTMASK) >> D3DVSD_CONSTCOUNTSHIFT;
            const UINT addr = tok & D3DVSD_CONSTADDRESSMASK;
            if (addr + registers > kMaxVertexConstants) {
                *why = "constant load out of range";
                return false;
            }
            for (UINT k = 0; k < registers; ++k) {
                std::array<float, 4> v;
                for (int j = 0; j < 4; ++j) {
                    if (++i >= count) {
                        *why = "truncated constant load";
                        return false;
                    }
                    std::memcpy(&v[j], &tokens[i], 4);
                }
                out->constants.push_back({addr + k, v});
            }
            break;
        }
        default:
            *why = "unsupported declaration token";
            return false;
        }
    }
    *why = "no end token";
    return false;
}

namespace {

// ----------------------------------------------------------- 4 operands
const char kComp[] = "xyzw";

std::string Swizzle(DWORD src)
{
    const DWORD sw = (src & D3DVS_SWIZZLE_MASK) >> D3DVS_SWIZZLE_SHIFT;
    if (sw == 0xE4)
        return "";
    std::string s = ".";
    for (int i = 0; i < 4; ++i)
        s += kComp[(sw >> (2 * i)) & 3];
    return s;
}

std::string MaskText(DWORD mask)
{
    std::string s;
    for (int i = 0; i < 4; ++i)
        if (mask & (1u << i))
            s += kComp[i];
    return s;
}

// ------------------------------------------------------ 5 vertex shaders
class CVsTranslator {
public:
    bool Run(const std::vector<Instr>& prog, std::string* why)
    {
        for (const Instr& ins : prog) {
            if (!Emit(ins, why))
                return false;
        }
        return true;
    }
    std::ostringstream body;
    bool inputUsed[16] = {};
    bool usesA0 = false;

private:
    bool SrcName(DWORD s, int rowOffset, std::string* out, std::string* why)
    {
        const DWORD type = RegType(s), n = RegNum(s) + static_cast<DWORD>(rowOffset);
        const bool rel = (s & D3DVS_ADDRMODE_RELATIVE) != 0;
        if (rel && type != D3DSPR_CONST) {
            *why = "relative addressing on a non-constant register";
            return false;
        }
        if ((s & 0x1800) != 0) {
            *why = "reserved source bits set";
            return false;
        }
        std::string name;
        switch (type) {
        case D3DSPR_TEMP:
            if (n >= 12)
                break;
            name = "r" + std::to_string(n);
            break;
        case D3DSPR_INPUT:
            if (n >= 16)
                break;
            inputUsed[n] = true;
            name = "v" + std::to_string(n);
            break;
        case D3DSPR_CONST:
            if (rel) {
                usesA0 = true;
                name = "crel(a0.x + " + std::to_string(n) + ")";
            } else if (n < kMaxVertexConstants) {
                name = "c[" + std::to_string(n) + "]";
            }
            break;
        default:
            break;
        }
        if (name.empty()) {
            *why = "bad source register";
            return false;
        }
        const DWORD mod = s & D3DSP_SRCMOD_MASK;
        if (mod != D3DSPSM_NONE && mod != D3DSPSM_NEG) {
            *why = "source modifier not available in vertex shaders";
            return false;
        }
        *out = (mod == D3DSPSM_NEG ? "(-" : "(") + name + Swizzle(s) + ")";
        return true;
    }

    bool DstName(DWORD d, std::string* out, DWORD* mask, std::string* why)
    {
        const DWORD type = RegType(d), n = RegNum(d);
        if (d & (D3DSP_DSTMOD_MASK | D3DSP_DSTSHIFT_MASK | D3DVS_ADDRESSMODE_MASK | 0x1800)) {
            *why = "destination modifier not available in vertex shaders";
            return false;
        }
        *mask = WriteMask(d);
        switch (type) {
        case D3DSPR_TEMP:
            if (n < 12)
                *out = "r" + std::to_string(n);
            break;
        case D3DSPR_ADDR:
            if (n == 0 && *mask == 1) {
                *out = "a0";
                usesA0 = true;
            }
            break;
        case D3DSPR_RASTOUT:
            if (n == D3DSRO_POSITION)
                *out = "o_pos";
            else if (n == D3DSRO_FOG)
                *out = "o_fog";
            else if (n == D3DSRO_POINT_SIZE)
                *out = "o_pts";
            break;
        case D3DSPR_ATTROUT:
            if (n < 2)
                *out = "o_d" + std::to_string(n);
            break;
        case D3DSPR_TEXCRDOUT:
            if (n < 8)
                *out = "o_t[" + std::to_string(n) + "]";
            break;
        default:
            break;
        }
        if (out->empty()) {
            *why = "bad destination register";
            return false;
        }
        return true;
    }

    bool Emit(const Instr& ins, std::string* why)
    {
        if (ins.opcode == D3DSIO_NOP)
            return true;
        if (ins.opcode == D3DSIO_DEF) {
            if (RegType(ins.dst) != D3DSPR_CONST || RegNum(ins.dst) >= kMaxVertexConstants) {
                *why = "def of a non-constant register";
                return false;
            }
            defs.push_back({RegNum(ins.dst), {ins.def[0], ins.def[1], ins.def[2], ins.def[3]}});
            return true;
        }
        std::string dst;
        DWORD mask = 0;
        if (!DstName(ins.dst, &dst, &mask, why))
            return false;
        if (mask == 0) {
            *why = "empty write mask";
            return false;
        }
        std::string s[3];
        const bool matrix = ins.opcode >= D3DSIO_M4x4 && ins.opcode <= D3DSIO_M3x2;
        for (size_t i = 0; i < ins.src.size(); ++i)
            if (!(matrix && i == 1) && !SrcName(ins.src[i], 0, &s[i], why))
                return false;
        std::string e;
        auto row = [&](int r, std::string* out) { return SrcName(ins.src[1], r, out, why); };
        auto matrixExpr = [&](int rows, bool dp4) -> bool {
            std::string parts[4];
            for (int r = 0; r < rows; ++r) {
                std::string rr;
                if (!row(r, &rr))
                    return false;
                parts[r] = dp4 ? "dot(" + s[0] + ", " + rr + ")" : "dot((" + s[0] + ").xyz, (" + rr + ").xyz)";
            }
            e = "vec4(";
            for (int r = 0; r < 4; ++r)
                e += (r ? ", " : "") + (r < rows ? parts[r] : std::string("0.0"));
            e += ")";
            return true;
        };
        switch (ins.opcode) {
        case D3DSIO_MOV: e = s[0]; break;
        case D3DSIO_ADD: e = s[0] + " + " + s[1]; break;
        case D3DSIO_SUB: e = s[0] + " - " + s[1]; break;
        case D3DSIO_MAD: e = s[0] + " * " + s[1] + " + " + s[2]; break;
        case D3DSIO_MUL: e = s[0] + " * " + s[1]; break;
        case D3DSIO_RCP: e = "vec4(d3d_rcp(" + s[0] + ".w))"; break;
        case D3DSIO_RSQ: e = "vec4(d3d_rsq(" + s[0] + ".w))"; break;
        case D3DSIO_DP3: e = "vec4(dot((" + s[0] + ").xyz, (" + s[1] + ").xyz))"; break;
        case D3DSIO_DP4: e = "vec4(dot(" + s[0] + ", " + s[1] + "))"; break;
        case D3DSIO_MIN: e = "min(" + s[0] + ", " + s[1] + ")"; break;
        case D3DSIO_MAX: e = "max(" + s[0] + ", " + s[1] + ")"; break;
        case D3DSIO_SLT: e = "vec4(lessThan(" + s[0] + ", " + s[1] + "))"; break;
        case D3DSIO_SGE: e = "vec4(greaterThanEqual(" + s[0] + ", " + s[1] + "))"; break;
        case D3DSIO_EXP: e = "vec4(exp2(" + s[0] + ".w))"; break;
        case D3DSIO_LOG: e = "vec4(d3d_log(" + s[0] + ".w))"; break;
        case D3DSIO_EXPP: e = "d3d_expp(" + s[0] + ".w)"; break;
        case D3DSIO_LOGP: e = "d3d_logp(" + s[0] + ".w)"; break;
        case D3DSIO_LIT: e = "d3d_lit(" + s[0] + ")"; break;
        case D3DSIO_DST: e = "vec4(1.0, " + s[0] + ".y * " + s[1] + ".y, " + s[0] + ".z, " + s[1] + ".w)"; break;
        case D3DSIO_FRC: e = "fract(" + s[0] + ")"; break;
        case D3DSIO_M4x4: if (!matrixExpr(4, true)) return false; break;
        case D3DSIO_M4x3: if (!matrixExpr(3, true)) return false; break;
        case D3DSIO_M3x4: if (!matrixExpr(4, false)) return false; break;
        case D3DSIO_M3x3: if (!matrixExpr(3, false)) return false; break;
        case D3DSIO_M3x2: if (!matrixExpr(2, false)) return false; break;
        default:
            *why = "unsupported instruction";
            return false;
        }
        if (dst == "a0") {
            // vs.1.1 loads the address register rounding down.
            body << "  a0.x = int(floor((" << e << ").x));\n";
        } else if (mask == 0xF) {
            body << "  " << dst << " = " << e << ";\n";
        } else {
            const std::string m = MaskText(mask);
            body << "  " << dst << "." << m << " = (" << e << ")." << m << ";\n";
        }
        return true;
    }

public:
    std::vector<std::pair<DWORD, std::array<float, 4>>> defs;
};

std::string FloatLit(float f)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.9g", static_cast<double>(f));
    std::string s = buf;
    if (s.find_first_of(".eEn") == std::string::npos)
        s += ".0";
    if (s == "inf" || s == "-inf" || s == "nan" || s == "-nan")
        return s[0] == '-' ? "(-1.0/0.0)" : (s == "inf" ? "(1.0/0.0)" : "0.0");
    return s;
}

}  // namespace

bool TranslateVertexShader(const DWORD* tokens, size_t count, const VertexDecl& decl, bool clipControl,
                           std::string* glsl, std::string* why)
{
    std::vector<Instr> prog;
    if (!ReadInstructions(tokens, count, false, &prog, why))
        return false;
    CVsTranslator t;
    if (!t.Run(prog, why))
        return false;
    bool declared[16] = {};
    for (const VertexElement& e : decl.elements)
        declared[e.reg] = true;
    std::ostringstream o;
    o << "#version 330 core\n" << kUniformBlock;
    for (int i = 0; i < 16; ++i)
        if (declared[i])
            o << "layout(location = " << i << ") in vec4 v" << i << ";\n";
    // Texture coordinate outputs are filled in per fragment program by
    // SpecialiseVertexShader, each with only the components it reads:
    // llvmpipe interpolates every declared component of every pixel.
    o << "out vec4 d3d_oD0;\nout vec4 d3d_oD1;\nout float d3d_oFog;\n" << kTexOutMarker << "\n"
         "float d3d_rcp(float x) { return x == 1.0 ? 1.0 : 1.0 / x; }\n"
         "float d3d_rsq(float x) { x = abs(x); return x == 1.0 ? 1.0 : inversesqrt(x); }\n"
         "float d3d_log(float x) { x = abs(x); return x == 0.0 ? -1.0/0.0 : log2(x); }\n"
         "vec4 d3d_expp(float x) { float f = floor(x); return vec4(exp2(f), x - f, exp2(x), 1.0); }\n"
         "vec4 d3d_logp(float x) { x = abs(x); if (x == 0.0) return vec4(-1.0/0.0, 1.0, -1.0/0.0, 1.0);\n"
         "  float e = floor(log2(x)); return vec4(e, x / exp2(e), log2(x), 1.0); }\n"
         "vec4 d3d_lit(vec4 s) { float p = clamp(s.w, -128.0, 128.0);\n"
         "  return vec4(1.0, max(s.x, 0.0), s.x > 0.0 ? (s.y > 0.0 ? pow(s.y, p) : (p == 0.0 ? 1.0 : 0.0)) : 0.0, 1.0); }\n";
    if (t.usesA0)
        o << "vec4 crel(int i) { return (i >= 0 && i < 96) ? c[i] : vec4(0.0); }\n";
    o << "void main() {\n";
    for (int i = 0; i < 16; ++i)
        if (t.inputUsed[i] && !declared[i])
            o << "  vec4 v" << i << " = vec4(0.0, 0.0, 0.0, 1.0);\n";
    for (int i = 0; i < 12; ++i)
        o << "  vec4 r" << i << " = vec4(0.0);\n";
    if (t.usesA0)
        o << "  ivec4 a0 = ivec4(0);\n";
    o << "  vec4 o_pos = vec4(0.0, 0.0, 0.0, 1.0);\n  vec4 o_fog = vec4(1.0);\n  vec4 o_pts = vec4(1.0);\n"
         "  vec4 o_d0 = vec4(1.0);\n  vec4 o_d1 = vec4(0.0);\n  vec4 o_t[8];\n"
         "  for (int i = 0; i < 8; ++i) o_t[i] = vec4(0.0, 0.0, 0.0, 1.0);\n";
    std::string body = t.body.str();
    // Constants defined in the program shadow the constant registers.
    for (const auto& d : t.defs) {
        const std::string name = "c[" + std::to_string(d.first) + "]";
        const std::string lit = "vec4(" + FloatLit(d.second[0]) + ", " + FloatLit(d.second[1]) + ", " +
                                FloatLit(d.second[2]) + ", " + FloatLit(d.second[3]) + ")";
        for (size_t p = body.find(name); p != std::string::npos; p = body.find(name, p + lit.size()))
            body.replace(p, name.size(), lit);
    }
    o << body;
    // Direct3D to OpenGL: pixel centres on integer coordinates, y down in
    // the render target's row order (the back buffer's is turned over by
    // the clip origin, see device.cpp), z in [0, w].
    o << "  d3d_oD0 = clamp(o_d0, 0.0, 1.0);\n  d3d_oD1 = clamp(o_d1, 0.0, 1.0);\n"
         "  " << kTexAssignMarker << "\n  d3d_oFog = o_fog.x;\n"
         "  vec4 p = o_pos;\n"
         "  gl_Position = vec4(p.x + pixelAdjust.x * p.w, -p.y + pixelAdjust.y * p.w, ";
    o << (clipControl ? "p.z" : "2.0 * p.z - p.w") << ", p.w);\n}\n";
    *glsl = o.str();
    return true;
}

namespace {

// ------------------------------------------------------- 6 pixel shaders
bool PsSrc(DWORD s, const bool* defined, std::string* out, std::string* why)
{
    const DWORD type = RegType(s), n = RegNum(s);
    std::string name;
    if (s & (D3DVS_ADDRESSMODE_MASK | 0x1800)) {
        *why = "reserved source bits set";
        return false;
    }
    switch (type) {
    case D3DSPR_TEMP:
        if (n < 2)
            name = "r" + std::to_string(n);
        break;
    case D3DSPR_CONST:
        if (n < kMaxPixelConstants)
            name = defined[n] ? "k" + std::to_string(n) : "pc[" + std::to_string(n) + "]";
        break;
    case D3DSPR_TEXTURE:
        if (n < 4)
            name = "t" + std::to_string(n);
        break;
    case D3DSPR_INPUT:
        if (n < 2)
            name = "d3d_oD" + std::to_string(n);
        break;
    default:
        break;
    }
    if (name.empty()) {
        *why = "bad source register";
        return false;
    }
    name += Swizzle(s);
    switch (s & D3DSP_SRCMOD_MASK) {
    case D3DSPSM_NONE: *out = "(" + name + ")"; break;
    case D3DSPSM_NEG: *out = "(-" + name + ")"; break;
    case D3DSPSM_BIAS: *out = "(" + name + " - 0.5)"; break;
    case D3DSPSM_BIASNEG: *out = "(0.5 - " + name + ")"; break;
    case D3DSPSM_SIGN: *out = "(2.0 * " + name + " - 1.0)"; break;
    case D3DSPSM_SIGNNEG: *out = "(1.0 - 2.0 * " + name + ")"; break;
    case D3DSPSM_COMP: *out = "(1.0 - " + name + ")"; break;
    default:
        *why = "source modifier not available in ps.1.1";
        return false;
    }
    return true;
}

}  // namespace

bool TranslatePixelShader(const DWORD* tokens, size_t count, std::string* bodyOut, std::string* why)
{
    std::vector<Instr> prog;
    if (!ReadInstructions(tokens, count, true, &prog, why))
        return false;
    std::ostringstream o;
    bool defined[kMaxPixelConstants] = {};
    for (const Instr& ins : prog)
        if (ins.opcode == D3DSIO_DEF) {
            if (RegType(ins.dst) != D3DSPR_CONST || RegNum(ins.dst) >= kMaxPixelConstants) {
                *why = "def of a non-constant register";
                return false;
            }
            const DWORD n = RegNum(ins.dst);
            defined[n] = true;
            o << "  const vec4 k" << n << " = vec4(" << FloatLit(ins.def[0]) << ", " << FloatLit(ins.def[1]) << ", "
              << FloatLit(ins.def[2]) << ", " << FloatLit(ins.def[3]) << ");\n";
        }
    o << "  vec4 r0 = vec4(0.0), r1 = vec4(0.0);\n"
         "  vec4 t0 = vec4(0.0), t1 = vec4(0.0), t2 = vec4(0.0), t3 = vec4(0.0);\n";
    bool arithmeticSeen = false;
    bool texUsed[4] = {};
    int pending = 0;  // results computed but not yet written (co-issue pairs)
    std::vector<std::string> writes;
    for (size_t k = 0; k < prog.size(); ++k) {
        const Instr& ins = prog[k];
        if (ins.opcode == D3DSIO_DEF || ins.opcode == D3DSIO_NOP)
            continue;
        const bool texOp =
            ins.opcode == D3DSIO_TEX || ins.opcode == D3DSIO_TEXCOORD || ins.opcode == D3DSIO_TEXKILL;
        if (texOp) {
            if (arithmeticSeen) {
                *why = "texture instruction after arithmetic";
                return false;
            }
            const DWORD n = RegNum(ins.dst);
            if (RegType(ins.dst) != D3DSPR_TEXTURE || n >= 4 || (ins.dst & 0x0FF0F800u) != 0 ||
                WriteMask(ins.dst) != 0xF) {
                *why = "bad texture register";
                return false;
            }
            if (ins.opcode == D3DSIO_TEX) {
                if (texUsed[n]) {
                    *why = "texture register sampled twice";
                    return false;
                }
                texUsed[n] = true;
                o << "  t" << n << " = texture(s" << n << ", d3d_oT" << n << ".xy);\n";
            } else if (ins.opcode == D3DSIO_TEXCOORD) {
                o << "  t" << n << " = vec4(clamp(d3d_oT" << n << ".xyz, 0.0, 1.0), 1.0);\n";
            } else {
                o << "  if (any(lessThan(d3d_oT" << n << ".xyz, vec3(0.0)))) discard;\n";
            }
            continue;
        }
        arithmeticSeen = true;
        const DWORD dtype = RegType(ins.dst), dn = RegNum(ins.dst);
        std::string dst;
        if (dtype == D3DSPR_TEMP && dn < 2)
            dst = "r" + std::to_string(dn);
        else if (dtype == D3DSPR_TEXTURE && dn < 4)
            dst = "t" + std::to_string(dn);
        if (dst.empty() || (ins.dst & (D3DVS_ADDRESSMODE_MASK | 0x1800))) {
            *why = "bad destination register";
            return false;
        }
        const DWORD shift = (ins.dst & D3DSP_DSTSHIFT_MASK) >> D3DSP_DSTSHIFT_SHIFT;
        const DWORD dmod = ins.dst & D3DSP_DSTMOD_MASK;
        if ((shift != 0 && shift != 1 && shift != 2 && shift != 0xF) || (dmod != 0 && dmod != D3DSPDM_SATURATE)) {
            *why = "bad destination modifier";
            return false;
        }
        const DWORD mask = WriteMask(ins.dst);
        if (mask == 0) {
            *why = "empty write mask";
            return false;
        }
        std::string s[3];
        for (size_t i = 0; i < ins.src.size(); ++i)
            if (!PsSrc(ins.src[i], defined, &s[i], why))
                return false;
        std::string e;
        switch (ins.opcode) {
        case D3DSIO_MOV: e = s[0]; break;
        case D3DSIO_ADD: e = s[0] + " + " + s[1]; break;
        case D3DSIO_SUB: e = s[0] + " - " + s[1]; break;
        case D3DSIO_MUL: e = s[0] + " * " + s[1]; break;
        case D3DSIO_MAD: e = s[0] + " * " + s[1] + " + " + s[2]; break;
        case D3DSIO_DP3: e = "vec4(dot(" + s[0] + ".xyz, " + s[1] + ".xyz))"; break;
        case D3DSIO_LRP: e = "mix(" + s[2] + ", " + s[1] + ", " + s[0] + ")"; break;
        case D3DSIO_CND: e = "(" + s[0] + ".w > 0.5 ? " + s[1] + " : " + s[2] + ")"; break;
        default:
            *why = "unsupported instruction";
            return false;
        }
        const char* scale = shift == 1 ? " * 2.0" : shift == 2 ? " * 4.0" : shift == 0xF ? " * 0.5" : "";
        const std::string tmp = "q" + std::to_string(k);
        o << "  vec4 " << tmp << " = (" << e << ")" << scale << ";\n";
        // ps.1.1 registers hold [-1, 1]; _sat narrows that to [0, 1].
        o << "  " << tmp << " = clamp(" << tmp << ", " << (dmod ? "0.0" : "-1.0") << ", 1.0);\n";
        const std::string m = MaskText(mask);
        writes.push_back("  " + dst + (mask == 0xF ? "" : "." + m) + " = " + tmp + (mask == 0xF ? "" : "." + m) +
                         ";\n");
        ++pending;
        // A co-issued partner reads the registers as they were before the
        // pair: hold the write back until the partner has computed.
        const bool partnerFollows = k + 1 < prog.size() && prog[k + 1].coissue;
        if (!partnerFollows) {
            for (const std::string& w : writes)
                o << w;
            writes.clear();
            pending = 0;
        }
    }
    (void)pending;
    o << "  vec4 col = r0;\n";
    *bodyOut = o.str();
    return true;
}

namespace {

// ----------------------------------------------------- 7 texture stages
bool StageArg(DWORD arg, int stage, std::string* out)
{
    std::string v;
    switch (arg & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: v = "d3d_oD0"; break;
    case D3DTA_CURRENT: v = "cur"; break;
    case D3DTA_TEXTURE: v = "tex" + std::to_string(stage); break;
    case D3DTA_TFACTOR: v = "tfactor"; break;
    case D3DTA_SPECULAR: v = "d3d_oD1"; break;
    case D3DTA_TEMP: v = "tmp"; break;
    default: return false;
    }
    if (arg & ~(D3DTA_SELECTMASK | D3DTA_COMPLEMENT | D3DTA_ALPHAREPLICATE))
        return false;
    if (arg & D3DTA_COMPLEMENT)
        v = "(1.0 - " + v + ")";
    if (arg & D3DTA_ALPHAREPLICATE)
        v = "vec4(" + v + ".a)";
    *out = v;
    return true;
}

bool StageOp(DWORD op, const std::string& a0, const std::string& a1, const std::string& a2, int stage,
             std::string* out)
{
    const std::string tex = "tex" + std::to_string(stage);
    switch (op) {
    case D3DTOP_SELECTARG1: *out = a1; break;
    case D3DTOP_SELECTARG2: *out = a2; break;
    case D3DTOP_MODULATE: *out = a1 + " * " + a2; break;
    case D3DTOP_MODULATE2X: *out = "2.0 * " + a1 + " * " + a2; break;
    case D3DTOP_MODULATE4X: *out = "4.0 * " + a1 + " * " + a2; break;
    case D3DTOP_ADD: *out = a1 + " + " + a2; break;
    case D3DTOP_ADDSIGNED: *out = a1 + " + " + a2 + " - 0.5"; break;
    case D3DTOP_ADDSIGNED2X: *out = "2.0 * (" + a1 + " + " + a2 + " - 0.5)"; break;
    case D3DTOP_SUBTRACT: *out = a1 + " - " + a2; break;
    case D3DTOP_ADDSMOOTH: *out = a1 + " + " + a2 + " - " + a1 + " * " + a2; break;
    case D3DTOP_BLENDDIFFUSEALPHA: *out = "mix(" + a2 + ", " + a1 + ", d3d_oD0.a)"; break;
    case D3DTOP_BLENDTEXTUREALPHA: *out = "mix(" + a2 + ", " + a1 + ", " + tex + ".a)"; break;
    case D3DTOP_BLENDFACTORALPHA: *out = "mix(" + a2 + ", " + a1 + ", tfactor.a)"; break;
    case D3DTOP_BLENDTEXTUREALPHAPM: *out = a1 + " + " + a2 + " * (1.0 - " + tex + ".a)"; break;
    case D3DTOP_BLENDCURRENTALPHA: *out = "mix(" + a2 + ", " + a1 + ", cur.a)"; break;
    case D3DTOP_MODULATEALPHA_ADDCOLOR: *out = a1 + " + " + a1 + ".a * " + a2; break;
    case D3DTOP_MODULATECOLOR_ADDALPHA: *out = a1 + " * " + a2 + " + " + a1 + ".a"; break;
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: *out = "(1.0 - " + a1 + ".a) * " + a2 + " + " + a1; break;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: *out = "(1.0 - " + a1 + ") * " + a2 + " + " + a1 + ".a"; break;
    case D3DTOP_DOTPRODUCT3:
        *out = "vec4(clamp(4.0 * dot(" + a1 + ".rgb - 0.5, " + a2 + ".rgb - 0.5), 0.0, 1.0))";
        break;
    case D3DTOP_MULTIPLYADD: *out = a0 + " + " + a1 + " * " + a2; break;
    case D3DTOP_LERP: *out = "mix(" + a2 + ", " + a1 + ", " + a0 + ")"; break;
    default: return false;
    }
    *out = "vec4(" + *out + ")";
    return true;
}

}  // namespace

bool GenerateStagesBody(const std::vector<StageKey>& stages, std::string* body, std::string* why)
{
    std::ostringstream o;
    o << "  vec4 cur = d3d_oD0;\n  vec4 tmp = vec4(0.0);\n";
    for (size_t i = 0; i < stages.size(); ++i) {
        const StageKey& s = stages[i];
        if (s.colorOp == D3DTOP_DISABLE)
            break;
        const int st = static_cast<int>(i);
        const DWORD tci = s.texCoordIndex & 0xFFFF;
        if (tci >= 8 || (s.texCoordIndex >> 16) != 0) {
            *why = "generated texture coordinates are not supported";
            return false;
        }
        o << "  vec4 tex" << st << " = texture(s" << st << ", d3d_oT" << tci << ".xy);\n";
        std::string c0, c1, c2, a0, a1, a2, ce, ae;
        if (!StageArg(s.colorArg0, st, &c0) || !StageArg(s.colorArg1, st, &c1) || !StageArg(s.colorArg2, st, &c2) ||
            !StageArg(s.alphaArg0, st, &a0) || !StageArg(s.alphaArg1, st, &a1) || !StageArg(s.alphaArg2, st, &a2)) {
            *why = "unsupported texture stage argument";
            return false;
        }
        if (!StageOp(s.colorOp, c0, c1, c2, st, &ce)) {
            *why = "unsupported colour operation";
            return false;
        }
        if (s.alphaOp == D3DTOP_DISABLE)
            ae = "cur";
        else if (!StageOp(s.alphaOp, a0, a1, a2, st, &ae)) {
            *why = "unsupported alpha operation";
            return false;
        }
        const char* target = (s.resultArg & D3DTA_SELECTMASK) == D3DTA_TEMP ? "tmp" : "cur";
        // Every argument lies in [0, 1]; these operations cannot leave it,
        // so only the others pay for a clamp.
        auto bounded = [](DWORD op) {
            return op == D3DTOP_DISABLE || op == D3DTOP_SELECTARG1 || op == D3DTOP_SELECTARG2 ||
                   op == D3DTOP_MODULATE || op == D3DTOP_ADDSMOOTH || op == D3DTOP_BLENDDIFFUSEALPHA ||
                   op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDFACTORALPHA ||
                   op == D3DTOP_BLENDCURRENTALPHA || op == D3DTOP_DOTPRODUCT3 || op == D3DTOP_LERP;
        };
        const std::string rgb = bounded(s.colorOp) ? ce + ".rgb" : "clamp(" + ce + ".rgb, 0.0, 1.0)";
        const std::string a = bounded(s.alphaOp) ? ae + ".a" : "clamp(" + ae + ".a, 0.0, 1.0)";
        o << "  " << target << " = vec4(" << rgb << ", " << a << ");\n";
    }
    o << "  vec4 col = cur;\n";
    *body = o.str();
    return true;
}

std::string FinishFragment(const std::string& body, bool fog, DWORD alphaFunc)
{
    std::ostringstream o;
    o << "#version 330 core\n" << kUniformBlock;
    for (int i = 0; i < 8; ++i)
        o << "uniform sampler2D s" << i << ";\n";
    // Only the inputs the body reads are declared (see the vertex side).
    for (const char* name : {"d3d_oD0", "d3d_oD1"})
        if (body.find(name) != std::string::npos)
            o << "in vec4 " << name << ";\n";
    const TexCoordUsage usage = TexCoordUsageOf(body);
    for (int i = 0; i < 8; ++i)
        if (usage.components[i])
            o << "in vec" << usage.components[i] << " d3d_oT" << i << ";\n";
    if (fog)
        o << "in float d3d_oFog;\n";
    o << "layout(location = 0) out vec4 fragColor;\nvoid main() {\n" << body;
    static const char* const kCmp[] = {"", "false", "<", "==", "<=", ">", "!=", ">=", "true"};
    if (alphaFunc >= D3DCMP_NEVER && alphaFunc < D3DCMP_ALWAYS) {
        // Compared at the 8-bit precision of the reference value.
        o << "  float aq = floor(clamp(col.a, 0.0, 1.0) * 255.0 + 0.5);\n";
        if (alphaFunc == D3DCMP_NEVER)
            o << "  discard;\n";
        else
            o << "  if (!(aq " << kCmp[alphaFunc] << " pixelAdjust.z)) discard;\n";
    }
    if (fog)
        o << "  col.rgb = mix(fogColor.rgb, col.rgb, clamp(d3d_oFog, 0.0, 1.0));\n";
    o << "  fragColor = col;\n}\n";
    return o.str();
}

TexCoordUsage TexCoordUsageOf(const std::string& body)
{
    TexCoordUsage u;
    for (int i = 0; i < 8; ++i) {
        const std::string name = "d3d_oT" + std::to_string(i);
        if (body.find(name + ".xyz") != std::string::npos)
            u.components[i] = 3;
        else if (body.find(name + ".xy") != std::string::npos)
            u.components[i] = 2;
        else if (body.find(name) != std::string::npos)
            u.components[i] = 4;
        u.key |= static_cast<uint32_t>(u.components[i]) << (3 * i);
    }
    return u;
}

std::string SpecialiseVertexShader(const std::string& generic, const TexCoordUsage& usage)
{
    static const char* const kSwizzle[] = {"", "", ".xy", ".xyz", ""};
    std::string decls, assigns;
    for (int i = 0; i < 8; ++i) {
        const int n = usage.components[i];
        if (!n)
            continue;
        const std::string name = "d3d_oT" + std::to_string(i);
        decls += "out vec" + std::to_string(n) + " " + name + ";\n";
        assigns += name + " = o_t[" + std::to_string(i) + "]" + kSwizzle[n] + "; ";
    }
    std::string out = generic;
    out.replace(out.find(kTexOutMarker), std::strlen(kTexOutMarker), decls);
    out.replace(out.find(kTexAssignMarker), std::strlen(kTexAssignMarker), assigns);
    return out;
}
