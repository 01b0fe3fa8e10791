#pragma once

#include "platform/MemoryKeychain.h"

// Passwords in a private JSON file (mode 0600), readable by anyone with the user's
// rights: for tests and for machines without a Secret Service, chosen explicitly only.
//
// A damaged file is never rewritten: it is moved aside as "<name>.damaged-<time>", with the
// reason logged and given by problem(), and the store starts from the items that could be
// read. A file that cannot be read or moved aside keeps the store from opening.
class FileKeychain : public MemoryKeychain
{
public:
    explicit FileKeychain(QString path) : m_path(std::move(path)) {}

    bool open() override;
    QString problem() const override { return m_problem; }

protected:
    bool itemsChanged(const Items &items) override;

private:
    // The items of the file's text; what is wrong with the rest goes to damage.
    static Items readItems(const QByteArray &text, QStringList *damage);

    QString m_path;
    QString m_problem;
};
