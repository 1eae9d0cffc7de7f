// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/DeletionCrew.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace kolvik {

void DeletionCrew::Run(std::size_t count, const std::function<void(std::size_t)>& job) {
    if (count == 0) return;
    if (count == 1) return job(0);
    const std::size_t wanted = std::min(count, kMaxAtOnce) - 1;
    try {
        while (helpers_.size() < wanted) helpers_.emplace_back([this] { Help(); });
    } catch (const std::system_error&) {
        // No more threads to be had: those there are, and this one, do the work.
    }
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        job_ = &job;
        count_ = count;
        next_ = finished_ = 0;
        ++batch_;
    }
    wake_.notify_all();
    Work();
    std::exception_ptr error;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [this] { return finished_ == count_; });
        job_ = nullptr;
        error = std::exchange(error_, nullptr);
    }
    if (error) std::rethrow_exception(error);
}

void DeletionCrew::Work() {
    for (;;) {
        std::size_t i = 0;
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (job_ == nullptr || next_ >= count_) return;
            i = next_++;
        }
        std::exception_ptr error;
        try {
            (*job_)(i);
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard<std::mutex> lock(mutex_);
        if (error && !error_) error_ = error;
        if (++finished_ == count_) done_.notify_all();
    }
}

void DeletionCrew::Help() {
    std::uint64_t seen = 0;
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [&] { return stopping_ || (job_ != nullptr && batch_ != seen); });
            if (stopping_) return;
            seen = batch_;
        }
        Work();
    }
}

void DeletionCrew::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : helpers_) t.join();
    helpers_.clear();
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = false;
}

}  // namespace kolvik
