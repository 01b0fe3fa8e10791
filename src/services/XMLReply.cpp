#include "services/XMLReply.h"

#include "platform/XMLCharacters.h"
#include "platform/XMLLimits.h"

namespace XMLReply {

std::unique_ptr<pugi::xml_document> parse(const QByteArray &xml, QString *problem)
{
    if (XMLLimits::hasTooManyElements(xml)) {
        if (problem)
            *problem = QStringLiteral("The reply holds too many elements");
        return nullptr;
    }
    auto document = std::make_unique<pugi::xml_document>();
    const pugi::xml_parse_result parsed =
        document->load_buffer(xml.constData(), size_t(xml.size()), XMLCharacters::ParseOptions);
    if (!parsed) {
        if (problem)
            *problem = QString::fromUtf8(parsed.description());
        return nullptr;
    }
    QString forbidden;
    if (!XMLCharacters::resolveReferences(*document, &forbidden)) {
        if (problem)
            *problem = forbidden;
        return nullptr;
    }
    if (!document->document_element()) {
        if (problem)
            *problem = QStringLiteral("The reply holds no element");
        return nullptr;
    }
    return document;
}

QString stringValue(pugi::xml_node node)
{
    struct Collector : pugi::xml_tree_walker
    {
        QByteArray text;
        bool for_each(pugi::xml_node &descendant) override
        {
            if (descendant.type() == pugi::node_pcdata || descendant.type() == pugi::node_cdata)
                text.append(descendant.value());
            return true;
        }
    } collector;
    if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata)
        collector.text = node.value();
    else
        node.traverse(collector);
    const QString text = QString::fromUtf8(collector.text);
    return text.isNull() ? QStringLiteral("") : text;
}

QString optionalChild(pugi::xml_node record, const char *name)
{
    const pugi::xml_node child = record.child(name);
    return child ? stringValue(child) : QString();
}

QString requiredChild(pugi::xml_node record, const char *name)
{
    const pugi::xml_node child = record.child(name);
    if (!child)
        throw MissingElement(std::string("no ") + name + " element");
    return stringValue(child);
}

} // namespace XMLReply
