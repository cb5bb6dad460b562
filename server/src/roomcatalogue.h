#pragma once

#include <string>
#include <unordered_set>
#include <vector>

namespace tarnivel::directory {

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

} // namespace tarnivel::directory
