#include "services/subdb/SubDBSearchOperation.h"

void SubDBSearchOperation::main()
{
    const bool searchable =
        languages().contains(QLatin1String("en")) || languages().contains(QLatin1String("fr"));
    if (!searchable)
        return;
    // No video is searched yet, so the walk over them only meets a cancellation at its
    // first video.
    notifyFinished(!files().isEmpty() && isCancelled());
}
