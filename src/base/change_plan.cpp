#include "base/change_plan.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "base/system_text.h"

namespace ozu {
namespace {

std::u16string PathKey(std::u16string_view path) {
    std::u16string key(path);
    while (key.size() > 3 && (key.back() == u'\\' || key.back() == u'/')) {
        key.pop_back();
    }
    for (char16_t& c : key) {
        c = SystemUpperChar(c);
    }
    return key;
}

// Paths as the file system tells them apart (case ignored through the
// system's upper-case table), sorted, with their planned attributes.
using PlannedPath = std::pair<std::u16string, uint32_t>;
std::vector<PlannedPath>& PlannedPaths() {
    static std::vector<PlannedPath> paths;
    return paths;
}

std::vector<PlannedPath>::iterator Place(const std::u16string& key) {
    std::vector<PlannedPath>& paths = PlannedPaths();
    return std::lower_bound(
        paths.begin(), paths.end(), key,
        [](const PlannedPath& path, const std::u16string& wanted) { return path.first < wanted; });
}

void Plan(std::u16string_view path, uint32_t attributes) {
    std::u16string key = PathKey(path);
    const auto place = Place(key);
    if (place != PlannedPaths().end() && place->first == key) {
        place->second = attributes;
    } else {
        PlannedPaths().emplace(place, std::move(key), attributes);
    }
}

} // namespace

void PlanGone(std::u16string_view path) {
    Plan(path, kPlannedGone);
}

void PlanMade(std::u16string_view path, uint32_t attributes) {
    Plan(path, attributes);
}

std::optional<uint32_t> PlannedAttributes(std::u16string_view path) {
    // A real run plans nothing: no read pays for the plan.
    if (PlannedPaths().empty()) {
        return std::nullopt;
    }
    const std::u16string key = PathKey(path);
    const auto place = Place(key);
    if (place == PlannedPaths().end() || place->first != key) {
        return std::nullopt;
    }
    return place->second;
}

bool PlanMakesSomethingBelow(std::u16string_view folder) {
    if (PlannedPaths().empty()) {
        return false;
    }
    std::u16string prefix = PathKey(folder);
    if (prefix.empty() || prefix.back() != u'\\') {
        prefix += u'\\';
    }
    for (auto place = Place(prefix);
         place != PlannedPaths().end() && place->first.compare(0, prefix.size(), prefix) == 0;
         ++place) {
        if (place->second != kPlannedGone) {
            return true;
        }
    }
    return false;
}

} // namespace ozu
