#include "core/playlist/IntList.h"

#include "core/platform/Error.h"

namespace cadrell {

int TIntList::Add(int32_t value) {
    values_.push_back(value);
    return Count() - 1;
}

int32_t TIntList::Value(int index) const {
    if (index < 0 || index >= Count())
        throw Error(QStringLiteral("List index out of bounds (%1)").arg(index));
    return values_[static_cast<size_t>(index)];
}

}  // namespace cadrell
