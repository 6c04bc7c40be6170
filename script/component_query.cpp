#include "script/component_query.h"

#include <iostream>

void Query::HandleQuery()
{
    std::cout << "Non-overloaded query!\n";
}

namespace {
QueryQueue queries;
} // namespace

QueryQueue& GetQueryQueue()
{
    return queries;
}
