// Worker threads that recognise the text of pages while the next pages are
// scanned. The queue is bounded, so memory stays flat however many pages a
// document has: Submit waits while it is full. Portable: standard threads only.
#pragma once

#include "ocrengine.h"
#include "pdfwriter.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vlm::pdf {

class CRecognitionWorkers {
public:
    // Called on a worker thread with a page's words (none when the engine could
    // not read it or could not start).
    using Finish = std::function<void(const PendingPage&, const OcrImage&, std::vector<OcrWord>&)>;

    CRecognitionWorkers() = default;
    ~CRecognitionWorkers() { Stop(); }
    CRecognitionWorkers(const CRecognitionWorkers&) = delete;
    CRecognitionWorkers& operator=(const CRecognitionWorkers&) = delete;

    // Each worker loads the languages into an engine of its own, at once, so
    // that the first page does not wait for it.
    void Start(const std::string& folder, const std::string& languages, int workers,
               size_t capacity, Finish finish);
    bool Running() const { return !m_vecThreads.empty(); }
    // Queues a page; waits while capacity pages are waiting.
    void Submit(const PendingPage& pending, OcrImage&& image);
    // Pages queued or being recognised.
    size_t Pending();
    // Waits for the last page and ends the workers; the engine's complaints, if any.
    std::string Stop();

    // Workers for this machine: recognition is heavy, so half the cores, one at least.
    static int DefaultWorkers();

private:
    struct Job {
        PendingPage pending;
        OcrImage image;
    };
    void Work();

    std::mutex m_lock;
    std::condition_variable m_cvWork, m_cvSpace;
    std::deque<Job> m_queue;
    size_t m_nCapacity = 1, m_nBusy = 0;
    bool m_bStopping = false;
    std::string m_strFolder, m_strLanguages, m_strErrors;
    Finish m_finish;
    std::vector<std::thread> m_vecThreads;
};

} // namespace vlm::pdf
