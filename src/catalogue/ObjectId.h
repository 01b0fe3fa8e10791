#pragma once

#include <QHashFunctions>
#include <QMetaType>
#include <QtGlobal>

#include <compare>

// Names one catalogue object for code that must not hold the object itself (background
// work, request user info). A plain value: safe to copy to and from any thread. Numbers come
// from one counter for the whole run and are never handed out twice, so an identifier of a
// removed object can never find a newer one.
class ObjectId
{
public:
    constexpr ObjectId() = default;

    constexpr bool isNull() const { return m_value == 0; }
    constexpr quint64 value() const { return m_value; }

    friend constexpr bool operator==(ObjectId, ObjectId) = default;
    friend constexpr std::strong_ordering operator<=>(ObjectId, ObjectId) = default;
    friend size_t qHash(ObjectId id, size_t seed = 0) noexcept { return qHash(id.m_value, seed); }

private:
    friend class SubsBase;

    constexpr explicit ObjectId(quint64 value) : m_value(value) {}
    static ObjectId next();

    quint64 m_value = 0;
};

Q_DECLARE_METATYPE(ObjectId)
