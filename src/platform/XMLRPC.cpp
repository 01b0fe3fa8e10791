#include "platform/XMLRPC.h"

#include "platform/XMLCharacters.h"
#include "platform/XMLLimits.h"

#include <QDateTime>

#include <pugixml.hpp>

#include <charconv>
#include <stdexcept>

namespace {

// A value that cannot go out as it is, named by where it stands in the call.
struct Unsendable : std::runtime_error
{
    Unsendable(const QString &where, const QString &reason)
        : std::runtime_error("unsendable"), message(where + QStringLiteral(" holds ") + reason)
    {}
    QString message;
};

// Doubles hold every integer up to this exactly, and no wider range.
constexpr qint64 LargestExactInteger = qint64(1) << 53;

class CallWriter
{
public:
    QByteArray xml;

    void text(const QString &value, const QString &where)
    {
        const QString forbidden = XMLCharacters::forbidden(value);
        if (!forbidden.isEmpty())
            throw Unsendable(where, forbidden + QStringLiteral(" XML cannot carry"));
        const QByteArray bytes = value.toUtf8();
        for (const char c : bytes) {
            switch (c) {
            case '&':
                xml += "&amp;";
                break;
            case '<':
                xml += "&lt;";
                break;
            case '>':
                xml += "&gt;";
                break;
            case '\r':
                // A raw CR would reach the receiver as LF.
                xml += "&#13;";
                break;
            default:
                xml += c;
            }
        }
    }

    void element(const char *name, const QByteArray &content)
    {
        xml += '<';
        xml += name;
        xml += '>';
        xml += content;
        xml += "</";
        xml += name;
        xml += '>';
    }

    void integerAsDouble(qint64 value, bool fits, const QString &where)
    {
        if (!fits || value > LargestExactInteger || value < -LargestExactInteger)
            throw Unsendable(where, QStringLiteral("an integer a double cannot hold exactly"));
        element("double", QByteArray::number(value));
    }

    void number(double value, const QString &where)
    {
        if (!qIsFinite(value))
            throw Unsendable(where, QStringLiteral("a number that is not finite"));
        // The shortest digits that read back as the same double; positional, as the
        // protocol knows no exponent.
        char digits[400];
        const std::to_chars_result written =
            std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed);
        element("double", QByteArray(digits, written.ptr - digits));
    }

    // Seconds in UTC with a year of four digits is all the type holds.
    void date(const QDateTime &value, const QString &where)
    {
        const QDateTime utc = value.toUTC();
        if (!utc.isValid() || utc.date().year() < 1 || utc.date().year() > 9999 ||
            utc.time().msec() != 0)
            throw Unsendable(where, QStringLiteral("a date the type cannot hold exactly"));
        element("dateTime.iso8601", utc.toString(QStringLiteral("yyyyMMdd'T'HH:mm:ss")).toUtf8());
    }

    void member(const QString &name, const QVariant &content, const QString &where, int depth)
    {
        const QString inner = where + QStringLiteral(", member \"%1\"").arg(name);
        xml += "<member><name>";
        text(name, inner);
        xml += "</name>";
        value(content, inner, depth);
        xml += "</member>";
    }

    // Replies nested deeper are refused as malformed: such a value could never come back.
    void value(const QVariant &variant, const QString &where, int depth = 0)
    {
        if (depth > XMLRPC::MaximumNesting)
            throw Unsendable(where, QStringLiteral("values nested too deeply"));
        xml += "<value>";
        typed(variant, where, depth);
        xml += "</value>";
    }

private:
    void typed(const QVariant &variant, const QString &where, int depth)
    {
        if (variant.metaType() == QMetaType::fromType<XMLRPC::OrderedStruct>()) {
            xml += "<struct>";
            for (const auto &[name, content] : variant.value<XMLRPC::OrderedStruct>())
                member(name, content, where, depth + 1);
            xml += "</struct>";
            return;
        }
        switch (variant.typeId()) {
        case QMetaType::UnknownType:
        case QMetaType::Nullptr:
            xml += "<nil/>";
            return;
        case QMetaType::Bool:
            element("boolean", variant.toBool() ? "1" : "0");
            return;
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
            element("int", QByteArray::number(variant.toInt()));
            return;
        case QMetaType::ULongLong:
        case QMetaType::ULong: {
            const qulonglong unsignedValue = variant.toULongLong();
            integerAsDouble(qint64(unsignedValue), unsignedValue <= qulonglong(LargestExactInteger),
                            where);
            return;
        }
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::Long:
            integerAsDouble(variant.toLongLong(), true, where);
            return;
        case QMetaType::Double:
        case QMetaType::Float:
            number(variant.toDouble(), where);
            return;
        case QMetaType::QByteArray:
            element("base64", variant.toByteArray().toBase64());
            return;
        case QMetaType::QDateTime:
            date(variant.toDateTime(), where);
            return;
        case QMetaType::QVariantList:
        case QMetaType::QStringList: {
            xml += "<array><data>";
            const QVariantList items = variant.toList();
            for (qsizetype i = 0; i < items.size(); ++i)
                value(items[i], where + QStringLiteral(", item %1").arg(i + 1), depth + 1);
            xml += "</data></array>";
            return;
        }
        case QMetaType::QVariantMap: {
            xml += "<struct>";
            const QVariantMap members = variant.toMap();
            for (auto it = members.cbegin(); it != members.cend(); ++it)
                member(it.key(), it.value(), where, depth + 1);
            xml += "</struct>";
            return;
        }
        default:
            xml += "<string>";
            text(variant.toString(), where);
            xml += "</string>";
            return;
        }
    }
};

