// D3DXAssembleShader: vs.1.0/1.1 and ps.1.0/1.1 assembly text to Direct3D 8
// token streams.
//
// The text is untrusted (it comes from the archive): every line is checked
// against the instruction table of its shader version, register numbers are
// checked against that version's register files, and the first error ends
// the assembly with "(LINE): error: MESSAGE" in the error buffer.
#include "gfxutil/d3dx8.h"

#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

struct OpInfo {
    const char* name;
    DWORD opcode;
    int dsts;
    int srcs;
    bool vs;
    bool ps;
};

// Instruction set of vs.1.1 and ps.1.1 (both include their 1.0 subsets).
const OpInfo kOps[] = {
    {"nop", D3DSIO_NOP, 0, 0, true, true},
    {"mov", D3DSIO_MOV, 1, 1, true, true},
    {"add", D3DSIO_ADD, 1, 2, true, true},
    {"sub", D3DSIO_SUB, 1, 2, true, true},
    {"mad", D3DSIO_MAD, 1, 3, true, true},
    {"mul", D3DSIO_MUL, 1, 2, true, true},
    {"rcp", D3DSIO_RCP, 1, 1, true, false},
    {"rsq", D3DSIO_RSQ, 1, 1, true, false},
    {"dp3", D3DSIO_DP3, 1, 2, true, true},
    {"dp4", D3DSIO_DP4, 1, 2, true, false},
    {"min", D3DSIO_MIN, 1, 2, true, false},
    {"max", D3DSIO_MAX, 1, 2, true, false},
    {"slt", D3DSIO_SLT, 1, 2, true, false},
    {"sge", D3DSIO_SGE, 1, 2, true, false},
    {"exp", D3DSIO_EXP, 1, 1, true, false},
    {"log", D3DSIO_LOG, 1, 1, true, false},
    {"lit", D3DSIO_LIT, 1, 1, true, false},
    {"dst", D3DSIO_DST, 1, 2, true, false},
    {"lrp", D3DSIO_LRP, 1, 3, false, true},
    {"frc", D3DSIO_FRC, 1, 1, true, false},
    {"m4x4", D3DSIO_M4x4, 1, 2, true, false},
    {"m4x3", D3DSIO_M4x3, 1, 2, true, false},
    {"m3x4", D3DSIO_M3x4, 1, 2, true, false},
    {"m3x3", D3DSIO_M3x3, 1, 2, true, false},
    {"m3x2", D3DSIO_M3x2, 1, 2, true, false},
    {"expp", D3DSIO_EXPP, 1, 1, true, false},
    {"logp", D3DSIO_LOGP, 1, 1, true, false},
    {"cnd", D3DSIO_CND, 1, 3, false, true},
    {"texcoord", D3DSIO_TEXCOORD, 1, 0, false, true},
    {"texkill", D3DSIO_TEXKILL, 1, 0, false, true},
    {"tex", D3DSIO_TEX, 1, 0, false, true},
    {"texbem", D3DSIO_TEXBEM, 1, 1, false, true},
    {"texbeml", D3DSIO_TEXBEML, 1, 1, false, true},
    {"texreg2ar", D3DSIO_TEXREG2AR, 1, 1, false, true},
    {"texreg2gb", D3DSIO_TEXREG2GB, 1, 1, false, true},
    {"texm3x2pad", D3DSIO_TEXM3x2PAD, 1, 1, false, true},
    {"texm3x2tex", D3DSIO_TEXM3x2TEX, 1, 1, false, true},
    {"texm3x3pad", D3DSIO_TEXM3x3PAD, 1, 1, false, true},
    {"texm3x3tex", D3DSIO_TEXM3x3TEX, 1, 1, false, true},
    {"texm3x3spec", D3DSIO_TEXM3x3SPEC, 1, 2, false, true},
    {"texm3x3vspec", D3DSIO_TEXM3x3VSPEC, 1, 1, false, true},
};

struct AsmError {
    int line;
    std::string message;
};

std::string Lower(std::string_view s)
{
    std::string r(s);
    for (char& c : r)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return r;
}

