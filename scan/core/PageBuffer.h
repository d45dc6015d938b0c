// One page image: an address-space reservation sized once for the largest
// page, committed from its start as rows arrive, so a growing page never
// moves and rows already received are never copied again.
#pragma once
#include <cstddef>
#include <cstdint>

class CPageBuffer {
public:
    CPageBuffer() = default;
    ~CPageBuffer() { Release(); }
    CPageBuffer(const CPageBuffer&) = delete;
    CPageBuffer& operator=(const CPageBuffer&) = delete;
    CPageBuffer(CPageBuffer&& o) noexcept { Swap(o); }
    CPageBuffer& operator=(CPageBuffer&& o) noexcept {
        if (this != &o) {
            Release();
            Swap(o);
        }
        return *this;
    }

    // Reserves address space without access; releases any earlier reservation.
    bool Reserve(size_t nBytes);
    // Makes [0, nBytes) readable and writable; never shrinks.
    bool CommitTo(size_t nBytes);
    void Release();

    uint8_t* Data() const { return m_pBase; }
    size_t Reserved() const { return m_nReserved; }
    size_t Committed() const { return m_nCommitted; }
    bool IsValid() const { return m_pBase != nullptr; }
    // Gives up ownership of the reservation (the caller frees it with Free).
    uint8_t* Detach(size_t* pReserved = nullptr);
    static void Free(uint8_t* p, size_t nReserved);

private:
    void Swap(CPageBuffer& o) noexcept;
    uint8_t* m_pBase = nullptr;
    size_t m_nReserved = 0;
    size_t m_nCommitted = 0;
};
