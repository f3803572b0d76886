// Intrusive reference counting: CUnknownImpl carries the count, and
// CSmartPtrWrap<T> joins the count and a T in one allocation.
#pragma once

#include <cstdint>
#include <new>
#include <utility>

class CUnknownI {
public:
    virtual long AddRef() = 0;
    virtual long Release() = 0;

protected:
    virtual ~CUnknownI() = default;
};

class CUnknownImpl : public CUnknownI {
public:
    CUnknownImpl() = default;
    CUnknownImpl(const CUnknownImpl&) = delete;
    CUnknownImpl& operator=(const CUnknownImpl&) = delete;

    long AddRef() override { return ++m_refCount; }

    // At zero or below the object destroys itself.
    long Release() override
    {
        const long count = --m_refCount;
        if (count <= 0)
            delete this;
        return count;
    }

    long RefCount() const { return m_refCount; }

protected:
    ~CUnknownImpl() override = default;

private:
    int32_t m_refCount = 0;
};

// The object and its count, constructed and destroyed together. The count
// starts at 0; whoever keeps the object calls AddRef.
template <class T>
class CSmartPtrWrap final : public CUnknownImpl, public T {
public:
    template <class... Args>
    explicit CSmartPtrWrap(Args&&... args) : T(std::forward<Args>(args)...) {}

    // Null when memory is exhausted.
    template <class... Args>
    static CSmartPtrWrap* Create(Args&&... args)
    {
        return new (std::nothrow) CSmartPtrWrap(std::forward<Args>(args)...);
    }

private:
    ~CSmartPtrWrap() override { T::OnFinalRelease(); }
};

// An owning reference to a CSmartPtrWrap<T>: the pair (wrapper, T part).
template <class T>
class CRef {
public:
    CRef() = default;
    explicit CRef(CSmartPtrWrap<T>* owner) : m_owner(owner)
    {
        if (m_owner)
            m_owner->AddRef();
    }
    CRef(const CRef& other) : CRef(other.m_owner) {}
    CRef(CRef&& other) noexcept : m_owner(std::exchange(other.m_owner, nullptr)) {}
    CRef& operator=(CRef other) noexcept
    {
        std::swap(m_owner, other.m_owner);
        return *this;
    }
    ~CRef() { Reset(); }

    void Reset()
    {
        if (auto* owner = std::exchange(m_owner, nullptr))
            owner->Release();
    }

    explicit operator bool() const { return m_owner != nullptr; }
    CSmartPtrWrap<T>* Owner() const { return m_owner; }
    T* Get() const { return m_owner; }
    T* operator->() const { return m_owner; }
    T& operator*() const { return *m_owner; }

private:
    CSmartPtrWrap<T>* m_owner = nullptr;
};
