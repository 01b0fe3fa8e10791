#pragma once

#include "http/HTTPRequest.h"

#include <QByteArray>
#include <QList>
#include <QObject>

// A delegate that notes every call it gets, on the main thread.
class RequestRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QByteArray> calls;
    QList<QByteArray> data;
    QByteArray lastBody;
    QString lastString;
    int lastStatus = 0;
    Error lastError;

    bool ended() const { return calls.contains("finished") || calls.contains("failed"); }
    int count(const QByteArray &call) const { return int(calls.count(call)); }

public Q_SLOTS:
    void requestStarted(HTTPRequest *) { calls.append("started"); }
    void requestReceivedResponseHeaders(HTTPRequest *) { calls.append("headers"); }
    void requestFinished(HTTPRequest *request)
    {
        calls.append("finished");
        lastBody = request->responseData();
        lastString = request->responseString();
        lastStatus = request->responseStatusCode();
    }
    void requestFailed(HTTPRequest *request)
    {
        calls.append("failed");
        lastError = request->error();
    }
    void subtitleDownloadFinished(HTTPRequest *request)
    {
        calls.append("custom finished");
        lastBody = request->responseData();
    }
};

// A delegate that takes the body bytes itself.
class DataRecorder : public RequestRecorder
{
    Q_OBJECT

public Q_SLOTS:
    void requestDidReceiveData(HTTPRequest *, const QByteArray &bytes) { data.append(bytes); }
};
