#pragma once

#include "services/SubtitleSearchOperation.h"

// Searches Podnapisi for every video in every language, or only checks the account.
class PodSearchOperation : public SubtitleSearchOperation
{
    Q_OBJECT

public:
    using SubtitleSearchOperation::SubtitleSearchOperation;

    bool onlyLogin() const { return m_onlyLogin; }
    void setOnlyLogin(bool onlyLogin) { m_onlyLogin = onlyLogin; }

protected:
    void main() override;

private:
    bool m_onlyLogin = false;
};
