#include "PageBuffer.h"

#include <utility>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {
size_t PageSize() {
#ifdef _WIN32
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    return si.dwPageSize;
#else
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
#endif
}
size_t RoundUp(size_t n, size_t unit) {
    return (n + unit - 1) / unit * unit;
}
} // namespace

bool CPageBuffer::Reserve(size_t nBytes) {
    Release();
    if (nBytes == 0)
        return false;
    const size_t size = RoundUp(nBytes, PageSize());
    if (size < nBytes)
        return false; // overflow
#ifdef _WIN32
    void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
    if (!p)
        return false;
#else
    void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED)
        return false;
#endif
    m_pBase = static_cast<uint8_t*>(p);
    m_nReserved = nBytes;
    m_nCommitted = 0;
    return true;
}

bool CPageBuffer::CommitTo(size_t nBytes) {
    if (!m_pBase || nBytes > m_nReserved)
        return false;
    if (nBytes <= m_nCommitted)
        return true;
    const size_t page = PageSize();
    const size_t from = m_nCommitted / page * page;
    const size_t to = RoundUp(nBytes, page);
#ifdef _WIN32
    if (!VirtualAlloc(m_pBase + from, to - from, MEM_COMMIT, PAGE_READWRITE))
        return false;
#else
    if (mprotect(m_pBase + from, to - from, PROT_READ | PROT_WRITE) != 0)
        return false;
#endif
    m_nCommitted = nBytes;
    return true;
}

void CPageBuffer::Free(uint8_t* p, size_t nReserved) {
    if (!p)
        return;
#ifdef _WIN32
    (void)nReserved;
    VirtualFree(p, 0, MEM_RELEASE);
#else
    munmap(p, RoundUp(nReserved, PageSize()));
#endif
}

void CPageBuffer::Release() {
    Free(m_pBase, m_nReserved);
    m_pBase = nullptr;
    m_nReserved = 0;
    m_nCommitted = 0;
}

uint8_t* CPageBuffer::Detach(size_t* pReserved) {
    uint8_t* p = m_pBase;
    if (pReserved)
        *pReserved = m_nReserved;
    m_pBase = nullptr;
    m_nReserved = 0;
    m_nCommitted = 0;
    return p;
}

void CPageBuffer::Swap(CPageBuffer& o) noexcept {
    std::swap(m_pBase, o.m_pBase);
    std::swap(m_nReserved, o.m_nReserved);
    std::swap(m_nCommitted, o.m_nCommitted);
}