std::string_view Trim(std::string_view s)
{
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool ParseUInt(std::string_view s, int& out)
{
    s = Trim(s);
    if (s.empty() || s.size() > 6)
        return false;
    int v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

class CAssembler {
public:
    std::vector<DWORD> tokens;
    std::vector<DWORD> constDecl;  // D3DVSD_CONST tokens for vertex shader defs

    void Run(std::string_view text)
    {
        int lineNo = 0;
        size_t pos = 0;
        bool sawVersion = false;
        while (pos <= text.size()) {
            size_t end = text.find('\n', pos);
            if (end == std::string_view::npos)
                end = text.size();
            ++lineNo;
            m_line = lineNo;
            std::string_view line = text.substr(pos, end - pos);
            pos = end + 1;
            line = StripComment(line);
            line = Trim(line);
            if (line.empty()) {
                if (end == text.size())
                    break;
                continue;
            }
            if (!sawVersion) {
                ParseVersion(line);
                sawVersion = true;
            } else {
                ParseInstruction(line);
            }
            if (end == text.size())
                break;
        }
        if (!sawVersion)
            Fail("missing shader version (vs.1.1 or ps.1.1)");
        tokens.push_back(0x0000FFFF);
    }

private:
    // Published instruction-slot limits: vs.1.1 runs 128 slots, ps.1.1 runs
    // 8 arithmetic slots (a co-issued pair shares one) and 4 texture slots.
    // Drivers compile far longer programs slowly or not at all.
    static constexpr int kVertexSlots = 128;
    static constexpr int kPixelArithmeticSlots = 8;
    static constexpr int kPixelTextureSlots = 4;

    int m_line = 0;
    bool m_ps = false;
    int m_minor = 1;
    int m_slots = 0;
    int m_textureSlots = 0;

    void CountSlots(const OpInfo& op, bool coissue)
    {
        if (m_ps) {
            if (std::string_view(op.name).starts_with("tex")) {
                if (++m_textureSlots > kPixelTextureSlots)
                    Fail("too many texture instructions for ps.1." + std::to_string(m_minor) + " (at most " +
                         std::to_string(kPixelTextureSlots) + ")");
            } else if (op.opcode != D3DSIO_NOP && !coissue && ++m_slots > kPixelArithmeticSlots) {
                Fail("too many arithmetic instructions for ps.1." + std::to_string(m_minor) + " (at most " +
                     std::to_string(kPixelArithmeticSlots) + ")");
            }
            return;
        }
        // The macro instructions expand to several slots.
        int weight = 1;
        switch (op.opcode) {
        case D3DSIO_EXP: case D3DSIO_LOG: weight = 10; break;
        case D3DSIO_FRC: case D3DSIO_M3x3: case D3DSIO_M4x3: weight = 3; break;
        case D3DSIO_M3x4: case D3DSIO_M4x4: weight = 4; break;
        case D3DSIO_M3x2: weight = 2; break;
        default: break;
        }
        m_slots += weight;
        if (m_slots > kVertexSlots)
            Fail("too many instructions for vs.1." + std::to_string(m_minor) + " (at most " +
                 std::to_string(kVertexSlots) + " slots)");
    }

    [[noreturn]] void Fail(const std::string& msg) const { throw AsmError{m_line, msg}; }

    static std::string_view StripComment(std::string_view line)
    {
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == ';' || (line[i] == '/' && i + 1 < line.size() && line[i + 1] == '/'))
                return line.substr(0, i);
            if (line[i] == '\0')
                return line.substr(0, i);
        }
        return line;
    }

    void ParseVersion(std::string_view line)
    {
        const std::string v = Lower(line);
        int major = 0, minor = 0;
        if (v.size() == 6 && (v.compare(0, 3, "vs.") == 0 || v.compare(0, 3, "ps.") == 0 ||
                              v.compare(0, 3, "vs_") == 0 || v.compare(0, 3, "ps_") == 0) &&
            (v[4] == '.' || v[4] == '_')) {
            major = v[3] - '0';
            minor = v[5] - '0';
        } else {
            Fail("expected a shader version, got '" + std::string(line) + "'");
        }
        if (major != 1 || (minor != 0 && minor != 1))
            Fail("unsupported shader version '" + std::string(line) + "'");
        m_ps = v[0] == 'p';
        m_minor = minor;
        tokens.push_back((m_ps ? 0xFFFF0000u : 0xFFFE0000u) | (1u << 8) | static_cast<DWORD>(minor));
    }

    void ParseInstruction(std::string_view line)
    {
        bool coissue = false;
        if (line.front() == '+') {
            if (!m_ps)
                Fail("co-issue is only available in pixel shaders");
            coissue = true;
            line = Trim(line.substr(1));
        }
        size_t sp = 0;
        while (sp < line.size() && !std::isspace(static_cast<unsigned char>(line[sp])))
            ++sp;
        std::string name = Lower(line.substr(0, sp));
        std::string_view rest = Trim(line.substr(sp));

        // Instruction modifiers: _sat, _x2, _x4, _d2 (pixel shaders only).
        DWORD dstMod = 0;
        DWORD shift = 0;
        for (;;) {
            const size_t us = name.rfind('_');
            if (us == std::string::npos)
                break;
            const std::string mod = name.substr(us + 1);
            if (mod == "sat")
                dstMod |= D3DSPDM_SATURATE;
            else if (mod == "x2")
                shift = 1;
            else if (mod == "x4")
                shift = 2;
            else if (mod == "d2")
                shift = 0xF;
            else
                break;
            if (!m_ps)
                Fail("instruction modifier _" + mod + " is only available in pixel shaders");
            name.resize(us);
        }

        std::vector<std::string_view> ops;
        if (!rest.empty()) {
            size_t start = 0;
            int depth = 0;
            for (size_t i = 0; i <= rest.size(); ++i) {
                if (i < rest.size() && rest[i] == '[')
                    ++depth;
                if (i < rest.size() && rest[i] == ']')
                    --depth;
                if (i == rest.size() || (rest[i] == ',' && depth == 0)) {
                    ops.push_back(Trim(rest.substr(start, i - start)));
                    start = i + 1;
                }
            }
        }
        for (auto op : ops)
            if (op.empty())
                Fail("empty operand");

        if (name == "def") {
            if (ops.size() != 5)
                Fail("def needs a constant register and four values");
            bool relative = false;
            const DWORD dst = Register(ops[0], true, relative) | D3DSP_WRITEMASK_ALL;
            if ((dst & D3DSP_REGTYPE_MASK) != D3DSPR_CONST)
                Fail("def needs a constant register");
            tokens.push_back(D3DSIO_DEF);
            tokens.push_back(dst);
            float values[4];
            for (int i = 0; i < 4; ++i) {
                values[i] = ParseFloat(ops[1 + i]);
                DWORD bits;
                std::memcpy(&bits, &values[i], 4);
                tokens.push_back(bits);
            }
            if (!m_ps) {
                constDecl.push_back((4u << 29) | (1u << 25) | (dst & 0x7F));
                for (float f : values) {
                    DWORD bits;
                    std::memcpy(&bits, &f, 4);
                    constDecl.push_back(bits);
                }
            }
            return;
        }

        const OpInfo* info = nullptr;
        for (const OpInfo& o : kOps)
            if (name == o.name && (m_ps ? o.ps : o.vs))
                info = &o;
        if (!info)
            Fail("unknown instruction '" + name + "'");
        if (static_cast<int>(ops.size()) != info->dsts + info->srcs)
            Fail("'" + name + "' takes " + std::to_string(info->dsts + info->srcs) + " operands");
        if ((dstMod || shift) && info->dsts == 0)
            Fail("modifier on an instruction without a destination");

        CountSlots(*info, coissue);
        tokens.push_back(info->opcode | (coissue ? static_cast<DWORD>(D3DSI_COISSUE) : 0u));
        for (int i = 0; i < info->dsts; ++i)
            tokens.push_back(Dest(ops[i], dstMod, shift));
        for (int i = 0; i < info->srcs; ++i)
            tokens.push_back(Source(ops[info->dsts + i]));
    }

    float ParseFloat(std::string_view s) const
    {
        const std::string t(Trim(s));
        char* end = nullptr;
        const float f = std::strtof(t.c_str(), &end);
        if (t.empty() || end != t.c_str() + t.size())
            Fail("bad number '" + t + "'");
        return f;
    }

    // Register name and number to a parameter token (type and number only).
    DWORD Register(std::string_view reg, bool dest, bool& relative) const
    {
        relative = false;
        const std::string r = Lower(reg);
        auto numbered = [&](size_t prefixLen, int limit, DWORD type) -> DWORD {
            int n = 0;
            std::string_view num = std::string_view(r).substr(prefixLen);
            if (!num.empty() && num.front() == '[') {
                // c[n], c[a0.x], c[a0.x + n], c[n + a0.x]
                if (num.back() != ']')
                    Fail("bad register '" + r + "'");
                std::string inner(num.substr(1, num.size() - 2));
                std::string compact;
                for (char c : inner)
                    if (!std::isspace(static_cast<unsigned char>(c)))
                        compact += c;
                if (type != D3DSPR_CONST || m_ps) {
                    if (!ParseUInt(compact, n))
                        Fail("bad register '" + r + "'");
                } else {
                    const size_t a = compact.find("a0.x");
                    if (a != std::string::npos) {
                        relative = true;
                        std::string other = compact.substr(0, a) + compact.substr(a + 4);
                        if (!other.empty() && other.front() == '+')
                            other.erase(0, 1);
                        if (!other.empty() && other.back() == '+')
                            other.pop_back();
                        if (other.empty())
                            n = 0;
                        else if (!ParseUInt(other, n))
                            Fail("bad relative address '" + r + "'");
                    } else if (!ParseUInt(compact, n)) {
                        Fail("bad register '" + r + "'");
                    }
                }
            } else if (!ParseUInt(num, n)) {
                Fail("bad register '" + r + "'");
            }
            if (n >= limit)
                Fail("register '" + r + "' out of range");
            if (relative && dest)
                Fail("relative addressing is only allowed on sources");
            return 0x80000000u | static_cast<DWORD>(type) | static_cast<DWORD>(n);
        };
        if (m_ps) {
            if (r.starts_with("r"))
                return numbered(1, 2, D3DSPR_TEMP);
            if (r.starts_with("c"))
                return numbered(1, 8, D3DSPR_CONST);
            if (r.starts_with("t"))
                return numbered(1, 4, D3DSPR_TEXTURE);
            if (r.starts_with("v"))
                return numbered(1, 2, D3DSPR_INPUT);
        } else {
            if (r == "opos")
                return 0x80000000u | D3DSPR_RASTOUT | D3DSRO_POSITION;
            if (r == "ofog")
                return 0x80000000u | D3DSPR_RASTOUT | D3DSRO_FOG;
            if (r == "opts")
                return 0x80000000u | D3DSPR_RASTOUT | D3DSRO_POINT_SIZE;
            if (r.starts_with("od"))
                return numbered(2, 2, D3DSPR_ATTROUT);
            if (r.starts_with("ot"))
                return numbered(2, 8, D3DSPR_TEXCRDOUT);
            if (r.starts_with("r"))
                return numbered(1, 12, D3DSPR_TEMP);
            if (r.starts_with("v"))
                return numbered(1, 16, D3DSPR_INPUT);
            if (r.starts_with("c"))
                return numbered(1, 96, D3DSPR_CONST);
            if (r.starts_with("a"))
                return numbered(1, m_minor >= 1 ? 1 : 0, D3DSPR_ADDR);
        }
        Fail("unknown register '" + r + "'");
    }

    static bool IsOutput(DWORD tok)
    {
        const DWORD type = tok & D3DSP_REGTYPE_MASK;
        return type == D3DSPR_RASTOUT || type == D3DSPR_ATTROUT || type == D3DSPR_TEXCRDOUT;
    }

    DWORD Dest(std::string_view op, DWORD dstMod, DWORD shift) const
    {
        std::string_view reg = op;
        DWORD mask = D3DSP_WRITEMASK_ALL;
        const size_t dot = op.find('.');
        if (dot != std::string_view::npos) {
            reg = op.substr(0, dot);
            const std::string m = Lower(op.substr(dot + 1));
            mask = 0;
            int last = -1;
            for (char c : m) {
                int comp = Component(c);
                if (comp <= last)
                    Fail("bad write mask '" + m + "'");
                last = comp;
                mask |= D3DSP_WRITEMASK_0 << comp;
            }
            if (mask == 0)
                Fail("empty write mask");
        }
        bool relative = false;
        DWORD tok = Register(reg, true, relative);
        const DWORD type = tok & D3DSP_REGTYPE_MASK;
        if (!m_ps && (type == D3DSPR_INPUT || type == D3DSPR_CONST))
            Fail("cannot write to input or constant register '" + std::string(reg) + "'");
        if (m_ps && type == D3DSPR_INPUT)
            Fail("cannot write to colour register '" + std::string(reg) + "'");
        return tok | mask | dstMod | (shift << D3DSP_DSTSHIFT_SHIFT);
    }

    int Component(char c) const
    {
        switch (c) {
        case 'x': case 'r': return 0;
        case 'y': case 'g': return 1;
        case 'z': case 'b': return 2;
        case 'w': case 'a': return 3;
        default: Fail(std::string("bad component '") + c + "'");
        }
    }

    DWORD Source(std::string_view op) const
    {
        bool neg = false, comp = false, bias = false, bx2 = false, x2 = false;
        if (!op.empty() && op.front() == '-') {
            neg = true;
            op = Trim(op.substr(1));
        }
        if (op.size() > 2 && op[0] == '1' && Trim(op.substr(1)).front() == '-') {
            if (!m_ps)
                Fail("invert modifier is only available in pixel shaders");
            comp = true;
            op = Trim(Trim(op.substr(1)).substr(1));
        }
        std::string_view reg = op;
        std::string swz;
        // A modifier suffix may stand before or after the swizzle.
        auto takeSuffix = [&](std::string_view& s) {
            for (;;) {
                const size_t us = s.rfind('_');
                if (us == std::string_view::npos)
                    return;
                const std::string m = Lower(s.substr(us + 1));
                if (m == "bx2")
                    bx2 = true;
                else if (m == "bias")
                    bias = true;
                else if (m == "x2")
                    x2 = true;
                else
                    Fail("unknown source modifier '_" + m + "'");
                if (!m_ps)
                    Fail("source modifier _" + m + " is only available in pixel shaders");
                s = s.substr(0, us);
            }
        };
        const size_t bracket = op.find(']');
        const size_t dot = op.find('.', bracket == std::string_view::npos ? 0 : bracket);
        if (dot != std::string_view::npos) {
            reg = op.substr(0, dot);
            std::string_view sw = op.substr(dot + 1);
            takeSuffix(sw);
            swz = Lower(sw);
        }
        takeSuffix(reg);
        bool relative = false;
        const DWORD tok = Register(reg, false, relative);
        if (IsOutput(tok))
            Fail("cannot read output register '" + std::string(reg) + "'");
        DWORD swizzle = D3DVS_NOSWIZZLE;
        if (!swz.empty()) {
            if (swz.size() > 4)
                Fail("bad swizzle '" + swz + "'");
            swizzle = 0;
            int c = 0;
            for (int i = 0; i < 4; ++i) {
                if (i < static_cast<int>(swz.size()))
                    c = Component(swz[i]);
                swizzle |= static_cast<DWORD>(c) << (D3DVS_SWIZZLE_SHIFT + 2 * i);
            }
        }
        int kinds = int(comp) + int(bias) + int(bx2) + int(x2);
        if (kinds > 1)
            Fail("more than one source modifier");
        DWORD mod = D3DSPSM_NONE;
        if (comp) {
            if (neg)
                Fail("negation and invert together");
            mod = D3DSPSM_COMP;
        } else if (bias) {
            mod = neg ? D3DSPSM_BIASNEG : D3DSPSM_BIAS;
        } else if (bx2) {
            mod = neg ? D3DSPSM_SIGNNEG : D3DSPSM_SIGN;
        } else if (x2) {
            mod = neg ? D3DSPSM_X2NEG : D3DSPSM_X2;
        } else if (neg) {
            mod = D3DSPSM_NEG;
        }
        return tok | swizzle | mod | (relative ? static_cast<DWORD>(D3DVS_ADDRMODE_RELATIVE) : 0u);
    }
};

