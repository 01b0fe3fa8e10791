#include "app/about/LinkedPageView.h"

#include <QAbstractButton>
#include <QStackedWidget>

LinkedPageView::LinkedPageView(QWidget *parent) : QWidget(parent) {}

void LinkedPageView::setPreviousView(LinkedPageView *view)
{
    m_previousView = view;
    watch(view);
    updateButtons();
}

void LinkedPageView::setNextView(LinkedPageView *view)
{
    m_nextView = view;
    watch(view);
    updateButtons();
}

void LinkedPageView::watch(LinkedPageView *view)
{
    if (!view)
        return;
    // A widget announces its end before the pointers to it are cleared.
    connect(view, &QObject::destroyed, this, [this](QObject *gone) {
        if (m_previousView == gone)
            m_previousView = nullptr;
        if (m_nextView == gone)
            m_nextView = nullptr;
        updateButtons();
    });
}

void LinkedPageView::setButtons(QAbstractButton *previousButton, QAbstractButton *nextButton)
{
    for (QAbstractButton *button : {m_previousButton.data(), m_nextButton.data()}) {
        if (button)
            disconnect(button, nullptr, this, nullptr);
    }
    m_previousButton = previousButton;
    m_nextButton = nextButton;
    if (previousButton)
        connect(previousButton, &QAbstractButton::clicked, this,
                [this] { follow(m_previousView); });
    if (nextButton)
        connect(nextButton, &QAbstractButton::clicked, this, [this] { follow(m_nextView); });
    updateButtons();
}

void LinkedPageView::follow(LinkedPageView *view)
{
    auto *stack = qobject_cast<QStackedWidget *>(parentWidget());
    if (view && stack && stack->indexOf(view) >= 0)
        stack->setCurrentWidget(view);
}

void LinkedPageView::updateButtons()
{
    if (m_previousButton)
        m_previousButton->setEnabled(m_previousView != nullptr);
    if (m_nextButton)
        m_nextButton->setEnabled(m_nextView != nullptr);
}
