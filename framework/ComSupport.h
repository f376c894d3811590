#pragma once
// Owners for COM: an interface pointer, a BSTR, and the calling thread's membership in an apartment.
// Users link ole32 and oleaut32.
#include "ScopedHandle.h"

#include <objbase.h>
#include <oleauto.h>

template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    T* Get() const { return m_p; }
    T* operator->() const { return m_p; }
    explicit operator bool() const { return m_p != nullptr; }

    // For out-parameters of the API; releases the current interface first.
    T** Receive()
    {
        Reset();
        return &m_p;
    }
    // For QueryInterface and CoCreateInstance, which take void**.
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset()
    {
        if (m_p != nullptr) {
            m_p->Release();
            m_p = nullptr;
        }
    }

private:
    T* m_p = nullptr;
};

struct BstrTraits {
    using Type = BSTR;
    static Type Invalid() { return nullptr; }
    static void Close(Type s) { ::SysFreeString(s); }
};

using ScopedBstr = ScopedResource<BstrTraits>;

// CoInitializeEx for the lifetime of the object; CoUninitialize only when the initialisation succeeded.
class ScopedCoInitialize {
public:
    explicit ScopedCoInitialize(DWORD model) : m_hr(::CoInitializeEx(nullptr, model)) {}
    ~ScopedCoInitialize()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    ScopedCoInitialize(const ScopedCoInitialize&) = delete;
    ScopedCoInitialize& operator=(const ScopedCoInitialize&) = delete;

private:
    HRESULT m_hr;
};
