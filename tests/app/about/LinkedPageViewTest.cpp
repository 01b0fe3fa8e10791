#include "app/about/LinkedPageView.h"

#include <QPushButton>
#include <QStackedWidget>

#include <gtest/gtest.h>

namespace {

TEST(LinkedPageView, ItsButtonsAreEnabledOnlyTowardsAPageThatIsThere)
{
    QStackedWidget stack;
    auto *first = new LinkedPageView;
    auto *second = new LinkedPageView;
    stack.addWidget(first);
    stack.addWidget(second);
    QPushButton previous;
    QPushButton next;
    first->setButtons(&previous, &next);
    EXPECT_FALSE(previous.isEnabled());
    EXPECT_FALSE(next.isEnabled());

    first->setNextView(second);
    EXPECT_TRUE(next.isEnabled());
    next.click();
    EXPECT_EQ(stack.currentWidget(), second);
    delete second;
    EXPECT_FALSE(next.isEnabled());
    EXPECT_EQ(first->nextView(), nullptr);
}

} // namespace
