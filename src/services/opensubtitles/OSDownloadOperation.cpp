#include "services/opensubtitles/OSDownloadOperation.h"

#include "catalogue/ServiceKeys.h"
#include "catalogue/TNUserDefaultsHelper.h"
#include "platform/Logging.h"
#include "services/opensubtitles/OSApi.h"
#include "services/opensubtitles/TNSubDownloadProtocol.h"

#include <QHash>

#include <exception>

OSDownloadOperation::OSDownloadOperation() = default;

OSDownloadOperation::~OSDownloadOperation() = default;

QList<TNRemoteSubtitle> OSDownloadOperation::downloadSubtitles(const QStringList &ids)
{
    QList<TNRemoteSubtitle> records;
    for (qsizetype start = 0; start < ids.size(); start += ChunkSize) {
        // A chunk whose reply cannot be read must not cost the others their subtitles.
        try {
            records.append(m_api->downloadSubtitles(ids.mid(start, ChunkSize))
                               .value_or(QList<TNRemoteSubtitle>()));
        } catch (const std::exception &problem) {
            qCWarning(lcServices) << "OpenSubtitles download chunk failed:" << problem.what();
            m_api->logout();
        }
    }
    return records;
}

void OSDownloadOperation::reportAll(const QStringList &ids)
{
    QHash<QString, TNRemoteSubtitle> byID;
    if (!ids.isEmpty()) {
        for (const TNRemoteSubtitle &record : downloadSubtitles(ids))
            byID.insert(record.subtitleID, record);
    }
    const Error failure(QStringLiteral("trovanel.error"), 0);
    for (const OSDownloadEntry &entry : std::as_const(m_subtitles)) {
        const auto found =
            entry.subtitleID.isEmpty() ? byID.constEnd() : byID.constFind(entry.subtitleID);
        TNRemoteSubtitle record = found == byID.constEnd() ? TNRemoteSubtitle() : *found;
        record.subtitleOID = entry.subObjectID;
        if (m_subDelegate)
            m_subDelegate->subtitleDownloadEnded(record,
                                                 found == byID.constEnd() ? &failure : nullptr);
    }
}

void OSDownloadOperation::main()
{
    if (m_subtitles.isEmpty())
        return;
    m_api = std::make_unique<OSApi>(m_username, m_password,
                                    TNUserDefaultsHelper::serviceURL(OpenSubtitlesServiceKey));
    try {
        if (!isCancelled()) {
            QStringList ids;
            for (const OSDownloadEntry &entry : std::as_const(m_subtitles)) {
                if (!entry.subtitleID.isEmpty())
                    ids.append(entry.subtitleID);
            }
            reportAll(ids);
        }
    } catch (const std::exception &problem) {
        qCWarning(lcServices) << "OpenSubtitles download failed:" << problem.what();
    }
    m_api->logout();
}
