// The curve writer pool; see curve_pool.h.
#include "curve_pool.h"

CurvePool::CurvePool(ExportedSignalSet& exported, unsigned threads) : exported_(exported) {
    if (threads == 0) threads = std::thread::hardware_concurrency();
    if (threads == 0) threads = 1;
    window_ = 2 * static_cast<std::size_t>(threads) + 2;
    for (unsigned t = 0; t < threads; ++t) workers_.emplace_back([this] { work(); });
}

CurvePool::~CurvePool() {
    finishAll();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) worker.join();
}

void CurvePool::write(const WaveformDataset& ds, const std::string& name, int32_t signal,
                      const CurveSamples& samples, const std::string& path, bool refused) {
    // Two curves of one file each write their own temporary; finishing in
    // run order renames the later one last, so it is the one that stays.
    std::unique_lock<std::mutex> lock(mutex_);
    while (jobs_.size() >= window_) {
        changed_.wait(lock, [this] { return jobs_.front()->done; });
        finishDone(lock, false);
    }
    lock.unlock();
    auto job = std::make_shared<Job>();
    job->file = std::make_unique<CurveFileJob>(ds, name, signal, path, refused);
    job->samples = samples;
    job->done = !job->file->opened();
    job->started = job->done;
    lock.lock();
    jobs_.push_back(job);
    finishDone(lock, false);
    lock.unlock();
    changed_.notify_all();
}

void CurvePool::finishAll() {
    std::unique_lock<std::mutex> lock(mutex_);
    finishDone(lock, true);
}

void CurvePool::finishDone(std::unique_lock<std::mutex>& lock, bool wait) {
    while (!jobs_.empty()) {
        if (!jobs_.front()->done) {
            if (!wait) return;
            changed_.wait(lock, [this] { return jobs_.front()->done; });
        }
        std::shared_ptr<Job> job = jobs_.front();
        jobs_.pop_front();
        // Printing happens outside the lock so the workers go on meanwhile.
        lock.unlock();
        job->file->finish(exported_);
        lock.lock();
    }
}

void CurvePool::work() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        std::shared_ptr<Job> next;
        changed_.wait(lock, [&] {
            if (stopping_) return true;
            for (const auto& job : jobs_) {
                if (!job->started) {
                    next = job;
                    return true;
                }
            }
            return false;
        });
        if (next == nullptr) return;
        next->started = true;
        lock.unlock();
        next->file->write(next->samples);
        lock.lock();
        next->done = true;
        changed_.notify_all();
    }
}
