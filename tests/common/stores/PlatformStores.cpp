#include "common/FreshStart.h"
#include "platform/UserDefaults.h"

namespace {

const bool registered = TestSupport::addStoreReset([] { UserDefaults::standard().reset(); });

} // namespace
