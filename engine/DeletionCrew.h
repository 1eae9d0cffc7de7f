// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A few threads for the deletions of a group of originals, started when a group first needs
// them and reused for every group after it, so that a run of many small groups does not pay
// for a new set of threads each time.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/SafeFile.h"

namespace kolvik {

class DeletionCrew final : public safefile::Crew {
  public:
    // The calling thread works along, so at most this many run at once.
    static constexpr std::size_t kMaxAtOnce = 8;

    DeletionCrew() = default;
    ~DeletionCrew() { Stop(); }
    DeletionCrew(const DeletionCrew&) = delete;
    DeletionCrew& operator=(const DeletionCrew&) = delete;

    // Returns once every job is done; the first exception a job threw is thrown here then.
    void Run(std::size_t count, const std::function<void(std::size_t)>& job) override;
    // Lets the threads finish and joins them; a later Run starts new ones.
    void Stop();
    std::size_t Threads() const { return helpers_.size(); }

  private:
    void Help();
    // Takes jobs until none is left.
    void Work();

    std::mutex mutex_;
    std::condition_variable wake_, done_;
    std::vector<std::thread> helpers_;
    const std::function<void(std::size_t)>* job_ = nullptr;
    std::size_t count_ = 0, next_ = 0, finished_ = 0;
    std::uint64_t batch_ = 0;
    bool stopping_ = false;
    std::exception_ptr error_;
};

}  // namespace kolvik
