#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace tarnivel::dirserver {

// Which rooms exist: the ones named at start, or, when open, any room at all.
class RoomCatalogue
{
public:
    RoomCatalogue(const std::vector<std::string> &names, bool open) : names(names.begin(), names.end()), open(open) {}

    [[nodiscard]] bool exists(const std::string &room) const { return open || names.contains(room); }

private:
    std::unordered_set<std::string> names;
    bool open;
};

// The catalogue every thread reads, replaced whole when the rooms file is read again.
class SharedRoomCatalogue
{
public:
    explicit SharedRoomCatalogue(RoomCatalogue catalogue)
        : current(std::make_shared<const RoomCatalogue>(std::move(catalogue)))
    {}

    void replace(RoomCatalogue catalogue)
    {
        auto next = std::make_shared<const RoomCatalogue>(std::move(catalogue));
        const std::lock_guard hold(lock);
        current = std::move(next);
        generation.fetch_add(1, std::memory_order_release);
    }

    // One thread's copy: takes the lock only after a replacement.
    class Reader
    {
    public:
        explicit Reader(const SharedRoomCatalogue &shared) : shared(shared) {}

        [[nodiscard]] const RoomCatalogue &get()
        {
            const auto now = shared.generation.load(std::memory_order_acquire);
            if (!copy || now != seen) {
                const std::lock_guard hold(shared.lock);
                copy = shared.current;
                seen = shared.generation.load(std::memory_order_relaxed);
            }
            return *copy;
        }

    private:
        const SharedRoomCatalogue &shared;
        std::shared_ptr<const RoomCatalogue> copy;
        std::uint64_t seen = 0;
    };

private:
    mutable std::mutex lock;
    std::shared_ptr<const RoomCatalogue> current;
    std::atomic<std::uint64_t> generation{0};
};

} // namespace tarnivel::dirserver
