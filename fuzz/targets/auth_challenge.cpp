// The challenges of a 401 or 407 answer, answered with credentials, then a second answer's
// challenges (for NTLM, the server's Challenge message) answered again. The input's first byte
// chooses server or proxy; its lines are the values of the first answer up to an empty line, then
// those of the second.
#include "FuzzSupport.h"
#include "http/HTTPAuthentication.h"
#include "http/HTTPMessage.h"
#include "http/HTTPResponseHead.h"

namespace {

HTTPResponseHead challenge(bool proxy, const QList<QByteArray> &values)
{
    HTTPResponseHead head;
    const int code = proxy ? 407 : 401;
    head.setStatus("HTTP/1.1 " + QByteArray::number(code), "HTTP/1.1", code);
    for (const QByteArray &value : values)
        head.addField(proxy ? "Proxy-Authenticate" : "WWW-Authenticate", value);
    return head;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const bool proxy = data[0] & 1;
    const QList<QByteArray> lines = Fuzz::bytes(data + 1, size - 1).split('\n');
    const qsizetype blank = lines.indexOf(QByteArray());
    const QList<QByteArray> first = blank < 0 ? lines : lines.first(blank);
    const QList<QByteArray> second = blank < 0 ? QList<QByteArray>() : lines.sliced(blank + 1);

    const std::shared_ptr<HTTPAuthentication> authentication =
        HTTPAuthentication::createFromResponse(challenge(proxy, first), proxy);
    if (!authentication)
        return 0;
    FUZZ_CHECK(authentication->method() == QLatin1String("Basic") ||
               authentication->method() == QLatin1String("Digest") ||
               authentication->method() == QLatin1String("NTLM"));
    authentication->realm();
    authentication->isValid();
    std::optional<HTTPMessage> message =
        HTTPMessage::create("GET", QUrl(QStringLiteral("http://example.com/a/b?c=d")), "HTTP/1.1");
    FUZZ_CHECK(message.has_value());
    const Credentials credentials{QStringLiteral("user"), QStringLiteral("p\u00e4ss:word"), {}};
    if (authentication->apply(*message, credentials)) {
        const std::optional<QByteArray> sent =
            message->header(proxy ? "Proxy-Authorization" : "Authorization");
        FUZZ_CHECK(sent && !sent->contains('\r') && !sent->contains('\n'));
        // Our Digest answer quotes what it repeats: read with the same grammar, the realm
        // comes back unchanged.
        if (authentication->method() == QLatin1String("Digest")) {
            const std::shared_ptr<HTTPAuthentication> echoed =
                HTTPAuthentication::createFromResponse(challenge(proxy, {*sent}), proxy);
            FUZZ_CHECK(echoed && echoed->realm() == authentication->realm());
        }
    }
    authentication->update(challenge(proxy, second));
    authentication->isValid();
    authentication->apply(*message, credentials);
    return 0;
}
