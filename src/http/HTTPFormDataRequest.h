#pragma once

#include "http/HTTPRequest.h"

#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVariant>

#include <memory>
#include <variant>

// A request whose body is a form: URL-encoded when it holds only values, multipart when it
// holds files or is asked to. Sending, progress and failure are those of HTTPRequest.
class HTTPFormDataRequest : public HTTPRequest
{
    Q_OBJECT

public:
    enum PostFormat
    {
        MultipartFormDataPostFormat = 0,
        URLEncodedPostFormat = 1
    };

    static inline const QByteArray Boundary = QByteArrayLiteral("0xKhTmLbOuNdArY");

    struct PostValue
    {
        QString key;
        QString value;

        friend bool operator==(const PostValue &, const PostValue &) = default;
    };

    struct FileData
    {
        // A path whose file is copied into the body, or the bytes themselves.
        std::variant<QString, QByteArray> data;
        QString contentType;
        QString fileName;
        QString key;
    };

    static std::shared_ptr<HTTPFormDataRequest> requestWithURL(const QUrl &url);
    explicit HTTPFormDataRequest(const QUrl &url);

    // The value is sent as its text: 1 as "1", true as "1".
    void addPostValue(const QVariant &value, const QString &key);
    // Drops every value of the key first.
    void setPostValue(const QVariant &value, const QString &key);

    // A file that does not exist or is a folder fails the request at once; it is still
    // listed. A null name is the path's last component, a null type the file's MIME type.
    void addFile(const QString &path, const QString &key);
    void addFile(const QString &path, const QString &fileName, const QString &contentType,
                 const QString &key);
    void setFile(const QString &path, const QString &key);
    void setFile(const QString &path, const QString &fileName, const QString &contentType,
                 const QString &key);
    // Bytes sent as a file, named "file" unless named; a null type is
    // "application/octet-stream".
    void addData(const QByteArray &data, const QString &key);
    void addData(const QByteArray &data, const QString &fileName, const QString &contentType,
                 const QString &key);
    void setData(const QByteArray &data, const QString &key);
    void setData(const QByteArray &data, const QString &fileName, const QString &contentType,
                 const QString &key);

    QList<PostValue> postData() const;
    QList<FileData> fileData() const;
    int postFormat() const;
    void setPostFormat(int format);
    // The IANA name of the character set of every text part; "UTF-8" by default.
    QByteArray stringEncoding() const;
    void setStringEncoding(const QByteArray &encoding);

    // Percent-escapes everything but ASCII letters, digits, "-", "." and "_", in the
    // request's character set; "" for text the character set cannot carry.
    QString encodeURL(const QString &string) const;
    void appendPostString(const QString &string);

    std::shared_ptr<HTTPRequest> copy() const override;

protected:
    bool buildPostBody() override;

private:
    void appendFileData(FileData entry);
    void removeFileData(const QString &key);
    bool buildURLEncodedPostBody(const QList<PostValue> &values, const QList<FileData> &files);
    bool buildMultipartFormDataPostBody(const QList<PostValue> &values,
                                        const QList<FileData> &files);
    QByteArray chooseBoundary(const QList<PostValue> &values, const QList<FileData> &files) const;
    QString charsetName() const;

    mutable QMutex m_formLock;
    QList<PostValue> m_postData;
    QList<FileData> m_fileData;
    int m_postFormat = URLEncodedPostFormat;
    QByteArray m_stringEncoding;
};
