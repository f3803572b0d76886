// The token reader and section grammar shared by every text model: the
// skeleton and skinned-model readers here and the canyon reader.
//
// Tokens are runs of bytes between the four white-space bytes (space, LF, TAB,
// CR); nothing else separates them, and there are no comments or quotes. A
// section is a keyword, "{", its records and "}".
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

class CTokenReader {
public:
    static constexpr uint32_t kMaxTokenLength = 255;

    CTokenReader(const uint8_t* data, uint32_t size) : m_data(data), m_size(data ? size : 0) {}
    // A buffer beyond 4 GiB cannot be addressed by the 32-bit position and
    // reads as empty.
    explicit CTokenReader(std::span<const uint8_t> bytes)
        : CTokenReader(bytes.data(), bytes.size() > UINT32_MAX ? 0 : static_cast<uint32_t>(bytes.size()))
    {
    }
    explicit CTokenReader(std::string_view text)
        : CTokenReader(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()))
    {
    }
    // The reader keeps a view of the bytes: a temporary string would leave
    // it reading freed memory.
    explicit CTokenReader(std::string&&) = delete;

    // Moves to the next token. False at the end of the bytes, and also when
    // the next token is longer than kMaxTokenLength; callers treat both as
    // the end of the tokens.
    bool Next();

    // The current token; empty before the first Next.
    std::string_view Token() const { return {reinterpret_cast<const char*>(m_data) + m_tokenStart, m_tokenLength}; }
    uint32_t Position() const { return m_pos; }

    // Case-insensitive (ASCII) comparison of the current token.
    bool TokenIs(std::string_view word) const;

    // The longest decimal-number prefix of the token; 0 when the token does
    // not start with a number.
    float TokenAsFloat() const;
    int32_t TokenAsInt() const;

private:
    const uint8_t* m_data;
    uint32_t m_size;
    uint32_t m_pos = 0;
    uint32_t m_tokenStart = 0;
    uint32_t m_tokenLength = 0;
};

// Number conversions of the readers, usable on any text.
float ParseFloatPrefix(std::string_view text);
int32_t ParseIntPrefix(std::string_view text);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);

// Section grammar helpers. Each returns false when the tokens run out.
namespace tokens {

// Reads the token after a section keyword; true only when it is "{".
bool OpenSection(CTokenReader& reader);

enum class Record { Start, End, Fail };
// Reads the first token of the next record: End when it is "}", Fail when
// the tokens ran out, otherwise Start with the token left current.
Record NextRecord(CTokenReader& reader);

// Calls `record` (returning false on a bad record) for every record up to the
// section's closing brace; false when a record fails or the tokens run out.
template <class F>
bool ForEachRecord(CTokenReader& reader, F&& record)
{
    for (;;) {
        switch (NextRecord(reader)) {
        case Record::End:
            return true;
        case Record::Fail:
            return false;
        case Record::Start:
            if (!record())
                return false;
            break;
        }
    }
}

bool Skip(CTokenReader& reader, int count);
bool ReadFloat(CTokenReader& reader, float& out);
bool ReadInt(CTokenReader& reader, int32_t& out);

}  // namespace tokens
