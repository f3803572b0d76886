// Token reader and number conversions of the text models.
#include "model/token_reader.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace {

inline bool IsSpace(uint8_t c) { return c == ' ' || c == '\n' || c == '\t' || c == '\r'; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }
inline char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

bool CTokenReader::Next()
{
    if (!m_data || m_pos >= m_size)
        return false;
    uint32_t pos = m_pos;
    while (pos < m_size && IsSpace(m_data[pos]))
        ++pos;
    if (pos >= m_size) {
        m_pos = pos;
        return false;
    }
    const uint32_t start = pos;
    while (pos < m_size && !IsSpace(m_data[pos])) {
        if (pos - start >= kMaxTokenLength) {
            m_pos = pos;
            return false;
        }
        ++pos;
    }
    m_tokenStart = start;
    m_tokenLength = pos - start;
    m_pos = pos < m_size ? pos + 1 : pos;  // the delimiter is consumed too
    return true;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    }
    return true;
}

bool CTokenReader::TokenIs(std::string_view word) const { return EqualsIgnoreCase(Token(), word); }

float CTokenReader::TokenAsFloat() const { return ParseFloatPrefix(Token()); }
int32_t CTokenReader::TokenAsInt() const { return ParseIntPrefix(Token()); }

float ParseFloatPrefix(std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Only plain decimal numbers: no "inf", "nan" or hexadecimal forms.
    if (p == end || !(IsDigit(*p) || (*p == '.' && p + 1 < end && IsDigit(p[1]))))
        return 0.0f;

    double value = 0;
    const auto result = std::from_chars(p, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        // Too large or too small for a double: the exponent's sign, or its
        // absence (a long run of integer digits), tells which.
        bool tiny = false;
        for (const char* q = p; q < result.ptr; ++q) {
            if (*q == 'e' || *q == 'E') {
                tiny = q + 1 < result.ptr && q[1] == '-';
                break;
            }
        }
        value = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    } else if (result.ec != std::errc()) {
        value = 0;
    }
    if (negative)
        value = -value;
    // Narrowing a double beyond the float range is undefined; saturate to
    // infinity explicitly, which is what the hardware conversion would give.
    constexpr double kFloatMax = std::numeric_limits<float>::max();
    if (value > kFloatMax)
        return std::numeric_limits<float>::infinity();
    if (value < -kFloatMax)
        return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

int32_t ParseIntPrefix(std::string_view text)
{
    const char* p = text.data();
    const char* const end = p + text.size();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end || !IsDigit(*p))
        return 0;
    uint64_t magnitude = 0;
    const auto result = std::from_chars(p, end, magnitude);
    // Values beyond the 32-bit range saturate (the C runtime's conversions
    // leave them undefined).
    constexpr uint64_t kMaxPositive = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
    if (result.ec == std::errc::result_out_of_range || magnitude > kMaxPositive + (negative ? 1 : 0))
        return negative ? std::numeric_limits<int32_t>::min() : std::numeric_limits<int32_t>::max();
    const int64_t value = static_cast<int64_t>(magnitude);
    return static_cast<int32_t>(negative ? -value : value);
}

namespace tokens {

bool OpenSection(CTokenReader& reader) { return reader.Next() && reader.Token() == "{"; }

Record NextRecord(CTokenReader& reader)
{
    if (!reader.Next())
        return Record::Fail;
    return reader.Token() == "}" ? Record::End : Record::Start;
}

bool Skip(CTokenReader& reader, int count)
{
    for (int i = 0; i < count; ++i) {
        if (!reader.Next())
            return false;
    }
    return true;
}

bool ReadFloat(CTokenReader& reader, float& out)
{
    if (!reader.Next())
        return false;
    out = reader.TokenAsFloat();
    return true;
}

bool ReadInt(CTokenReader& reader, int32_t& out)
{
    if (!reader.Next())
        return false;
    out = reader.TokenAsInt();
    return true;
}

}  // namespace tokens
