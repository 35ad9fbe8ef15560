// Curve files written by a pool of threads, reported in run order.
#ifndef WAVTREX_TOOL_CURVE_POOL_H
#define WAVTREX_TOOL_CURVE_POOL_H

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "curve_writer.h"

// Opens every curve file on the calling thread, in run order, and hands the
// formatting and writing to worker threads. Console lines are printed and the
// exported set is filled on the calling thread, in the order in which a
// single-threaded run would, as the jobs at the head of the queue complete.
// A few jobs are in flight at a time, which bounds open files and buffers.
class CurvePool {
  public:
    // threads 0 means one per hardware thread.
    explicit CurvePool(ExportedSignalSet& exported, unsigned threads = 0);
    ~CurvePool();
    CurvePool(const CurvePool&) = delete;
    CurvePool& operator=(const CurvePool&) = delete;

    // A CurveFileJob for this curve. The samples must stay valid until
    // finishAll() has returned.
    void write(const WaveformDataset& ds, const std::string& name, int32_t signal,
               const CurveSamples& samples, const std::string& path, bool refused = false);

    // Waits for every job and reports them all.
    void finishAll();

  private:
    struct Job {
        std::unique_ptr<CurveFileJob> file;
        CurveSamples samples;
        bool started = false;
        bool done = false;
    };

    void work();
    // Reports the completed jobs at the head; with wait, until none is left.
    void finishDone(std::unique_lock<std::mutex>& lock, bool wait);

    ExportedSignalSet& exported_;
    std::size_t window_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::shared_ptr<Job>> jobs_;  // unreported jobs in run order
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

#endif
