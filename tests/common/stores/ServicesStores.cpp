#include "common/FreshStart.h"
#include "services/TNKeychain.h"
#include "services/opensubtitles/OSApi.h"

namespace {

const bool registered = TestSupport::addStoreReset([] {
    OSApi::forgetSession();
    TNKeychain::setDefaultKeychain(nullptr);
});

} // namespace