HRESULT MakeBuffer(const void* data, size_t size, LPD3DXBUFFER* out)
{
    if (FAILED(D3DXCreateBuffer(static_cast<DWORD>(size), out)))
        return E_OUTOFMEMORY;
    if (size)
        std::memcpy((*out)->GetBufferPointer(), data, size);
    return D3D_OK;
}

}  // namespace

HRESULT D3DXAssembleShader(LPCVOID pSrcData, UINT SrcDataLen, DWORD /*Flags*/, LPD3DXBUFFER* ppConstants,
                           LPD3DXBUFFER* ppCompiledShader, LPD3DXBUFFER* ppCompilationErrors)
{
    if (ppConstants)
        *ppConstants = nullptr;
    if (ppCompiledShader)
        *ppCompiledShader = nullptr;
    if (ppCompilationErrors)
        *ppCompilationErrors = nullptr;
    if (!pSrcData || !ppCompiledShader)
        return D3DERR_INVALIDCALL;
    CAssembler assembler;
    try {
        assembler.Run(std::string_view(static_cast<const char*>(pSrcData), SrcDataLen));
    } catch (const AsmError& e) {
        if (ppCompilationErrors) {
            const std::string text = "(" + std::to_string(e.line) + "): error: " + e.message + "\n";
            MakeBuffer(text.c_str(), text.size() + 1, ppCompilationErrors);
        }
        return D3DXERR_INVALIDDATA;
    }
    if (FAILED(MakeBuffer(assembler.tokens.data(), assembler.tokens.size() * sizeof(DWORD), ppCompiledShader)))
        return E_OUTOFMEMORY;
    if (ppConstants && !assembler.constDecl.empty())
        MakeBuffer(assembler.constDecl.data(), assembler.constDecl.size() * sizeof(DWORD), ppConstants);
    return D3D_OK;
}
