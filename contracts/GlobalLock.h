// A global memory block kept locked for the lifetime of the object. TWAIN
// hands capability containers, native images and extended-image blocks across
// as global memory, so both the application and the data source read them
// through this one lock.
#pragma once
#ifdef _WIN32
#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace vlm {

class CGlobalLock {
public:
    explicit CGlobalLock(HGLOBAL h) : m_h(h), m_p(h ? ::GlobalLock(h) : nullptr) {}
    ~CGlobalLock() {
        if (m_p)
            ::GlobalUnlock(m_h);
    }
    CGlobalLock(const CGlobalLock&) = delete;
    CGlobalLock& operator=(const CGlobalLock&) = delete;
    void* Get() const { return m_p; }
    uint8_t* Bytes() const { return static_cast<uint8_t*>(m_p); }
    // The block's real size: what a reader may touch, whatever the block claims.
    size_t Size() const { return m_p ? ::GlobalSize(m_h) : 0; }

private:
    HGLOBAL m_h;
    void* m_p;
};

} // namespace vlm
#endif
