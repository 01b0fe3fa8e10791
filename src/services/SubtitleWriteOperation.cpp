#include "services/SubtitleWriteOperation.h"

#include "platform/MainThread.h"

SubtitleWriteOperation::SubtitleWriteOperation(QByteArray data, Content content,
                                               SubtitleTarget target, Report report)
    : m_data(std::move(data)), m_content(content), m_target(std::move(target)),
      m_report(std::move(report))
{}

void SubtitleWriteOperation::main()
{
    const TNCopySubsController writer;
    const bool written = m_content == Content::Archive ? writer.copyZipFile(m_data, m_target)
                                                       : writer.copyFile(m_data, m_target);
    m_data.clear();
    MainThread::run([this, written] { m_report(written); });
    finish();
}
