#pragma once

#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "pdf/object/CPdfObject.h"
#include "pdf/object/CPdfResolver.h"

// A cross-reference stand-in for tests: the objects it knows by number and
// generation, null for any other; it records every fetch.
class MapResolver : public CPdfResolver {
public:
    MapResolver& Set(int32_t number, int32_t generation, CPdfObject value) {
        objects_[{number, generation}] = std::move(value);
        return *this;
    }

    CPdfObject Fetch(int32_t number, int32_t generation) override {
        fetches.emplace_back(number, generation);
        const auto it = objects_.find({number, generation});
        return it == objects_.end() ? CPdfObject::Null() : it->second;
    }

    std::vector<std::pair<int32_t, int32_t>> fetches;

private:
    std::map<std::pair<int32_t, int32_t>, CPdfObject> objects_;
};
