#pragma once

#include "services/SubtitleSearchOperation.h"

// Searches Podnapisi for every video in every language, or only checks the account.
class PodSearchOperation : public SubtitleSearchOperation
{
    Q_OBJECT

public:
    // The markers that cut the download link out of a subtitle page: the opening of the
    // page's download form up to its action's value, and the end of that value.
    static inline const QString DefaultBeginParse =
        QStringLiteral("<form class=\"form-inline download-form\" action=\"");
    static inline const QString DefaultEndParse = QStringLiteral("\">");

    PodSearchOperation(VideoFileSearchList files, QStringList languages, QString service);

    bool onlyLogin() const { return m_onlyLogin; }
    void setOnlyLogin(bool onlyLogin) { m_onlyLogin = onlyLogin; }

    // Takes both markers from the settings, or both defaults when either is missing or empty.
    void readParseStrings();
    const QString &beginParse() const { return m_beginParse; }
    const QString &endParse() const { return m_endParse; }

protected:
    void main() override;

private:
    bool m_onlyLogin = false;
    QString m_beginParse;
    QString m_endParse;
};
