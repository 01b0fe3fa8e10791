#include "platform/XmlRpc.h"
#include "platform/XmlLimits.h"

#include "common/TestSupport.h"

#include <QDateTime>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(TestSupport::fixturePath(QStringLiteral("opensubtitles-xmlrpc/") + name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
    return file.readAll();
}

} // namespace

TEST(XmlRpc, EncodesACallWithEveryValueKind)
{
    const QVariantMap query{{QStringLiteral("moviehash"), QStringLiteral("a0601fdf9f620d40")},
                            {QStringLiteral("moviebytesize"), qint64(7033732714)},
                            {QStringLiteral("sublanguageid"), QStringLiteral("eng,fre")}};
    const QByteArray xml =
        XmlRpc::encodeCall(QStringLiteral("SearchSubtitles"),
                           {QStringLiteral("tok"), QVariantList{query}, 42, true, 0.5, QVariant(),
                            QByteArray("Hi"), QStringList{QStringLiteral("x")}});
    EXPECT_EQ(xml, "<?xml version=\"1.0\"?><methodCall><methodName>SearchSubtitles</methodName>"
                   "<params><param><value><string>tok</string></value></param>"
                   "<param><value><array><data><value><struct>"
                   "<member><name>moviebytesize</name><value><double>7033732714</double></value>"
                   "</member><member><name>moviehash</name><value><string>a0601fdf9f620d40</string>"
                   "</value></member><member><name>sublanguageid</name><value><string>eng,fre"
                   "</string></value></member></struct></value></data></array></value></param>"
                   "<param><value><int>42</int></value></param>"
                   "<param><value><boolean>1</boolean></value></param>"
                   "<param><value><double>0.5</double></value></param>"
                   "<param><value><nil/></value></param>"
                   "<param><value><base64>SGk=</base64></value></param>"
                   "<param><value><array><data><value><string>x</string></value></data></array>"
                   "</value></param></params></methodCall>")
        << xml.constData();
}

TEST(XmlRpc, EscapesMarkupAndDropsWhatXmlCannotCarry)
{
    const QString name = QStringLiteral("Law & <Order> \"é\"\x01\x1f\tend") + QChar(0xD800);
    const QByteArray xml = XmlRpc::encodeCall(QStringLiteral("M"), {name});
    EXPECT_TRUE(xml.contains("<string>Law &amp; &lt;Order&gt; \"\xc3\xa9\"\tend</string>"))
        << xml.constData();
}

TEST(XmlRpc, DecodesTheRecordedReplies)
{
    const XmlRpcResponse login = XmlRpc::decodeResponse(
        fixture(QStringLiteral("test_query_hash_size_0_LogIn.response.xml")));
    ASSERT_EQ(login.kind, XmlRpcResponse::Kind::Value);
    const QVariantMap members = login.value.toMap();
    EXPECT_EQ(members.value(QStringLiteral("status")), QStringLiteral("200 OK"));
    EXPECT_EQ(members.value(QStringLiteral("token")).toString(),
              QStringLiteral("dTwrOv1UFkD520IXiJxIodH9j3b"));
    EXPECT_EQ(members.value(QStringLiteral("seconds")).typeId(), QMetaType::Double);

    const XmlRpcResponse search = XmlRpc::decodeResponse(
        fixture(QStringLiteral("test_query_hash_size_1_SearchSubtitles.response.xml")));
    ASSERT_EQ(search.kind, XmlRpcResponse::Kind::Value);
    const QVariantList data = search.value.toMap().value(QStringLiteral("data")).toList();
    ASSERT_FALSE(data.isEmpty());
    const QVariantMap first = data.first().toMap();
    EXPECT_EQ(first.value(QStringLiteral("IDMovieImdb")), QStringLiteral("770828"));
    EXPECT_TRUE(first.contains(QStringLiteral("InfoOther")));
    EXPECT_EQ(first.value(QStringLiteral("InfoOther")).toString(), QString());
}

