#include "platform/Logging.h"

Q_LOGGING_CATEGORY(lcPlatform, "trovanel.platform")
Q_LOGGING_CATEGORY(lcCatalogue, "trovanel.catalogue")
Q_LOGGING_CATEGORY(lcHttp, "trovanel.http")
Q_LOGGING_CATEGORY(lcServices, "trovanel.services")
Q_LOGGING_CATEGORY(lcApp, "trovanel.app")
