#pragma once

#include <QBuffer>

// A device that claims more bytes than it can deliver, as a file shrinking mid-read would.
class ShrinkingDevice : public QBuffer
{
public:
    using QBuffer::QBuffer;
    qint64 size() const override { return QBuffer::size() + 4096; }
};
