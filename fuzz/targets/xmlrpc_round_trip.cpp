// Values sent in a call and read back as the reply that echoes them: they arrive exactly as
// sent, or the call is refused with a reason; never altered. An input that is a reply holding
// a value sends that value; any other input is read as a recipe for a value: each byte picks
// a kind, and the bytes after it give its content.
#include "FuzzSupport.h"
#include "platform/XMLRPC.h"

#include <QDateTime>

#include <bit>
#include <cstring>

namespace {

class Recipe
{
public:
    Recipe(const uint8_t *data, size_t size) : m_at(data), m_end(data + size) {}

    QVariant value(int depth)
    {
        switch (byte() % 12) {
        case 0:
            return {};
        case 1:
            return bool(byte() & 1);
        case 2:
            return int(number<quint32>());
        case 3:
            return qint64(number<quint64>());
        case 4:
            return number<quint64>();
        case 5:
            return std::bit_cast<double>(number<quint64>());
        case 6:
            return text();
        case 7:
            return bytes();
        case 8:
            return QDateTime::fromMSecsSinceEpoch(qint64(number<quint64>()) % 400'000'000'000'000,
                                                  Qt::UTC);
        case 9: {
            QVariantList items;
            for (int n = byte() % 5; n > 0 && depth < 80; --n)
                items.append(value(depth + 1));
            return items;
        }
        case 10: {
            QVariantMap members;
            for (int n = byte() % 5; n > 0 && depth < 80; --n)
                members.insert(text(), value(depth + 1));
            return members;
        }
        default: {
            // Names a struct built in order never repeats, so that it reads back as a map.
            XMLRPC::OrderedStruct members;
            QStringList names;
            for (int n = byte() % 5; n > 0 && depth < 80; --n) {
                const QString name = text();
                if (!names.contains(name)) {
                    names.append(name);
                    members.append({name, value(depth + 1)});
                }
            }
            return QVariant::fromValue(members);
        }
        }
    }

private:
    uint8_t byte() { return m_at < m_end ? *m_at++ : 0; }

    template <typename T> T number()
    {
        T result = 0;
        for (size_t i = 0; i < sizeof(T); ++i)
            result = T(result << 8) | byte();
        return result;
    }

    // Any UTF-16 units: controls, surrogates alone and in pairs, noncharacters.
    QString text()
    {
        QString result;
        for (int n = byte() % 16; n > 0; --n)
            result.append(QChar(number<quint16>()));
        return result;
    }

    QByteArray bytes()
    {
        QByteArray result;
        for (int n = byte() % 16; n > 0; --n)
            result.append(char(byte()));
        return result;
    }

    const uint8_t *m_at;
    const uint8_t *m_end;
};

bool sameDouble(double sent, double read)
{
    return std::memcmp(&sent, &read, sizeof sent) == 0;
}

// As the reply reads: integers of 32 bits come back as 64-bit ones, wider ones as doubles,
// lists of strings as lists, structs built in order as maps.
bool arrivedAsSent(const QVariant &sent, const QVariant &read)
{
    if (sent.metaType() == QMetaType::fromType<XMLRPC::OrderedStruct>()) {
        QVariantMap members;
        for (const auto &[name, content] : sent.value<XMLRPC::OrderedStruct>())
            members.insert(name, content);
        return arrivedAsSent(members, read);
    }
    switch (sent.typeId()) {
    case QMetaType::UnknownType:
        return !read.isValid();
    case QMetaType::Int:
        return read.typeId() == QMetaType::LongLong && read.toLongLong() == sent.toInt();
    case QMetaType::LongLong:
        return read.typeId() == QMetaType::Double && read.toDouble() == double(sent.toLongLong());
    case QMetaType::ULongLong:
        return read.typeId() == QMetaType::Double && read.toDouble() == double(sent.toULongLong());
    case QMetaType::Double:
        return read.typeId() == QMetaType::Double && sameDouble(sent.toDouble(), read.toDouble());
    case QMetaType::QVariantList: {
        const QVariantList items = sent.toList();
        const QVariantList back = read.toList();
        if (read.typeId() != QMetaType::QVariantList || back.size() != items.size())
            return false;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (!arrivedAsSent(items[i], back[i]))
                return false;
        }
        return true;
    }
    case QMetaType::QVariantMap: {
        const QVariantMap members = sent.toMap();
        const QVariantMap back = read.toMap();
        if (read.typeId() != QMetaType::QVariantMap || back.keys() != members.keys())
            return false;
        for (auto it = members.cbegin(); it != members.cend(); ++it) {
            if (!arrivedAsSent(it.value(), back.value(it.key())))
                return false;
        }
        return true;
    }
    default:
        return read.typeId() == sent.typeId() && read == sent;
    }
}

void checkRoundTrip(const QVariant &value)
{
    QString problem;
    const std::optional<QByteArray> call =
        XMLRPC::encodeCall(QStringLiteral("Echo"), {value}, &problem);
    if (!call) {
        FUZZ_CHECK(!problem.isEmpty(), "a value was refused without a reason");
        return;
    }
    QByteArray reply = *call;
    const QByteArray callHead = "<methodCall><methodName>Echo</methodName><params>";
    FUZZ_CHECK(reply.count(callHead) == 1 && reply.endsWith("</params></methodCall>"),
               "a call is not framed as one call with its parameters");
    reply.replace(callHead, "<methodResponse><params>");
    reply.chop(qsizetype(std::strlen("</methodCall>")));
    reply += "</methodResponse>";
    const XMLRPCResponse echoed = XMLRPC::decodeResponse(reply);
    FUZZ_CHECK(echoed.kind == XMLRPCResponse::Kind::Value,
               "a value sent cannot be read back by the same protocol");
    FUZZ_CHECK(arrivedAsSent(value, echoed.value), "a value arrived altered");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const XMLRPCResponse response = XMLRPC::decodeResponse(Fuzz::bytes(data, size));
    if (response.kind == XMLRPCResponse::Kind::Value) {
        checkRoundTrip(response.value);
        return 0;
    }
    Recipe recipe(data, size);
    checkRoundTrip(recipe.value(0));
    return 0;
}
