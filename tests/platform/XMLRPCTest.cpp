#include "platform/XMLRPC.h"
#include "platform/XMLLimits.h"

#include "common/TestSupport.h"

#include <QDateTime>
#include <QFile>

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace {

QByteArray fixture(const QString &name)
{
    QFile file(TestSupport::fixturePath(QStringLiteral("opensubtitles-xmlrpc/") + name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(name);
    return file.readAll();
}

} // namespace

TEST(XMLRPC, EncodesACallWithEveryValueKind)
{
    // Members go out in the order they were given: the hash query as the service records it.
    const XMLRPC::OrderedStruct query{
        {QStringLiteral("moviehash"), QStringLiteral("a0601fdf9f620d40")},
        {QStringLiteral("moviebytesize"), qint64(7033732714)},
        {QStringLiteral("sublanguageid"), QStringLiteral("eng,fre")}};
    const QVariantMap sorted{{QStringLiteral("b"), 1}, {QStringLiteral("a"), 2}};
    const std::optional<QByteArray> xml = XMLRPC::encodeCall(
        QStringLiteral("SearchSubtitles"),
        {QStringLiteral("tok"), QVariantList{QVariant::fromValue(query)}, 42, true, 0.5, QVariant(),
         QByteArray("Hi"), QStringList{QStringLiteral("x")}, sorted});
    ASSERT_TRUE(xml);
    EXPECT_EQ(*xml,
              "<?xml version=\"1.0\"?><methodCall><methodName>SearchSubtitles</methodName>"
              "<params><param><value><string>tok</string></value></param>"
              "<param><value><array><data><value><struct>"
              "<member><name>moviehash</name><value><string>a0601fdf9f620d40</string>"
              "</value></member><member><name>moviebytesize</name><value><double>7033732714"
              "</double></value></member><member><name>sublanguageid</name><value><string>eng,fre"
              "</string></value></member></struct></value></data></array></value></param>"
              "<param><value><int>42</int></value></param>"
              "<param><value><boolean>1</boolean></value></param>"
              "<param><value><double>0.5</double></value></param>"
              "<param><value><nil/></value></param>"
              "<param><value><base64>SGk=</base64></value></param>"
              "<param><value><array><data><value><string>x</string></value></data></array>"
              "</value></param><param><value><struct><member><name>a</name><value><int>2</int>"
              "</value></member><member><name>b</name><value><int>1</int></value></member>"
              "</struct></value></param></params></methodCall>")
        << xml->constData();
}

// The call's parameters as the items of one array in a reply, as a server would echo them.
QVariantList echoed(const QByteArray &call)
{
    QByteArray reply = call;
    reply.replace("<param>", "").replace("</param>", "");
    reply.replace("<methodCall><methodName>Echo</methodName><params>",
                  "<methodResponse><params><param><value><array><data>");
    reply.replace("</params></methodCall>", "</data></array></value></param></params>"
                                            "</methodResponse>");
    const XMLRPCResponse response = XMLRPC::decodeResponse(reply);
    EXPECT_EQ(response.kind, XMLRPCResponse::Kind::Value) << qPrintable(response.problem);
    return response.value.toList();
}

TEST(XMLRPC, WhatTheWireCarriesArrivesExactlyAsSent)
{
    const QVariantList values{QStringLiteral("Law & <Order> \"\u00e9\""),
                              QStringLiteral("a\rb\r\nc\n"),
                              QStringLiteral("   "),
                              QStringLiteral("\t"),
                              QString(QChar(0xFEFF)) + QStringLiteral("x"),
                              QStringLiteral("\U0001F600\u007f\u0085"),
                              1e-20,
                              0.1,
                              -0.0,
                              1e300,
                              5e-324,
                              123456789.123456789};
    const std::optional<QByteArray> call = XMLRPC::encodeCall(QStringLiteral("Echo"), values);
    ASSERT_TRUE(call);
    EXPECT_TRUE(call->contains("<string>Law &amp; &lt;Order&gt; \"\xc3\xa9\"</string>"));
    EXPECT_TRUE(call->contains("<double>0.00000000000000000001</double>")) << call->constData();
    EXPECT_TRUE(call->contains("<double>0.1</double>"));
    EXPECT_FALSE(call->contains("e-") || call->contains("e+") || call->contains('\r'));
    const QVariantList back = echoed(*call);
    ASSERT_EQ(back.size(), values.size());
    for (qsizetype i = 0; i < values.size(); ++i) {
        EXPECT_EQ(back[i], values[i]) << i;
        EXPECT_EQ(back[i].typeId(), values[i].typeId()) << i;
    }
    EXPECT_TRUE(std::signbit(back[8].toDouble()));
}

TEST(XMLRPC, RefusesWhatTheWireCannotCarryNamingWhereItStands)
{
    const auto refusal = [](const QVariant &value) {
        QString problem;
        const XMLRPC::OrderedStruct query{{QStringLiteral("query"), value}};
        EXPECT_FALSE(XMLRPC::encodeCall(
            QStringLiteral("M"),
            {QStringLiteral("ok"), QVariantList{QString(), QVariant::fromValue(query)}}, &problem));
        return problem;
    };
    EXPECT_EQ(refusal(QStringLiteral("pa\x01ss")),
              "parameter 2, item 2, member \"query\" holds a control character XML cannot carry");
    EXPECT_TRUE(refusal(QStringLiteral("x") + QChar(0xD800)).contains("an unpaired surrogate"));
    EXPECT_TRUE(refusal(QString(QChar(0xDC00)) + QChar(0xD800)).contains("surrogate"));
    EXPECT_TRUE(refusal(QString(QChar(0xFFFF))).contains("a noncharacter"));
    EXPECT_TRUE(refusal(std::numeric_limits<double>::quiet_NaN()).contains("not finite"));
    EXPECT_TRUE(refusal(-std::numeric_limits<double>::infinity()).contains("not finite"));
    EXPECT_TRUE(refusal((qint64(1) << 53) + 1).contains("cannot hold exactly"));
    EXPECT_TRUE(refusal(std::numeric_limits<qulonglong>::max()).contains("cannot hold exactly"));
    QString problem;
    EXPECT_FALSE(XMLRPC::encodeCall(QStringLiteral("M"), {QStringLiteral("\x1b[2J")}, &problem));
    EXPECT_FALSE(problem.contains("[2J")) << "the text itself is never repeated";
    EXPECT_TRUE(XMLRPC::encodeCall(QStringLiteral("M"), {qint64(1) << 53}));
    // Dates go out in seconds, with years of four digits.
    const QDateTime second = QDateTime::fromSecsSinceEpoch(1700000000, Qt::UTC);
    for (const QDateTime &date :
         {second.addMSecs(1), QDateTime(QDate(10000, 1, 1), QTime(0, 0)), QDateTime()})
        EXPECT_TRUE(refusal(date).contains("a date")) << qPrintable(date.toString());
    // A reply nested deeper is malformed; a call cannot be either.
    QVariant deep = 1;
    for (int level = 0; level < XMLRPC::MaximumNesting; ++level)
        deep = QVariantList{deep};
    QByteArray reply = XMLRPC::encodeCall(QStringLiteral("Echo"), {deep}).value_or("");
    reply.replace("<methodCall><methodName>Echo</methodName>", "<methodResponse>");
    reply.replace("</methodCall>", "</methodResponse>");
    EXPECT_EQ(XMLRPC::decodeResponse(reply).kind, XMLRPCResponse::Kind::Value);
    EXPECT_FALSE(XMLRPC::encodeCall(QStringLiteral("M"), {QVariant(QVariantList{deep})}, &problem));
    EXPECT_TRUE(problem.contains("nested too deeply")) << qPrintable(problem);
}

TEST(XMLRPC, DecodesTheRecordedReplies)
{
    const XMLRPCResponse login = XMLRPC::decodeResponse(
        fixture(QStringLiteral("test_query_hash_size_0_LogIn.response.xml")));
    ASSERT_EQ(login.kind, XMLRPCResponse::Kind::Value);
    const QVariantMap members = login.value.toMap();
    EXPECT_EQ(members.value(QStringLiteral("status")), QStringLiteral("200 OK"));
    EXPECT_EQ(members.value(QStringLiteral("token")).toString(),
              QStringLiteral("dTwrOv1UFkD520IXiJxIodH9j3b"));
    EXPECT_EQ(members.value(QStringLiteral("seconds")).typeId(), QMetaType::Double);

    const XMLRPCResponse search = XMLRPC::decodeResponse(
        fixture(QStringLiteral("test_query_hash_size_1_SearchSubtitles.response.xml")));
    ASSERT_EQ(search.kind, XMLRPCResponse::Kind::Value);
    const QVariantList data = search.value.toMap().value(QStringLiteral("data")).toList();
    ASSERT_FALSE(data.isEmpty());
    const QVariantMap first = data.first().toMap();
    EXPECT_EQ(first.value(QStringLiteral("IDMovieImdb")), QStringLiteral("770828"));
    EXPECT_TRUE(first.contains(QStringLiteral("InfoOther")));
    EXPECT_EQ(first.value(QStringLiteral("InfoOther")).toString(), QString());
}

TEST(XMLRPC, DecodesScalarsArraysAndNil)
{
    const XMLRPCResponse response = XMLRPC::decodeResponse(
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
    ASSERT_EQ(response.kind, XMLRPCResponse::Kind::Value) << qPrintable(response.problem);
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

TEST(XMLRPC, ReadsFaultsAndRejectsWhatIsNotAResponse)
{
    const XMLRPCResponse fault = XMLRPC::decodeResponse(
        "<methodResponse><fault><value><struct>"
        "<member><name>faultCode</name><value><int>503</int></value></member>"
        "<member><name>faultString</name><value><string>Service Unavailable</string></value>"
        "</member></struct></value></fault></methodResponse>");
    EXPECT_EQ(fault.kind, XMLRPCResponse::Kind::Fault);
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
        const XMLRPCResponse response = XMLRPC::decodeResponse(bad);
        EXPECT_EQ(response.kind, XMLRPCResponse::Kind::Malformed) << bad.constData();
        EXPECT_FALSE(response.problem.isEmpty());
    }
}

TEST(XMLRPC, RefusesRepliesOfMoreElementsThanItDecodes)
{
    const QByteArray wide = "<methodResponse><params><param><value><array><data>" +
                            QByteArray("<value/>").repeated(XMLLimits::MaximumElements) +
                            "</data></array></value></param></params></methodResponse>";
    const XMLRPCResponse response = XMLRPC::decodeResponse(wide);
    EXPECT_EQ(response.kind, XMLRPCResponse::Kind::Malformed);
    EXPECT_FALSE(response.problem.isEmpty());
}

TEST(XMLRPC, RepliesHoldingOrNamingCharactersXmlForbidsAreMalformed)
{
    const auto reply = [](const QByteArray &text) {
        return XMLRPC::decodeResponse("<methodResponse><params><param><value><string>" + text +
                                      "</string></value></param></params></methodResponse>");
    };
    for (const QByteArray &forbidden :
         {QByteArray("1&#0;2"), QByteArray("&#x1;"), QByteArray("&#27;"), QByteArray("&#xFFFE;"),
          QByteArray("&#xD800;"), QByteArray("&#1114112;"), QByteArray("&#99999999999999999999;"),
          QByteArray("a\x01"), QByteArray("\xef\xbf\xbf"), QByteArray("\xed\xa0\x80")}) {
        const XMLRPCResponse response = reply(forbidden);
        EXPECT_EQ(response.kind, XMLRPCResponse::Kind::Malformed) << forbidden.toHex().constData();
        EXPECT_FALSE(response.problem.isEmpty());
    }
    const XMLRPCResponse name = XMLRPC::decodeResponse(
        "<methodResponse><params><param><value><struct><member><name>a&#0;</name><value/>"
        "</member></struct></value></param></params></methodResponse>");
    EXPECT_EQ(name.kind, XMLRPCResponse::Kind::Malformed);
    EXPECT_EQ(reply("<![CDATA[&#0;]]>").value, QStringLiteral("&#0;"));
    EXPECT_EQ(reply("&#x1F600;&#13;&#9;&amp;&quot;&nbsp;&#;&#12").value,
              QStringLiteral("\U0001F600\r\t&\"&nbsp;&#;&#12"));
    EXPECT_EQ(XMLRPC::decodeResponse("<methodResponse><params><param><value><double>nan</double>"
                                     "</value></param></params></methodResponse>")
                  .kind,
              XMLRPCResponse::Kind::Malformed);
}
