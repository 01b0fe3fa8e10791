#include "http/SelectorCall.h"

#include <QMetaObject>

int SelectorCall::methodIndex(const QObject *receiver, const QByteArray &name,
                              const QByteArray &parameters)
{
    if (!receiver || name.isEmpty())
        return -1;
    const QByteArray signature =
        QMetaObject::normalizedSignature((name + '(' + parameters + ')').constData());
    return receiver->metaObject()->indexOfMethod(signature.constData());
}
