// The resource archive: one stored ZIP read in place from memory, members
// looked up by name (case-insensitively, backslashes as slashes) into
// reference-counted buffers that hold exactly the member's bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "archive/unknown.h"

class IData {
public:
    virtual const uint8_t* GetData() = 0;
    virtual uint32_t GetSize() = 0;

protected:
    ~IData() = default;
};

// The bytes of one member. No terminating zero is appended.
class _data : public IData {
public:
    const uint8_t* GetData() override { return m_data.get(); }
    uint32_t GetSize() override { return m_size; }

    // Allocates exactly `size` bytes; false when memory is exhausted.
    bool Allocate(uint32_t size);
    uint8_t* Bytes() { return m_data.get(); }

protected:
    void OnFinalRelease()
    {
        m_data.reset();
        m_size = 0;
    }

private:
    std::unique_ptr<uint8_t[]> m_data;
    uint32_t m_size = 0;
};

// A counted reference to one member's bytes; empty when the member was not
// found or could not be read.
class DataRef {
public:
    DataRef() = default;
    explicit DataRef(CSmartPtrWrap<_data>* owner) : m_ref(owner) {}

    explicit operator bool() const { return static_cast<bool>(m_ref); }
    CSmartPtrWrap<_data>* Owner() const { return m_ref.Owner(); }
    IData* Data() const { return m_ref.Get(); }

    const uint8_t* GetData() const { return m_ref ? m_ref->GetData() : nullptr; }
    uint32_t GetSize() const { return m_ref ? m_ref->GetSize() : 0; }
    std::span<const uint8_t> Bytes() const { return {GetData(), GetSize()}; }
    std::string_view Text() const { return {reinterpret_cast<const char*>(GetData()), GetSize()}; }

private:
    CRef<_data> m_ref;
};

// Opens the archive held in `bytes`, which must stay valid for as long as the
// archive is used. Any archive opened before is closed first.
bool OpenResourceArchive(std::span<const uint8_t> bytes);

// Opens the program's archive: the file named by VANTOR_ARCHIVE when that is
// set (read once and kept for the life of the process), otherwise `embedded`.
// Only a regular file of at most 1 GiB is read.
bool OpenProgramArchive(std::span<const uint8_t> embedded);
// Why the last OpenProgramArchive refused its file: "PATH: REASON"; empty
// after a success or when the embedded archive was used.
const std::string& ProgramArchiveError();

// Closes the open archive, if any.
void CloseResourceArchive();

// The whole member at `path`, or an empty reference.
DataRef ReadArchiveFile(std::string_view path);
