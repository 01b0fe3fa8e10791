#pragma once

#include <QByteArray>
#include <QString>

#include <memory>
#include <stdexcept>

#include <pugixml.hpp>

// Reading the services' XML replies.
namespace XMLReply {

// A record lacks an element the mapping needs.
struct MissingElement : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The parsed document, or nullptr with the reason in problem. Entities are never loaded, a
// reply of more markup than XMLLimits allows is not parsed, and one that holds or refers to
// a character XML forbids is refused.
std::unique_ptr<pugi::xml_document> parse(const QByteArray &xml, QString *problem);

// All the text below the node, as one string; "" for an element without text.
QString stringValue(pugi::xml_node node);

// The text of the first child element of that name; throws MissingElement when there is none.
QString requiredChild(pugi::xml_node record, const char *name);
// The same, null when there is none.
QString optionalChild(pugi::xml_node record, const char *name);

} // namespace XMLReply
