#pragma once
// Query: the base of a query between components. Nothing issues or answers
// queries yet; the type and its queue of 128 records are the facility for it.
#include <cstdint>

#include "kernel/static_queue.h"

class Query {
public:
    virtual ~Query() = default;
    // Derived queries replace this; the base only says it was not replaced.
    virtual void HandleQuery();
    virtual int QueryResult() const { return 0; }
    virtual int QueryStatus() const { return 0; }

    uint8_t flag = 1;
};

using QueryQueue = staticQueue<Query, 128>;

QueryQueue& GetQueryQueue();
