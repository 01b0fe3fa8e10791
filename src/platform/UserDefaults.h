#pragma once

#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantList>
#include <QVariantMap>

#include <optional>

// The user's settings: one JSON object keyed by the settings' names, kept in a file, with a
// layer of registered defaults that answer for every key the user never set and are never
// written. Values are what JSON can hold (booleans, numbers, strings, lists, maps) and come
// back with their JSON type. Safe to use from any thread.
//
// Every change is written to the file at once (atomically), so nothing a user changed is
// lost when the program quits or dies; synchronize() writes again and reports the outcome.
// A file that is not a JSON object is moved aside as "<name>.damaged-<time>" and the
// settings start from the defaults.
class UserDefaults final : public QObject
{
    Q_OBJECT

public:
    // The application's store: settings.json in the configuration folder.
    static UserDefaults &standard();

    explicit UserDefaults(QString filePath, QObject *parent = nullptr);

    QString filePath() const { return m_filePath; }

    // Registered defaults merge into the ones already registered.
    void registerDefaults(const QVariantMap &defaults);
    QVariantMap registeredDefaults() const;

    // The user's value, else the registered default, else an invalid QVariant.
    QVariant value(const QString &key) const;
    bool contains(const QString &key) const;
    // The user's own value only, without the defaults.
    QVariant userValue(const QString &key) const;

    // A null value removes the key.
    void setValue(const QString &key, const QVariant &value);
    void removeValue(const QString &key);

    // A bool, or a number where non-zero is true; anything else is false.
    bool boolValue(const QString &key) const;
    // A number (truncated) or a bool; anything else is 0. A number beyond a 64-bit integer
    // counts as not set.
    qint64 integerValue(const QString &key) const;
    double doubleValue(const QString &key) const;
    // A string value; anything else is a null string.
    QString stringValue(const QString &key) const;
    // A list or a map value; anything else is empty.
    QVariantList listValue(const QString &key) const;
    QVariantMap mapValue(const QString &key) const;

    bool synchronize();

    // The readings the typed getters apply, for values found inside lists and maps.
    static bool boolFromValue(const QVariant &value);
    static QString stringFromValue(const QVariant &value);
    // Nothing for a value that is no number or bool, or a number beyond a 64-bit integer.
    static std::optional<qint64> integerFromValue(const QVariant &value);

    // Forgets the values in memory and reads the file again, as a fresh start of the
    // program would; the registered defaults stay.
    void reload();
    // Forgets every value, registered default and damaged file and removes the file: the
    // settings of a first start on a new account.
    void reset();

    // A damaged file found by a read, reported once: where it was moved aside (empty when
    // it could not be).
    struct DamagedFile
    {
        QString problem;
        QString keptAs;
    };
    std::optional<DamagedFile> takeDamagedFile();

Q_SIGNALS:
    // The answer for the key may have changed. Emitted on the thread that changed it.
    void valueChanged(const QString &key);

private:
    QVariantMap load();
    void store(const QString &key, const QVariant &value);

    const QString m_filePath;
    mutable QMutex m_mutex;
    QMutex m_writeMutex;
    QVariantMap m_values;
    QVariantMap m_defaults;
    std::optional<DamagedFile> m_damagedFile;
};
