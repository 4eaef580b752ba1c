// Kernel object handles and their owners.
//
// A HANDLE is an opaque value. Win32 has two failure conventions for it:
// CreateFileA and FindFirstFileA fail with INVALID_HANDLE_VALUE, the mutex
// functions with NULL. The owner types carry the convention in their type, so
// a caller cannot test a file handle against NULL by mistake.
//
// Closing an owned handle never changes the thread's last error: the error a
// failing step left behind is still there for the caller after cleanup.
#pragma once

#include <cstdint>
#include <utility>

#include "platform/win32_types.h"

namespace veldra {

#ifdef _WIN32
using ::HANDLE;  // INVALID_HANDLE_VALUE is the SDK's macro
inline const HANDLE NULL_HANDLE = nullptr;
#else
enum class HANDLE : std::uintptr_t {};
inline const HANDLE INVALID_HANDLE_VALUE = static_cast<HANDLE>(~std::uintptr_t{0});
inline const HANDLE NULL_HANDLE = static_cast<HANDLE>(0);
#endif

// What an owner needs to give a handle back: CloseHandle or FindClose.
class HandleCloser {
public:
    virtual BOOL CloseHandle(HANDLE handle) = 0;
    virtual BOOL FindClose(HANDLE handle) = 0;
    virtual DWORD GetLastError() const = 0;
    virtual void SetLastError(DWORD error) = 0;

protected:
    ~HandleCloser() = default;
};

struct FileHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static BOOL Close(HandleCloser& closer, HANDLE h) { return closer.CloseHandle(h); }
};
struct NullHandleTraits {
    static HANDLE Invalid() { return NULL_HANDLE; }
    static BOOL Close(HandleCloser& closer, HANDLE h) { return closer.CloseHandle(h); }
};
struct FindHandleTraits {
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static BOOL Close(HandleCloser& closer, HANDLE h) { return closer.FindClose(h); }
};

// Move-only owner of one handle.
template <typename Traits>
class UniqueHandleT {
public:
    explicit UniqueHandleT(HandleCloser& closer, HANDLE h = Traits::Invalid())
        : m_pCloser(&closer), m_hValue(h) {}
    UniqueHandleT(const UniqueHandleT&) = delete;
    UniqueHandleT& operator=(const UniqueHandleT&) = delete;
    UniqueHandleT(UniqueHandleT&& other) noexcept
        : m_pCloser(other.m_pCloser), m_hValue(other.release()) {}
    UniqueHandleT& operator=(UniqueHandleT&& other) noexcept {
        if (this != &other) {
            reset(other.release());
            m_pCloser = other.m_pCloser;
        }
        return *this;
    }
    ~UniqueHandleT() { reset(); }

    HANDLE get() const { return m_hValue; }
    bool valid() const { return m_hValue != Traits::Invalid(); }
    explicit operator bool() const { return valid(); }

    // Gives up ownership without closing.
    HANDLE release() { return std::exchange(m_hValue, Traits::Invalid()); }

    // Closes the current handle (keeping the last error) and takes another.
    void reset(HANDLE h = Traits::Invalid()) {
        HANDLE old = std::exchange(m_hValue, h);
        if (old != Traits::Invalid()) {
            DWORD error = m_pCloser->GetLastError();
            Traits::Close(*m_pCloser, old);
            m_pCloser->SetLastError(error);
        }
    }

    // The program's explicit close at a given step: closes now and reports
    // what the system said.
    BOOL close() {
        if (!valid()) return FALSE;
        return Traits::Close(*m_pCloser, release());
    }

private:
    HandleCloser* m_pCloser;
    HANDLE m_hValue;
};

using UniqueFileHandle = UniqueHandleT<FileHandleTraits>;
using UniqueHandle = UniqueHandleT<NullHandleTraits>;
using UniqueFindHandle = UniqueHandleT<FindHandleTraits>;

}  // namespace veldra
