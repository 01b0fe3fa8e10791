#pragma once

#include <QPointer>
#include <QWidget>

class QAbstractButton;

// One page of a panel read page by page, held with its neighbours in a QStackedWidget. Its
// previous and next buttons show the neighbouring page and are enabled only where there is one.
class LinkedPageView final : public QWidget
{
    Q_OBJECT

public:
    explicit LinkedPageView(QWidget *parent = nullptr);

    LinkedPageView *previousView() const { return m_previousView; }
    void setPreviousView(LinkedPageView *view);
    LinkedPageView *nextView() const { return m_nextView; }
    void setNextView(LinkedPageView *view);

    // The page's own buttons, from its layout; not owned.
    void setButtons(QAbstractButton *previousButton, QAbstractButton *nextButton);
    QAbstractButton *previousButton() const { return m_previousButton; }
    QAbstractButton *nextButton() const { return m_nextButton; }

private:
    void watch(LinkedPageView *view);
    void follow(LinkedPageView *view);
    void updateButtons();

    LinkedPageView *m_previousView = nullptr;
    LinkedPageView *m_nextView = nullptr;
    QPointer<QAbstractButton> m_previousButton;
    QPointer<QAbstractButton> m_nextButton;
};
