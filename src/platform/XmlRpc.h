#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

// A decoded method response: a value, a fault, or a reply that could not be read.
struct XmlRpcResponse
{
    enum class Kind
    {
        Value,
        Fault,
        Malformed
    };

    Kind kind = Kind::Malformed;
    QVariant value; // the single return value, when kind is Value
    qint64 faultCode = 0;
    QString faultString;
    QString problem; // why the reply could not be read, when kind is Malformed
};

// XML-RPC method calls and responses as QVariant trees: QString, bool, int and 64-bit
// integers, double, QByteArray (base64), QDateTime, QVariantList (array), QVariantMap
// (struct) and a null QVariant (nil). A null member stays apart from a missing one.
namespace XmlRpc {

// 32-bit integers become <int>, 64-bit integers <double> without an exponent, as the
// protocol has no wider integer type.
QByteArray encodeCall(const QString &method, const QVariantList &params);

// Arrays and structs nested deeper than this make a reply malformed; the services nest
// three or four levels. So does more markup than XmlLimits allows.
constexpr int MaximumNesting = 64;

XmlRpcResponse decodeResponse(const QByteArray &xml);

} // namespace XmlRpc
