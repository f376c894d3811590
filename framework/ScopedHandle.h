#pragma once
// Small owners for Windows handles and buffers: each releases what it holds on every exit path.
#include <windows.h>
#include <utility>

template <typename Traits>
class ScopedResource {
public:
    using Type = typename Traits::Type;

    ScopedResource() = default;
    explicit ScopedResource(Type value) : m_value(value) {}
    ~ScopedResource() { Reset(); }
    ScopedResource(const ScopedResource&) = delete;
    ScopedResource& operator=(const ScopedResource&) = delete;
    ScopedResource(ScopedResource&& other) noexcept : m_value(other.Release()) {}
    ScopedResource& operator=(ScopedResource&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Type Get() const { return m_value; }
    bool IsValid() const { return m_value != Traits::Invalid(); }
    explicit operator bool() const { return IsValid(); }

    // For out-parameters of the API; releases the current value first.
    Type* Receive()
    {
        Reset();
        return &m_value;
    }

    Type Release() { return std::exchange(m_value, Traits::Invalid()); }

    void Reset(Type value = Traits::Invalid())
    {
        if (IsValid())
            Traits::Close(m_value);
        m_value = value;
    }

private:
    Type m_value = Traits::Invalid();
};

struct HandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

struct LibraryTraits {
    using Type = HMODULE;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};

struct LocalMemTraits {
    using Type = HLOCAL;
    static Type Invalid() { return nullptr; }
    static void Close(Type h) { ::LocalFree(h); }
};

struct FindTraits {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};

// A handle whose "none" value is null (threads, processes, events, mutexes).
using ScopedHandle = ScopedResource<HandleTraits>;
// A handle whose "none" value is INVALID_HANDLE_VALUE (CreateFileW).
using ScopedFileHandle = ScopedResource<FileHandleTraits>;
using ScopedLibrary = ScopedResource<LibraryTraits>;
using ScopedFind = ScopedResource<FindTraits>;
using ScopedLocalMem = ScopedResource<LocalMemTraits>;
