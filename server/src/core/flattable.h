#pragma once

#include <cstddef>
#include <utility>
#include <vector>

namespace tarnivel::dirserver {

// A hash table in one flat array (open addressing, linear probing), so that a look-up reads
// one or two cache lines rather than a bucket, the node before and the node: the limits and
// the rooms look up several keys in every request. Each slot keeps its key's hash, so other
// keys are passed over without reading them (a key may be a view of text held elsewhere).
// Not thread-safe. At most half full: it doubles before; an entry is erased by moving the
// ones after it back, so no marks of erased entries slow it down. Values and keys move when
// it grows or erases: hold neither across a change.
template <typename Key, typename Value, typename Hash>
class FlatTable
{
public:
    // The key's value, made as Value{} when it has none.
    Value &operator[](const Key &key)
    {
        if ((count + 1) * 2 > slots.size())
            grow();
        const auto hash = Hash{}(key);
        auto i = hash & mask();
        for (; slots[i].used; i = (i + 1) & mask())
            if (slots[i].hash == hash && slots[i].key == key)
                return slots[i].value;
        slots[i] = Slot{hash, key, Value{}, true};
        ++count;
        return slots[i].value;
    }

    [[nodiscard]] Value *find(const Key &key)
    {
        if (count == 0)
            return nullptr;
        const auto hash = Hash{}(key);
        for (auto i = hash & mask(); slots[i].used; i = (i + 1) & mask())
            if (slots[i].hash == hash && slots[i].key == key)
                return &slots[i].value;
        return nullptr;
    }

    void erase(const Key &key)
    {
        if (count == 0)
            return;
        const auto hash = Hash{}(key);
        for (auto i = hash & mask(); slots[i].used; i = (i + 1) & mask()) {
            if (slots[i].hash == hash && slots[i].key == key) {
                eraseAt(i);
                return;
            }
        }
    }

    // Erases every entry the predicate (key, value) holds for.
    template <typename Predicate>
    void eraseIf(Predicate worthless)
    {
        std::vector<Slot> old(slots.size());
        old.swap(slots);
        count = 0;
        for (auto &slot : old)
            if (slot.used && !worthless(slot.key, slot.value))
                place(std::move(slot));
    }

    [[nodiscard]] std::size_t size() const { return count; }

private:
    struct Slot
    {
        std::size_t hash = 0;
        Key key{};
        Value value{};
        bool used = false;
    };

    [[nodiscard]] std::size_t mask() const { return slots.size() - 1; }

    void place(Slot &&slot)
    {
        auto i = slot.hash & mask();
        while (slots[i].used)
            i = (i + 1) & mask();
        slots[i] = std::move(slot);
        ++count;
    }

    void grow()
    {
        std::vector<Slot> old(slots.empty() ? 16 : slots.size() * 2);
        old.swap(slots);
        count = 0;
        for (auto &slot : old)
            if (slot.used)
                place(std::move(slot));
    }

    // Backward-shift deletion: each entry after the hole that may sit in it moves there.
    void eraseAt(std::size_t hole)
    {
        slots[hole].used = false;
        --count;
        for (auto next = (hole + 1) & mask(); slots[next].used; next = (next + 1) & mask()) {
            const auto wanted = slots[next].hash & mask();
            // It stays when its home lies after the hole, up to where it is (cyclically).
            const bool stays = hole <= next ? (hole < wanted && wanted <= next) : (hole < wanted || wanted <= next);
            if (stays)
                continue;
            slots[hole] = std::move(slots[next]);
            slots[next].used = false;
            hole = next;
        }
    }

    std::vector<Slot> slots;
    std::size_t count = 0;
};

} // namespace tarnivel::dirserver
