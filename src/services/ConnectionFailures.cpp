#include "services/ConnectionFailures.h"

void ConnectionFailures::record(bool unreachable)
{
    ++m_requests;
    if (unreachable) {
        ++m_inRow;
    } else {
        m_inRow = 0;
        ++m_reached;
    }
}
