#pragma once

#include "http/BodySource.h"

#include <functional>
#include <memory>

class BandwidthThrottle;

// A request body that counts what it reads against the bandwidth limit and, while throttled,
// reads no more than the upload budget allows.
class HTTPInputStream final : public BodySource
{
public:
    // `throttle` is the owning request's throttling step, run on every throttled read.
    HTTPInputStream(std::unique_ptr<BodySource> source, BandwidthThrottle &bandwidth,
                    std::function<void()> throttle);
    qint64 read(char *buffer, qint64 maxLength) override;

private:
    std::unique_ptr<BodySource> m_source;
    BandwidthThrottle &m_bandwidth;
    std::function<void()> m_throttle;
};
