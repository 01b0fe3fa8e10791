#include "platform/SecretServiceKeychain.h"

#include "platform/Logging.h"

#include <condition_variable>
#include <mutex>
#include <thread>

#include <libsecret/secret.h>

using Status = KeychainBackend::Status;

namespace {

// A locked keyring may prompt, and the calls may then block for ever.
constexpr auto CallTimeout = std::chrono::seconds(20);

const SecretSchema *schema()
{
    static const SecretSchema value = {"org.trovanel.GenericPassword",
                                       SECRET_SCHEMA_NONE,
                                       {{"service", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {"account", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING}},
                                       0,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr,
                                       nullptr};
    return &value;
}

// Cancels the call it guards when the call outlives CallTimeout.
class TimeLimit
{
public:
    TimeLimit() : m_cancellable(g_cancellable_new())
    {
        m_watchdog = std::thread([this] {
            std::unique_lock lock(m_mutex);
            if (!m_done.wait_for(lock, CallTimeout, [this] { return m_finished; }))
                g_cancellable_cancel(m_cancellable);
        });
    }
    ~TimeLimit()
    {
        {
            std::lock_guard lock(m_mutex);
            m_finished = true;
        }
        m_done.notify_one();
        m_watchdog.join();
        g_object_unref(m_cancellable);
    }
    TimeLimit(const TimeLimit &) = delete;
    TimeLimit &operator=(const TimeLimit &) = delete;

    GCancellable *cancellable() const { return m_cancellable; }

private:
    GCancellable *m_cancellable;
    std::mutex m_mutex;
    std::condition_variable m_done;
    bool m_finished = false;
    std::thread m_watchdog;
};

Status failed(GError *error, const char *what, QString *problem)
{
    qCInfo(lcPlatform) << "Secret Service" << what << "failed:" << error->message;
    *problem = QString::fromUtf8(error->message);
    g_error_free(error);
    return Status::Failed;
}

Status lookup(const QString &service, const QString &account, QByteArray *secret, QString *problem)
{
    TimeLimit limit;
    GError *error = nullptr;
    // The secret as bytes: a text lookup would end it at its first NUL.
    SecretValue *value = secret_password_lookup_binary_sync(
        schema(), limit.cancellable(), &error, "service", service.toUtf8().constData(), "account",
        account.toUtf8().constData(), nullptr);
    if (error)
        return failed(error, "lookup", problem);
    if (!value)
        return Status::NotFound;
    if (secret) {
        gsize length = 0;
        const gchar *bytes = secret_value_get(value, &length);
        *secret = QByteArray(bytes, qsizetype(length));
    }
    secret_value_unref(value);
    return Status::Ok;
}

Status store(const QString &service, const QString &account, const QByteArray &secret,
             QString *problem)
{
    TimeLimit limit;
    GError *error = nullptr;
    SecretValue *value = secret_value_new(secret.constData(), secret.size(), "text/plain");
    const bool stored = secret_password_store_binary_sync(
        schema(), SECRET_COLLECTION_DEFAULT, service.toUtf8().constData(), value,
        limit.cancellable(), &error, "service", service.toUtf8().constData(), "account",
        account.toUtf8().constData(), nullptr);
    secret_value_unref(value);
    if (error)
        return failed(error, "store", problem);
    return stored ? Status::Ok : Status::Failed;
}

} // namespace

bool SecretServiceKeychain::open()
{
    TimeLimit limit;
    GError *error = nullptr;
    gchar *password = secret_password_lookup_sync(schema(), limit.cancellable(), &error, "service",
                                                  "org.trovanel.probe", "account", "", nullptr);
    secret_password_free(password);
    if (error) {
        qCInfo(lcPlatform) << "No Secret Service:" << error->message;
        m_problem = QString::fromUtf8(error->message);
        g_error_free(error);
        return false;
    }
    return true;
}

Status SecretServiceKeychain::find(const QString &service, const QString &account,
                                   QByteArray *secret)
{
    return lookup(service, account, secret, &m_problem);
}

Status SecretServiceKeychain::add(const QString &service, const QString &account,
                                  const QByteArray &secret)
{
    const Status existing = lookup(service, account, nullptr, &m_problem);
    if (existing == Status::Ok)
        return Status::Duplicate;
    if (existing != Status::NotFound)
        return existing;
    return store(service, account, secret, &m_problem);
}

Status SecretServiceKeychain::modify(const QString &service, const QString &account,
                                     const QByteArray &secret)
{
    const Status existing = lookup(service, account, nullptr, &m_problem);
    if (existing != Status::Ok)
        return existing;
    return store(service, account, secret, &m_problem);
}

Status SecretServiceKeychain::remove(const QString &service, const QString &account)
{
    TimeLimit limit;
    GError *error = nullptr;
    const bool removed = secret_password_clear_sync(
        schema(), limit.cancellable(), &error, "service", service.toUtf8().constData(), "account",
        account.toUtf8().constData(), nullptr);
    if (error)
        return failed(error, "delete", &m_problem);
    return removed ? Status::Ok : Status::NotFound;
}