struct Malformed : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

QString textOf(pugi::xml_node node)
{
    return XMLCharacters::fromUtf8(node.text().get());
}

// The first element child, passing over text between elements.
pugi::xml_node firstElement(pugi::xml_node node)
{
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_element)
            return child;
    }
    return {};
}

QVariant decodeValue(pugi::xml_node value, int depth)
{
    // Each level costs stack: a hostile reply must not be able to exhaust it.
    if (depth > XMLRPC::MaximumNesting)
        throw Malformed("values nested too deeply");
    const pugi::xml_node typed = firstElement(value);
    if (!typed)
        return textOf(value);
    const std::string type = typed.name();
    if (type == "string")
        return textOf(typed);
    if (type == "array") {
        QVariantList items;
        for (pugi::xml_node item : typed.child("data").children("value"))
            items.append(decodeValue(item, depth + 1));
        return items;
    }
    if (type == "struct") {
        QVariantMap members;
        for (pugi::xml_node member : typed.children("member")) {
            const pugi::xml_node name = member.child("name");
            const pugi::xml_node memberValue = member.child("value");
            if (!name || !memberValue)
                throw Malformed("a struct member without name or value");
            members.insert(textOf(name), decodeValue(memberValue, depth + 1));
        }
        return members;
    }
    const QString text = textOf(typed).trimmed();
    if (type == "int" || type == "i4" || type == "i8") {
        bool ok = false;
        const qint64 number = text.toLongLong(&ok);
        if (!ok)
            throw Malformed("an integer that is not a number");
        return number;
    }
    if (type == "boolean") {
        if (text != QLatin1String("0") && text != QLatin1String("1"))
            throw Malformed("a boolean that is neither 0 nor 1");
        return text == QLatin1String("1");
    }
    if (type == "double") {
        bool ok = false;
        const double number = text.toDouble(&ok);
        if (!ok || !qIsFinite(number))
            throw Malformed("a double that is not a number");
        return number;
    }
    if (type == "base64")
        return QByteArray::fromBase64(text.toLatin1());
    if (type == "dateTime.iso8601") {
        QDateTime date = QDateTime::fromString(text, QStringLiteral("yyyyMMdd'T'HH:mm:ss"));
        if (!date.isValid())
            date = QDateTime::fromString(text, Qt::ISODate);
        if (!date.isValid())
            throw Malformed("an unreadable date");
        date.setTimeSpec(Qt::UTC);
        return date;
    }
    if (type == "nil")
        return QVariant();
    throw Malformed("an unknown value type " + type);
}

XMLRPCResponse malformed(const QString &problem)
{
    XMLRPCResponse response;
    response.problem = problem;
    return response;
}

} // namespace

namespace XMLRPC {

std::optional<QByteArray> encodeCall(const QString &method, const QVariantList &params,
                                     QString *problem)
{
    CallWriter writer;
    try {
        writer.xml = "<?xml version=\"1.0\"?><methodCall><methodName>";
        writer.text(method, QStringLiteral("the method name"));
        writer.xml += "</methodName><params>";
        for (qsizetype i = 0; i < params.size(); ++i) {
            writer.xml += "<param>";
            writer.value(params[i], QStringLiteral("parameter %1").arg(i + 1));
            writer.xml += "</param>";
        }
        writer.xml += "</params></methodCall>";
    } catch (const Unsendable &unsendable) {
        if (problem)
            *problem = unsendable.message;
        return std::nullopt;
    }
    return writer.xml;
}

XMLRPCResponse decodeResponse(const QByteArray &xml)
{
    if (XMLLimits::hasTooManyElements(xml))
        return malformed(QStringLiteral("too many elements"));
    pugi::xml_document document;
    // Text of blanks alone is a value too.
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.constData(), size_t(xml.size()),
                             XMLCharacters::ParseOptions | pugi::parse_ws_pcdata_single);
    if (!parsed)
        return malformed(QString::fromUtf8(parsed.description()));
    QString problem;
    if (!XMLCharacters::resolveReferences(document, &problem))
        return malformed(problem);
    const pugi::xml_node root = document.child("methodResponse");
    if (!root)
        return malformed(QStringLiteral("no methodResponse element"));
    try {
        if (const pugi::xml_node fault = root.child("fault")) {
            const QVariant detail = decodeValue(fault.child("value"), 0);
            const QVariantMap members = detail.toMap();
            if (detail.typeId() != QMetaType::QVariantMap ||
                !members.contains(QStringLiteral("faultCode")))
                return malformed(QStringLiteral("a fault without a fault code"));
            XMLRPCResponse response;
            response.kind = XMLRPCResponse::Kind::Fault;
            response.faultCode = members.value(QStringLiteral("faultCode")).toLongLong();
            response.faultString = members.value(QStringLiteral("faultString")).toString();
            return response;
        }
        const pugi::xml_node value = root.child("params").child("param").child("value");
        if (!value)
            return malformed(QStringLiteral("no return value"));
        XMLRPCResponse response;
        response.kind = XMLRPCResponse::Kind::Value;
        response.value = decodeValue(value, 0);
        return response;
    } catch (const Malformed &problem) {
        return malformed(QString::fromUtf8(problem.what()));
    }
}

} // namespace XMLRPC
