#include "http/HTTPFormDataRequest.h"
#include "http/HTTPRequestError.h"

#include "RequestRecorder.h"
#include "common/TestSupport.h"
#include "fakes/http/FakeHttpServer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

namespace {

const QByteArray B = HTTPFormDataRequest::Boundary;

class HTTPFormDataRequestTest : public ::testing::Test
{
protected:
    void SetUp() override { m_server.setReply("/form", FakeReply::ok("thanks")); }

    std::shared_ptr<HTTPFormDataRequest> form()
    {
        return HTTPFormDataRequest::requestWithURL(m_server.url("/form"));
    }

    RecordedRequest send(const std::shared_ptr<HTTPRequest> &request)
    {
        request->setDelegate(&m_recorder);
        request->start();
        EXPECT_TRUE(TestSupport::waitUntil([&] { return m_recorder.ended(); }, 10000));
        TestSupport::processEventsFor(20);
        EXPECT_EQ(m_recorder.calls.last(), "finished")
            << qPrintable(m_recorder.lastError.localizedDescription());
        EXPECT_EQ(m_server.requests().size(), 1);
        return m_server.lastRequest();
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }

    FakeHttpServer m_server;
    RequestRecorder m_recorder;
    QTemporaryDir m_folder;
};

TEST_F(HTTPFormDataRequestTest, ValuesAloneGoUrlEncoded)
{
    auto request = form();
    request->addPostValue(QStringLiteral("1"), QStringLiteral("a"));
    request->addPostValue(2, QStringLiteral("b"));
    request->addPostValue(true, QStringLiteral("c"));
    request->addPostValue(QStringLiteral("x&y=z +~\u00e9"), QStringLiteral("d&e"));
    const RecordedRequest sent = send(request);
    EXPECT_EQ(sent.method, "POST");
    EXPECT_EQ(sent.header("Content-Type"), "application/x-www-form-urlencoded; charset=UTF-8");
    EXPECT_EQ(sent.body, "a=1&b=2&c=1&d%26e=x%26y%3Dz%20%2B%7E%C3%A9");
    EXPECT_EQ(sent.header("Content-Length"), QByteArray::number(sent.body.size()));
    EXPECT_FALSE(request->shouldStreamPostDataFromDisk());
}

TEST_F(HTTPFormDataRequestTest, EscapingKeepsOnlyLettersDigitsAndThreeMarks)
{
    auto request = form();
    EXPECT_EQ(
        request->encodeURL(QStringLiteral(":/?#[]@!$ &'()*+,;=\"<>%{}|\\^~`")),
        "%3A%2F%3F%23%5B%5D%40%21%24%20%26%27%28%29%2A%2B%2C%3B%3D%22%3C%3E%25%7B%7D%7C%5C%5E%"
        "7E%60");
    EXPECT_EQ(request->encodeURL(QStringLiteral("Az09-._")), "Az09-._");
    EXPECT_EQ(request->encodeURL(QStringLiteral("caf\u00e9")), "caf%C3%A9");
    request->setStringEncoding("ISO-8859-1");
    EXPECT_EQ(request->encodeURL(QStringLiteral("caf\u00e9")), "caf%E9");
    // Text the character set cannot carry is sent empty rather than mangled.
    EXPECT_EQ(request->encodeURL(QStringLiteral("5\u20ac")), "");
    EXPECT_EQ(HTTPFormDataRequest::requestWithURL(QUrl())->encodeURL(QString(QChar(0xD800))), "");
}

TEST_F(HTTPFormDataRequestTest, OtherCharacterSetsReachTheWireAndTheHeader)
{
    auto request = form();
    request->setStringEncoding("ISO-8859-1");
    request->setPostFormat(HTTPFormDataRequest::MultipartFormDataPostFormat);
    request->addPostValue(QStringLiteral("\u00e9t\u00e9"), QStringLiteral("saison"));
    request->addData("1", QStringLiteral("\u00e9t\u00e9.srt"), QString(), QStringLiteral("f"));
    const RecordedRequest sent = send(request);
    EXPECT_EQ(sent.header("Content-Type"),
              "multipart/form-data; charset=ISO-8859-1; boundary=" + B);
    EXPECT_TRUE(sent.body.contains("\r\n\r\n\xe9t\xe9\r\n--"));
    EXPECT_TRUE(sent.body.contains("; filename=\"\xe9t\xe9.srt\"\r\n"));
}

TEST_F(HTTPFormDataRequestTest, AnEmptyValueInAStatefulCharacterSetIsSentEmpty)
{
    auto request = form();
    request->setStringEncoding("ISO-2022-KR");
    request->setPostFormat(HTTPFormDataRequest::MultipartFormDataPostFormat);
    request->addPostValue(QString(), QStringLiteral("empty"));
    const RecordedRequest sent = send(request);
    // Every piece of text is whole in itself, opening escape included.
    EXPECT_TRUE(sent.body.endsWith("name=\"empty\"\r\n\r\n\x1b$)C\r\n--" + B + "--\r\n"));
}

TEST_F(HTTPFormDataRequestTest, AnUnknownCharacterSetFailsInsteadOfSendingEmptyParts)
{
    auto request = form();
    request->setStringEncoding("no-such-set");
    request->addPostValue(QStringLiteral("value"), QStringLiteral("key"));
    request->setDelegate(&m_recorder);
    request->start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return m_recorder.ended(); }));
    EXPECT_EQ(m_recorder.calls.last(), "failed");
    EXPECT_EQ(m_recorder.lastError.code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(HTTPFormDataRequestTest, OneValueAsMultipart)
{
    auto request = form();
    request->setPostFormat(HTTPFormDataRequest::MultipartFormDataPostFormat);
    request->addPostValue(QStringLiteral("value"), QStringLiteral("key"));
    const RecordedRequest sent = send(request);
    EXPECT_EQ(sent.header("Content-Type"), "multipart/form-data; charset=UTF-8; boundary=" + B);
    EXPECT_EQ(sent.body, "--" + B +
                             "\r\nContent-Disposition: form-data; name=\"key\"\r\n\r\nvalue\r\n--" +
                             B + "--\r\n");
}

TEST_F(HTTPFormDataRequestTest, FilesTurnTheFormMultipartAndBuildItOnDisk)
{
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(char(i * 7));
    const QString path = writeFile(QStringLiteral("notes.txt"), binary);
    auto request = HTTPFormDataRequest::requestWithURL(m_server.url("/disk"));
    // The body file lives while the request runs.
    bool bodyOnDisk = false;
    m_server.setHandler([&](const RecordedRequest &) {
        bodyOnDisk =
            request->didCreateTemporaryPostDataFile() && QFile::exists(request->postBodyFilePath());
        return FakeReply::ok("thanks");
    });
    ASSERT_EQ(request->postFormat(), HTTPFormDataRequest::URLEncodedPostFormat);
    request->addPostValue(QStringLiteral("one"), QStringLiteral("first"));
    request->addPostValue(QStringLiteral("two"), QStringLiteral("second"));
    request->addFile(path, QStringLiteral("upload"));
    request->addData(QByteArray("\x00\x01raw", 5), QStringLiteral("blob"));
    request->addData("<srt/>", QStringLiteral("film.srt"), QStringLiteral("text/srt"),
                     QStringLiteral("sub"));
    const RecordedRequest sent = send(request);

    const QByteArray separator = "\r\n--" + B + "\r\n";
    const QByteArray expected =
        "--" + B + "\r\nContent-Disposition: form-data; name=\"first\"\r\n\r\none" + separator +
        "Content-Disposition: form-data; name=\"second\"\r\n\r\ntwo" + separator +
        "Content-Disposition: form-data; name=\"upload\"; filename=\"notes.txt\"\r\n"
        "Content-Type: text/plain\r\n\r\n" +
        binary + separator +
        "Content-Disposition: form-data; name=\"blob\"; filename=\"file\"\r\n"
        "Content-Type: application/octet-stream\r\n\r\n" +
        QByteArray("\x00\x01raw", 5) + separator +
        "Content-Disposition: form-data; name=\"sub\"; filename=\"film.srt\"\r\n"
        "Content-Type: text/srt\r\n\r\n<srt/>\r\n--" +
        B + "--\r\n";
    EXPECT_EQ(sent.body, expected);
    EXPECT_EQ(sent.header("Content-Length"), QByteArray::number(expected.size()));
    EXPECT_EQ(request->postFormat(), HTTPFormDataRequest::MultipartFormDataPostFormat);
    EXPECT_TRUE(request->shouldStreamPostDataFromDisk());
    EXPECT_TRUE(bodyOnDisk);
}

TEST_F(HTTPFormDataRequestTest, SetReplacesEveryEntryOfItsKeyAtTheEnd)
{
    const QString first = writeFile(QStringLiteral("a.srt"), "a");
    const QString second = writeFile(QStringLiteral("b.srt"), "b");
    auto request = form();
    request->addPostValue(QStringLiteral("1"), QStringLiteral("k"));
    request->addPostValue(QStringLiteral("x"), QStringLiteral("other"));
    request->addPostValue(QStringLiteral("2"), QStringLiteral("k"));
    request->setPostValue(QStringLiteral("3"), QStringLiteral("k"));
    EXPECT_EQ(request->postData(),
              (QList<HTTPFormDataRequest::PostValue>{{"other", "x"}, {"k", "3"}}));

    request->addFile(first, QStringLiteral("f"));
    request->addData("d", QStringLiteral("g"));
    request->addFile(first, QStringLiteral("f"));
    request->setFile(second, QStringLiteral("shown.srt"), QStringLiteral("text/x"),
                     QStringLiteral("f"));
    request->setData("e", QStringLiteral("g"));
    const auto files = request->fileData();
    ASSERT_EQ(files.size(), 2);
    EXPECT_EQ(std::get<QString>(files[0].data), second);
    EXPECT_EQ(files[0].fileName, "shown.srt");
    EXPECT_EQ(files[0].contentType, "text/x");
    EXPECT_EQ(std::get<QByteArray>(files[1].data), "e");
    EXPECT_EQ(files[1].fileName, "file");
    EXPECT_EQ(files[1].key, "g");
}

TEST_F(HTTPFormDataRequestTest, AMissingFileFailsTheRequestOnce)
{
    const QString missing = m_folder.filePath(QStringLiteral("gone.avi"));
    for (const QString &path : {missing, m_folder.path()}) {
        // Told at once when someone listens, and not again at the start.
        RequestRecorder early;
        auto told = form();
        told->setDelegate(&early);
        told->addFile(path, QStringLiteral("video"));
        EXPECT_EQ(told->error().code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
        EXPECT_EQ(told->error().domain(), HTTPRequestError::Domain);
        EXPECT_EQ(told->error().localizedDescription(), "No file exists at " + path);
        EXPECT_EQ(told->fileData().size(), 1);
        told->start();
        TestSupport::processEventsFor(100);
        EXPECT_EQ(early.calls, QList<QByteArray>{"failed"});

        // Held until the start when nobody listens yet.
        RequestRecorder late;
        auto held = form();
        held->addFile(path, QStringLiteral("video"));
        held->setDelegate(&late);
        TestSupport::processEventsFor(50);
        EXPECT_TRUE(late.calls.isEmpty());
        held->start();
        EXPECT_TRUE(TestSupport::waitUntil([&] { return late.ended(); }));
        TestSupport::processEventsFor(50);
        EXPECT_EQ(late.calls, QList<QByteArray>{"failed"});
        EXPECT_EQ(late.lastError.code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
    }
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(HTTPFormDataRequestTest, AFileGoneBeforeSendingFailsInsteadOfSendingNothing)
{
    const QString path = writeFile(QStringLiteral("brief.srt"), "text");
    auto request = form();
    request->addFile(path, QStringLiteral("sub"));
    ASSERT_TRUE(request->error().isNull());
    QFile::remove(path);
    request->setDelegate(&m_recorder);
    request->start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return m_recorder.ended(); }));
    EXPECT_EQ(m_recorder.calls.last(), "failed");
    EXPECT_EQ(m_recorder.lastError.code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
    EXPECT_EQ(m_recorder.lastError.localizedDescription(), "No file exists at " + path);
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(HTTPFormDataRequestTest, NamesCannotBreakOutOfTheirQuotesAndPartsCannotEndTheBody)
{
    auto request = form();
    request->addPostValue(QStringLiteral("before\r\n--") + QString::fromLatin1(B) +
                              QStringLiteral("--\r\nafter"),
                          QStringLiteral("a\"b\tc"));
    request->addData("bytes", QStringLiteral("evil\".srt"), QString(), QStringLiteral("f"));
    const RecordedRequest sent = send(request);
    const QByteArray type = sent.header("Content-Type");
    const QByteArray marker = "; boundary=";
    ASSERT_TRUE(type.contains(marker));
    const QByteArray boundary = type.mid(type.indexOf(marker) + marker.size());
    EXPECT_NE(boundary, B);
    EXPECT_TRUE(boundary.startsWith(B));
    EXPECT_TRUE(sent.body.contains("name=\"a%22b\tc\"\r\n\r\nbefore\r\n--" + B +
                                   "--\r\nafter\r\n--" + boundary + "\r\n"));
    EXPECT_TRUE(sent.body.contains("filename=\"evil%22.srt\""));
    EXPECT_TRUE(sent.body.endsWith("\r\n--" + boundary + "--\r\n"));
    EXPECT_EQ(sent.body.count("\r\n--" + boundary), 2);
}

TEST_F(HTTPFormDataRequestTest, ABoundaryInAPartsHeadIsNotUsedEither)
{
    const QString held = QStringLiteral("x--") + QString::fromLatin1(B);
    const QString plain = QStringLiteral("plain");
    const QString heads[][3] = {{held, plain, plain}, {plain, held, plain}, {plain, plain, held}};
    for (const auto &[key, fileName, type] : heads) {
        auto request = form();
        request->addData("bytes", fileName, type, key);
        ASSERT_TRUE(static_cast<HTTPRequest &>(*request).buildPostBody());
        const QString contentType =
            request->requestHeaders()->value(QStringLiteral("Content-Type"));
        EXPECT_FALSE(contentType.endsWith(QStringLiteral("boundary=") + QString::fromLatin1(B)))
            << qPrintable(key + fileName + type);
    }
}

TEST_F(HTTPFormDataRequestTest, PartHeadsHoldingControlCharactersAreRefused)
{
    const struct
    {
        QString key, fileName, contentType, refusal;
    } cases[] = {
        {"a\r\nX-Injected: 1", "f", "text/plain", "The name of form part 2 holds"},
        {"k", "evil\x01.srt", "text/plain", "The file name of form part 2 holds"},
        {"k", "f", "text/plain\r\nX-Injected: 1", "The content type of form part 2 holds"},
        {"k", "f", "text/\x7fplain", "The content type of form part 2 holds"},
    };
    for (const auto &bad : cases) {
        RequestRecorder recorder;
        auto request = form();
        request->addPostValue(QStringLiteral("v"), QStringLiteral("fine"));
        request->addData("x", bad.fileName, bad.contentType, bad.key);
        request->setDelegate(&recorder);
        request->start();
        ASSERT_TRUE(TestSupport::waitUntil([&] { return recorder.ended(); }));
        EXPECT_EQ(recorder.calls.last(), "failed");
        EXPECT_EQ(recorder.lastError.code(), HTTPRequestError::InternalErrorWhileBuildingRequest);
        EXPECT_EQ(recorder.lastError.localizedDescription(), bad.refusal + " a control character");
    }
    EXPECT_TRUE(m_server.requests().isEmpty());
}

TEST_F(HTTPFormDataRequestTest, AFormWithoutEntriesIsAPlainRequest)
{
    const RecordedRequest sent = send(form());
    EXPECT_EQ(sent.method, "GET");
    EXPECT_TRUE(sent.header("Content-Type").isNull());
    EXPECT_TRUE(sent.body.isEmpty());
}

TEST_F(HTTPFormDataRequestTest, CopiesCarryTheFormAndSendTheSameBody)
{
    const QString path = writeFile(QStringLiteral("a.srt"), "subtitle");
    auto request = form();
    request->setStringEncoding("ISO-8859-1");
    request->setRequestMethod(QStringLiteral("PUT"));
    request->addPostValue(QStringLiteral("v"), QStringLiteral("k"));
    request->addFile(path, QStringLiteral("f"));
    const auto copied = std::dynamic_pointer_cast<HTTPFormDataRequest>(request->copy());
    ASSERT_TRUE(copied);
    request->addPostValue(QStringLiteral("late"), QStringLiteral("only-in-source"));
    EXPECT_EQ(copied->postData(), (QList<HTTPFormDataRequest::PostValue>{{"k", "v"}}));
    EXPECT_EQ(copied->fileData().size(), 1);
    EXPECT_EQ(copied->stringEncoding(), "ISO-8859-1");
    EXPECT_EQ(copied->requestMethod(), "PUT");

    const RecordedRequest fromCopy = send(copied);
    EXPECT_EQ(fromCopy.method, "PUT");
    EXPECT_TRUE(fromCopy.body.contains("\r\n\r\nsubtitle\r\n--" + B + "--\r\n"));
    EXPECT_FALSE(fromCopy.body.contains("only-in-source"));

    // A copy of a request that has sent its body sends the same body again.
    m_recorder.calls.clear();
    auto built = form();
    built->addFile(path, QStringLiteral("f"));
    built->setDelegate(&m_recorder);
    built->startSynchronous();
    TestSupport::processEventsFor(20);
    const auto again = built->copy();
    built.reset();
    m_recorder.calls.clear();
    again->setDelegate(&m_recorder);
    again->start();
    ASSERT_TRUE(TestSupport::waitUntil([&] { return m_recorder.ended(); }));
    const QList<RecordedRequest> requests = m_server.requests();
    ASSERT_EQ(requests.size(), 3);
    EXPECT_EQ(requests[2].body, requests[1].body);
}

} // namespace
