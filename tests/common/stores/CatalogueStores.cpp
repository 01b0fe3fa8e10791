#include "catalogue/SubtitlesLanguages.h"
#include "common/FreshStart.h"

namespace {

const bool registered = TestSupport::addStoreReset(
    [] { SubtitlesLanguages::sharedInstance().setPreferredLanguages({}); });

} // namespace
