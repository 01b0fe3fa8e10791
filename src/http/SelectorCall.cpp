#include "http/SelectorCall.h"

#include "http/SelectorResponder.h"

#include <QMetaObject>

int SelectorCall::methodIndex(const QObject *receiver, const QByteArray &name,
                              const QByteArray &parameters)
{
    if (!receiver || name.isEmpty())
        return -1;
    const QByteArray signature =
        QMetaObject::normalizedSignature((name + '(' + parameters + ')').constData());
    const int index = receiver->metaObject()->indexOfMethod(signature.constData());
    const auto *responder = dynamic_cast<const SelectorResponder *>(receiver);
    return index >= 0 && responder && !responder->respondsToSelector(name) ? -1 : index;
}
