#include "platform/XmlRpc.h"

#include "platform/XmlLimits.h"

#include <QDateTime>

#include <pugixml.hpp>

#include <sstream>
#include <stdexcept>

namespace {

// XML 1.0 cannot carry control characters other than TAB, LF and CR, nor lone surrogates.
QString xmlSafe(const QString &text)
{
    QString safe;
    safe.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            safe += c;
            safe += text[++i];
            continue;
        }
        if (c.isSurrogate() || c == QChar(0xFFFE) || c == QChar(0xFFFF))
            continue;
        if (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r')
            continue;
        safe += c;
    }
    return safe;
}

QByteArray decimalWithoutExponent(double value)
{
    QByteArray text = QByteArray::number(value, 'f', 17);
    if (text.contains('.')) {
        while (text.endsWith('0'))
            text.chop(1);
        if (text.endsWith('.'))
            text.chop(1);
    }
    return text;
}

void setText(pugi::xml_node node, const QString &text)
{
    node.text().set(xmlSafe(text).toUtf8().constData());
}

void encodeValue(pugi::xml_node value, const QVariant &variant)
{
    switch (variant.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::Nullptr:
        value.append_child("nil");
        return;
    case QMetaType::Bool:
        value.append_child("boolean").text().set(variant.toBool() ? "1" : "0");
        return;
    case QMetaType::Int:
    case QMetaType::Short:
    case QMetaType::UShort:
        value.append_child("int").text().set(variant.toInt());
        return;
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Long:
    case QMetaType::ULong:
        value.append_child("double").text().set(
            variant.typeId() == QMetaType::ULongLong || variant.typeId() == QMetaType::ULong
                ? QByteArray::number(variant.toULongLong()).constData()
                : QByteArray::number(variant.toLongLong()).constData());
        return;
    case QMetaType::Double:
    case QMetaType::Float:
        value.append_child("double").text().set(
            decimalWithoutExponent(variant.toDouble()).constData());
        return;
    case QMetaType::QByteArray:
        value.append_child("base64").text().set(variant.toByteArray().toBase64().constData());
        return;
    case QMetaType::QDateTime:
        value.append_child("dateTime.iso8601")
            .text()
            .set(variant.toDateTime()
                     .toUTC()
                     .toString(QStringLiteral("yyyyMMdd'T'HH:mm:ss"))
                     .toUtf8()
                     .constData());
        return;
    case QMetaType::QVariantList:
    case QMetaType::QStringList: {
        pugi::xml_node data = value.append_child("array").append_child("data");
        const QVariantList items = variant.toList();
        for (const QVariant &item : items)
            encodeValue(data.append_child("value"), item);
        return;
    }
    case QMetaType::QVariantMap: {
        pugi::xml_node structNode = value.append_child("struct");
        const QVariantMap members = variant.toMap();
        for (auto it = members.cbegin(); it != members.cend(); ++it) {
            pugi::xml_node member = structNode.append_child("member");
            setText(member.append_child("name"), it.key());
            encodeValue(member.append_child("value"), it.value());
        }
        return;
    }
    default:
        setText(value.append_child("string"), variant.toString());
        return;
    }
}

struct Malformed : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

QString textOf(pugi::xml_node node)
{
    return QString::fromUtf8(node.text().get());
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
    if (depth > XmlRpc::MaximumNesting)
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
        if (!ok)
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

XmlRpcResponse malformed(const QString &problem)
{
    XmlRpcResponse response;
    response.problem = problem;
    return response;
}

} // namespace

namespace XmlRpc {

QByteArray encodeCall(const QString &method, const QVariantList &params)
{
    pugi::xml_document document;
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    pugi::xml_node call = document.append_child("methodCall");
    setText(call.append_child("methodName"), method);
    pugi::xml_node paramsNode = call.append_child("params");
    for (const QVariant &param : params)
        encodeValue(paramsNode.append_child("param").append_child("value"), param);
    std::ostringstream out;
    document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return QByteArray::fromStdString(out.str());
}

XmlRpcResponse decodeResponse(const QByteArray &xml)
{
    if (XmlLimits::hasTooManyElements(xml))
        return malformed(QStringLiteral("too many elements"));
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_buffer(xml.constData(), xml.size());
    if (!parsed)
        return malformed(QString::fromUtf8(parsed.description()));
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
            XmlRpcResponse response;
            response.kind = XmlRpcResponse::Kind::Fault;
            response.faultCode = members.value(QStringLiteral("faultCode")).toLongLong();
            response.faultString = members.value(QStringLiteral("faultString")).toString();
            return response;
        }
        const pugi::xml_node value = root.child("params").child("param").child("value");
        if (!value)
            return malformed(QStringLiteral("no return value"));
        XmlRpcResponse response;
        response.kind = XmlRpcResponse::Kind::Value;
        response.value = decodeValue(value, 0);
        return response;
    } catch (const Malformed &problem) {
        return malformed(QString::fromUtf8(problem.what()));
    }
}

} // namespace XmlRpc
