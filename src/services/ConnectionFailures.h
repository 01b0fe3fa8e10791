#pragma once

// The requests of one search to one service that got no answer at all. Three in a row mean
// the service cannot be reached, and the rest of the search stops asking it.
class ConnectionFailures
{
public:
    static constexpr int Limit = 3;

    void record(bool unreachable);
    bool limitReached() const { return m_inRow >= Limit; }
    // True when requests were made and none of them reached the service.
    bool neverReached() const { return m_requests > 0 && m_reached == 0; }

private:
    int m_inRow = 0;
    int m_requests = 0;
    int m_reached = 0;
};
