#include "services/TNKeychain.h"

#include "platform/MainThread.h"

using Status = KeychainBackend::Status;

TNKeychain::TNKeychain(std::unique_ptr<KeychainBackend> keychain) : m_keychain(std::move(keychain))
{}

namespace {

QString &openProblem()
{
    static QString problem;
    return problem;
}

std::unique_ptr<TNKeychain> &sharedKeychain()
{
    static std::unique_ptr<TNKeychain> shared;
    return shared;
}

} // namespace

TNKeychain *TNKeychain::defaultKeychain()
{
    Q_ASSERT(MainThread::isCurrent());
    std::unique_ptr<TNKeychain> &shared = sharedKeychain();
    if (!shared)
        shared = initFromDefault(&openProblem());
    return shared.get();
}

void TNKeychain::setDefaultKeychain(std::unique_ptr<TNKeychain> keychain)
{
    Q_ASSERT(MainThread::isCurrent());
    sharedKeychain() = std::move(keychain);
    openProblem().clear();
}

QString TNKeychain::defaultKeychainProblem()
{
    Q_ASSERT(MainThread::isCurrent());
    return openProblem();
}

std::unique_ptr<TNKeychain> TNKeychain::initFromDefault(QString *problem)
{
    std::unique_ptr<KeychainBackend> keychain = KeychainBackend::fromEnvironment();
    if (!keychain->open()) {
        if (problem)
            *problem = keychain->problem();
        return nullptr;
    }
    return std::make_unique<TNKeychain>(std::move(keychain));
}

QString TNKeychain::keychainNameForService(const QString &service, const QString &account)
{
    return QStringLiteral("Trovanel - %1: %2").arg(service, account);
}

QString TNKeychain::passwordForSubtitlesService(const QString &service,
                                                const QString &account) const
{
    return passwordForGenericService(keychainNameForService(service, account), account);
}

QString TNKeychain::passwordForGenericService(const QString &service, const QString &account) const
{
    if (service.isNull() || account.isNull())
        return {};
    QByteArray secret;
    if (m_keychain->find(service, account, &secret) != Status::Ok)
        return {};
    const QString password = QString::fromUtf8(secret);
    return password.isNull() ? QStringLiteral("") : password;
}

bool TNKeychain::addGenericPassword(const QString &password, const QString &service,
                                    const QString &account, bool replaceExisting)
{
    if (password.isNull() || service.isNull() || account.isNull())
        return false;
    const QByteArray secret = password.toUtf8();
    const Status added = m_keychain->add(service, account, secret);
    if (!replaceExisting || added != Status::Duplicate)
        return false;
    QByteArray existing;
    if (m_keychain->find(service, account, &existing) != Status::Ok)
        return false;
    if (existing == secret)
        return true;
    return m_keychain->modify(service, account, secret) == Status::Ok;
}

void TNKeychain::deletePasswordForGenericService(const QString &service, const QString &account)
{
    if (service.isNull() || account.isNull())
        return;
    m_keychain->remove(service, account);
}
