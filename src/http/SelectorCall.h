#pragma once

#include <QByteArray>
#include <QMetaMethod>
#include <QObject>

// Calls a method chosen at run time by name on a QObject receiver, when it has one with the
// expected parameters; receivers without it are skipped silently.
class SelectorCall
{
public:
    // name(Argument*) for a pointer to a QObject subclass.
    template <typename Argument>
    static bool invoke(QObject *receiver, const QByteArray &name, Argument *argument)
    {
        const int index =
            methodIndex(receiver, name, Argument::staticMetaObject.className() + QByteArray("*"));
        return index >= 0 && receiver->metaObject()->method(index).invoke(
                                 receiver, Qt::DirectConnection, Q_ARG(Argument *, argument));
    }

    // name(Argument*, QByteArray).
    template <typename Argument>
    static bool invoke(QObject *receiver, const QByteArray &name, Argument *argument,
                       const QByteArray &data)
    {
        const int index = methodIndex(
            receiver, name, Argument::staticMetaObject.className() + QByteArray("*,QByteArray"));
        return index >= 0 && receiver->metaObject()->method(index).invoke(
                                 receiver, Qt::DirectConnection, Q_ARG(Argument *, argument),
                                 Q_ARG(QByteArray, data));
    }

    template <typename Argument>
    static bool respondsToDataCall(QObject *receiver, const QByteArray &name)
    {
        return methodIndex(receiver, name,
                           Argument::staticMetaObject.className() + QByteArray("*,QByteArray")) >=
               0;
    }

    // The index of name(parameters) in the receiver's meta-object, or -1.
    static int methodIndex(const QObject *receiver, const QByteArray &name,
                           const QByteArray &parameters);
};
