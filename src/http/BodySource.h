#pragma once

#include <QByteArray>
#include <QFile>

#include <memory>

// A request body read in pieces while it is sent.
class BodySource
{
public:
    virtual ~BodySource() = default;
    // Bytes read, 0 at the end, -1 on a read error.
    virtual qint64 read(char *buffer, qint64 maxLength) = 0;
};

class DataBodySource final : public BodySource
{
public:
    explicit DataBodySource(QByteArray data) : m_data(std::move(data)) {}
    qint64 read(char *buffer, qint64 maxLength) override;

private:
    QByteArray m_data;
    qint64 m_offset = 0;
};

class FileBodySource final : public BodySource
{
public:
    // Null when the file cannot be opened for reading.
    static std::unique_ptr<FileBodySource> open(const QString &path);
    qint64 read(char *buffer, qint64 maxLength) override;

private:
    explicit FileBodySource(const QString &path) : m_file(path) {}
    QFile m_file;
};