TEST(XmlRpc, DecodesScalarsArraysAndNil)
{
    const XmlRpcResponse response = XmlRpc::decodeResponse(
        "<?xml version=\"1.0\"?><methodResponse><params><param><value><struct>\n"
        "  <member><name>untyped</name><value>plain</value></member>\n"
        "  <member><name>i4</name><value><i4> -7 </i4></value></member>\n"
        "  <member><name>i8</name><value><i8>7033732714</i8></value></member>\n"
        "  <member><name>data</name><value><boolean>0</boolean></value></member>\n"
        "  <member><name>b64</name><value><base64>SGVs bG8\n=</base64></value></member>\n"
        "  <member><name>when</name><value><dateTime.iso8601>20250201T10:20:30"
        "</dateTime.iso8601></value></member>\n"
        "  <member><name>none</name><value><nil/></value></member>\n"
        "  <member><name>list</name><value><array><data>\n"
        "    <value><string/></value><value><int>1</int></value></data></array></value>"
        "</member>\n"
        "</struct></value></param></params></methodResponse>");
    ASSERT_EQ(response.kind, XmlRpcResponse::Kind::Value) << qPrintable(response.problem);
    const QVariantMap m = response.value.toMap();
    EXPECT_EQ(m.value(QStringLiteral("untyped")), QStringLiteral("plain"));
    EXPECT_EQ(m.value(QStringLiteral("i4")).toLongLong(), -7);
    EXPECT_EQ(m.value(QStringLiteral("i8")).toLongLong(), 7033732714);
    EXPECT_EQ(m.value(QStringLiteral("data")).typeId(), QMetaType::Bool);
    EXPECT_EQ(m.value(QStringLiteral("b64")).toByteArray(), "Hello");
    EXPECT_EQ(m.value(QStringLiteral("when")).toDateTime(),
              QDateTime(QDate(2025, 2, 1), QTime(10, 20, 30), Qt::UTC));
    EXPECT_TRUE(m.contains(QStringLiteral("none")));
    EXPECT_FALSE(m.value(QStringLiteral("none")).isValid());
    EXPECT_EQ(m.value(QStringLiteral("list")).toList(), (QVariantList{QString(), qint64(1)}));
}

TEST(XmlRpc, ReadsFaultsAndRejectsWhatIsNotAResponse)
{
    const XmlRpcResponse fault = XmlRpc::decodeResponse(
        "<methodResponse><fault><value><struct>"
        "<member><name>faultCode</name><value><int>503</int></value></member>"
        "<member><name>faultString</name><value><string>Service Unavailable</string></value>"
        "</member></struct></value></fault></methodResponse>");
    EXPECT_EQ(fault.kind, XmlRpcResponse::Kind::Fault);
    EXPECT_EQ(fault.faultCode, 503);
    EXPECT_EQ(fault.faultString, QStringLiteral("Service Unavailable"));

    for (const QByteArray &bad :
         {QByteArray("<!DOCTYPE html><html><body>Bad gateway</body></html>"), QByteArray(),
          QByteArray("<methodResponse><params/></methodResponse>"),
          QByteArray("<methodResponse><params><param><value><int>x</int></value></param>"
                     "</params></methodResponse>"),
          QByteArray("<methodResponse><params><param><value><blob/></value></param>"
                     "</params></methodResponse>"),
          QByteArray("<methodResponse><fault><value><string>x</string></value></fault>"
                     "</methodResponse>")}) {
        const XmlRpcResponse response = XmlRpc::decodeResponse(bad);
        EXPECT_EQ(response.kind, XmlRpcResponse::Kind::Malformed) << bad.constData();
        EXPECT_FALSE(response.problem.isEmpty());
    }
}

TEST(XmlRpc, RefusesRepliesOfMoreElementsThanItDecodes)
{
    const QByteArray wide = "<methodResponse><params><param><value><array><data>" +
                            QByteArray("<value/>").repeated(XmlLimits::MaximumElements) +
                            "</data></array></value></param></params></methodResponse>";
    const XmlRpcResponse response = XmlRpc::decodeResponse(wide);
    EXPECT_EQ(response.kind, XmlRpcResponse::Kind::Malformed);
    EXPECT_FALSE(response.problem.isEmpty());
}
