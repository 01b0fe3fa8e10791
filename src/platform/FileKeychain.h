#pragma once

#include "platform/MemoryKeychain.h"

// Passwords in a private JSON file (mode 0600), readable by anyone with the user's
// rights: for tests and for machines without a Secret Service, chosen explicitly only.
class FileKeychain : public MemoryKeychain
{
public:
    explicit FileKeychain(QString path) : m_path(std::move(path)) {}

    bool open() override;

protected:
    bool itemsChanged(const Items &items) override;

private:
    QString m_path;
};
