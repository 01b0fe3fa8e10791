#include "app/notices/NoticeBrowser.h"

NoticeBrowser::NoticeBrowser(QWidget *parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

QVariant NoticeBrowser::loadResource(int type, const QUrl &name)
{
    Q_UNUSED(type);
    Q_UNUSED(name);
    return {};
}
