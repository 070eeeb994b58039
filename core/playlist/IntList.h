#pragma once

#include <cstdint>
#include <vector>

namespace cadrell {

// An ordered list of 32-bit integers; Value checks its position like the rest of the program's
// lists do, with the same message.
class TIntList {
public:
    int Add(int32_t value);
    int32_t Value(int index) const;
    int Count() const { return static_cast<int>(values_.size()); }
    void Clear() { values_.clear(); }

    const std::vector<int32_t>& values() const { return values_; }
    void assign(std::vector<int32_t> values) { values_ = std::move(values); }

private:
    std::vector<int32_t> values_;
};

}  // namespace cadrell
