#include "recognition.h"

#include <algorithm>

namespace vlm::pdf {

int CRecognitionWorkers::DefaultWorkers() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores / 2, 1u, 4u));
}

void CRecognitionWorkers::Start(const std::string& folder, const std::string& languages,
                                int workers, size_t capacity, Finish finish) {
    Stop();
    m_strFolder = folder;
    m_strLanguages = languages;
    m_strErrors.clear();
    m_nCapacity = std::max<size_t>(1, capacity);
    m_bStopping = false;
    m_finish = std::move(finish);
    for (int i = 0; i < std::max(1, workers); ++i)
        m_vecThreads.emplace_back(&CRecognitionWorkers::Work, this);
}

void CRecognitionWorkers::Submit(const PendingPage& pending, OcrImage&& image) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_cvSpace.wait(guard, [this] { return m_queue.size() < m_nCapacity; });
    m_queue.push_back({pending, std::move(image)});
    m_cvWork.notify_one();
}

size_t CRecognitionWorkers::Pending() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_queue.size() + m_nBusy;
}

std::string CRecognitionWorkers::Stop() {
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_bStopping = true; // the workers empty the queue first
    }
    m_cvWork.notify_all();
    for (std::thread& t : m_vecThreads)
        t.join();
    m_vecThreads.clear();
    std::lock_guard<std::mutex> guard(m_lock);
    std::string errors;
    errors.swap(m_strErrors);
    return errors;
}

void CRecognitionWorkers::Work() {
    COcrEngine engine;
    std::string error;
    const bool started = engine.Start(m_strFolder, m_strLanguages, &error);
    bool failedPage = false;
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_cvWork.wait(guard, [this] { return !m_queue.empty() || m_bStopping; });
            if (m_queue.empty())
                break;
            job = std::move(m_queue.front());
            m_queue.pop_front();
            ++m_nBusy;
        }
        m_cvSpace.notify_one();
        std::vector<OcrWord> words;
        if (started && !engine.Recognise(job.image, words))
            failedPage = true;
        m_finish(job.pending, job.image, words);
        std::lock_guard<std::mutex> guard(m_lock);
        --m_nBusy;
    }
    // Each complaint once, however many workers had it.
    if (!started)
        failedPage = false;
    const std::string complaint = !started     ? error
                                  : failedPage ? "OCR failed on a page (" + m_strLanguages + ")"
                                               : "";
    std::lock_guard<std::mutex> guard(m_lock);
    if (!complaint.empty() && m_strErrors.find(complaint) == std::string::npos)
        m_strErrors += (m_strErrors.empty() ? "" : "; ") + complaint;
}

} // namespace vlm::pdf
