#pragma once

#include "services/SubtitleSearchOperation.h"

// Logs in to BetaSeries once and searches every video, in English, French or both.
class BSSearchOperation : public SubtitleSearchOperation
{
    Q_OBJECT

public:
    using SubtitleSearchOperation::SubtitleSearchOperation;

protected:
    void main() override;
};
