#include "platform/KeychainBackend.h"

#include "platform/FileKeychain.h"
#include "platform/MemoryKeychain.h"
#include "platform/SecretServiceKeychain.h"

std::unique_ptr<KeychainBackend> KeychainBackend::fromEnvironment()
{
    const QString choice = qEnvironmentVariable("TROVANEL_KEYCHAIN");
    if (choice == QLatin1String("memory"))
        return std::make_unique<MemoryKeychain>();
    if (choice.startsWith(QLatin1String("file:")))
        return std::make_unique<FileKeychain>(choice.mid(5));
    return std::make_unique<SecretServiceKeychain>();
}
