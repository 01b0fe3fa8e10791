#pragma once

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <optional>
#include <utility>

// A decoded method response: a value, a fault, or a reply that could not be read.
struct XMLRPCResponse
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
// (struct) and a null QVariant (nil). A null member stays apart from a missing one. Values
// arrive exactly as they were sent, or not at all.
namespace XMLRPC {

// A struct whose members go out in the order given; a QVariantMap goes out sorted by name.
using OrderedStruct = QList<std::pair<QString, QVariant>>;

// The call, or nothing when a value cannot go out exactly as given: text holding a character
// XML 1.0 cannot carry (see XMLCharacters), a double that is not finite, an integer beyond
// what a double holds exactly, a date with milliseconds or outside the years 1 to 9999,
// values nested deeper than MaximumNesting. problem then names the parameter and what is wrong with
// it, revealing nothing of its text. 32-bit integers become <int>, 64-bit integers <double>, as the
// protocol has no wider integer type; doubles are written in the fewest digits that read back as
// the same number, without an exponent.
std::optional<QByteArray> encodeCall(const QString &method, const QVariantList &params,
                                     QString *problem = nullptr);

// Arrays and structs nested deeper than this make a reply malformed; the services nest
// three or four levels. So does more markup than XMLLimits allows, a reference to a
// character XML forbids, and a double that is not finite.
constexpr int MaximumNesting = 64;

XMLRPCResponse decodeResponse(const QByteArray &xml);

} // namespace XMLRPC
