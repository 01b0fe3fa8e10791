#pragma once

#include <QPushButton>

// A web address drawn as a link; clicking it opens the address in the user's browser.
class HyperlinkButton final : public QPushButton
{
    Q_OBJECT

public:
    explicit HyperlinkButton(QWidget *parent = nullptr);

    // The title shows the address as a URL writes it.
    void setTitle(const QString &url);
    void openURL();
};
