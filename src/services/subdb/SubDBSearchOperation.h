#pragma once

#include "services/SubtitleSearchOperation.h"

// The SubDB search in English or French. The service is not searched yet: the operation
// walks its videos until it is done or cancelled, and reports only its end.
class SubDBSearchOperation : public SubtitleSearchOperation
{
    Q_OBJECT

public:
    using SubtitleSearchOperation::SubtitleSearchOperation;

protected:
    void main() override;
};
