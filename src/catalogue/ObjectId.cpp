#include "catalogue/ObjectId.h"

#include <atomic>

ObjectId ObjectId::next()
{
    static std::atomic<quint64> counter{0};
    return ObjectId(counter.fetch_add(1, std::memory_order_relaxed) + 1);
}
