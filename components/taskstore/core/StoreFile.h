// The store file on disk. Every change happens under an exclusive lock on
// "<file>.lock": the file is read again, the change is applied to what is on
// disk (so two processes never undo each other's writes), and a new file is
// written beside it, flushed and renamed over the old one, so that a reader or
// a crash only ever sees the old or the new file whole.
#pragma once
#include "RegText.h"

#include <functional>
#include <string>

namespace taskstore {

class CStoreError {
public:
    enum Code { kNone, kParse, kIo, kBusy, kRefused };
    Code m_code = kNone;
    std::string m_strText;
    int m_nSysError = 0; // errno or Win32 error for kIo
};

// Whole-file read; bMissing is set (and true returned) when the file does not exist.
bool ReadWholeFile(const std::string& path, std::string& bytes, bool& bMissing, CStoreError& err);

// Writes a new file next to path, flushes it and renames it over path.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes, CStoreError& err);

// Parse with an error that names the file and the line.
bool ParseStoreText(const std::string& path, const std::string& bytes, CStoreData& data,
                    CStoreError& err, const IValueProtector* pProtector);

class CStoreFile {
public:
    explicit CStoreFile(std::string path, const IValueProtector* pProtector = nullptr)
        : m_strPath(std::move(path)), m_pProtector(pProtector) {}

    const std::string& Path() const { return m_strPath; }

    // A missing file is an empty store.
    bool Read(CStoreData& data, CStoreError& err) const;

    // change() edits the data read from disk; returning false leaves the
    // file as it is. On success result holds what was written. A file that
    // does not parse is never overwritten.
    bool Update(const std::function<bool(CStoreData&, CStoreError&)>& change, CStoreData& result,
                CStoreError& err) const;

    unsigned m_nLockTimeoutMs = 15000;

private:
    bool ReadLocked(CStoreData& data, CStoreError& err) const;

    std::string m_strPath;
    const IValueProtector* m_pProtector;
};

} // namespace taskstore
